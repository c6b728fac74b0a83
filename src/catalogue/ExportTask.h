#pragma once
// The export: every catalogue file into the output folder tree named by the naming rule, with
// its flight log beside a video, progress per row, cancellation between blocks, and a report
// of what happened to each file. It reaches the list and the settings only through an
// ExportHost, which the window implements by carrying each call to the UI thread.

#include "catalogue/CatalogueEntry.h"

#include <QHash>
#include <QList>
#include <QStringList>
#include <QString>
#include <functional>
#include <optional>
#include <stop_token>

struct ExportRowFacts {
    QString key;    // the row's catalogue key: status texts go to the row with this key
    QString source; // the file's full path
    QString name;
    MediaKind kind = MediaKind::Photo;
    QString place; // as the list shows it
    PlaceState placeState = PlaceState::Pending;
    QDateTime shotTime;
    QString sourceOnCard; // the file's path below the card's folder (the full path without one)
};

class Catalogue;
class TSetInfo;

// The facts of row i of a catalogue.
ExportRowFacts ExportFactsOf(const Catalogue& catalogue, int row);

struct ExportSettings {
    enum Mode { NoMode, ModifySource, NewFiles } mode = NoMode;
    QString outPath;      // the output folder
    QString rule;         // CityText
    QString defaultPlace; // MorenCity
    bool verify = true;   // VerifyCopies: each copy read back and compared before it is named
};

// The export's part of the settings.
ExportSettings ExportSettingsOf(const TSetInfo& settings);

class ExportHost {
public:
    virtual ~ExportHost() = default;
    // The keys of the rows this export handles (every row now, or the ones a retry asks for),
    // in list order. Their status texts are cleared, so no row shows the end of an earlier run.
    virtual QStringList TakeRows() = 0;
    // The row with this key as it is now (the list scrolls to it when show is set), or nothing
    // when it has been removed meanwhile.
    virtual std::optional<ExportRowFacts> Row(const QString& key, bool show) = 0;
    virtual ExportSettings Settings() = 0;
    virtual void SetStatus(const QString& rowKey, const QString& text) = 0;
    // Whether places are still being looked up: a row whose place is still pending waits for
    // its answer a little.
    virtual bool PlacesComing() { return false; }
};

// The export's view of a catalogue nobody changes meanwhile (no window): its rows, and
// settings fixed at the start.
class CatalogueExportHost : public ExportHost {
public:
    CatalogueExportHost(Catalogue& catalogue, ExportSettings settings);
    QStringList TakeRows() override;
    std::optional<ExportRowFacts> Row(const QString& key, bool show) override;
    ExportSettings Settings() override { return settings_; }
    void SetStatus(const QString&, const QString&) override {}

private:
    Catalogue& catalogue_;
    ExportSettings settings_;
    QHash<QString, int> rowOf_;
};

// How long a row whose place is still pending waits for it before it takes the default place.
constexpr int kPlaceWaitMs = 3000;

enum class ExportOutcome { Copied, Renamed, AlreadyThere, Vanished, Failed };

// The status words a row shows when its file is done.
inline const QString kStatusVerified = QStringLiteral("已校验");
inline const QString kStatusCopied = QStringLiteral("已复制");
inline const QString kStatusPresent = QStringLiteral("已存在");
inline const QString kStatusFailed = QStringLiteral("失败");

struct ExportLine {
    QString source;
    QString target;
    ExportOutcome outcome;
    QString error;
    QString key;           // the row's key
    bool verified = false; // for copies: read back from the disk and equal to the source
};

// The word a row's status shows when its file is done (empty for a file that vanished).
QString ExportStatusWord(const ExportLine& line);

struct ExportReport {
    QList<ExportLine> lines;
    bool cancelled = false;
    bool verify = false;     // copies were read back and compared
    QString failure;         // what ended the export early (a full disk), with the file and the reason
    QString recordFailure;   // the hash list could not be written, and why
    QString record;          // the generation of the hash list this run wrote
    QStringList failedKeys;  // rows whose file failed, for a retry of those alone
    int Count(ExportOutcome outcome) const;
    int Copies() const { return Count(ExportOutcome::Copied) + Count(ExportOutcome::Renamed); }
    // Every file is on the disk and checked: verified, nothing failed, nothing stopped early.
    bool AllVerified() const;
};

// Runs the export for every row present when it starts. Each row's folder and name are made
// when its turn comes, from the row found by its key and the settings of that moment; a row
// removed meanwhile is passed over. A file that cannot be read or written is marked 失败 and
// the run goes on; a full disk ends it. Copies are read back and compared when the settings
// say so (from the start of the run), and every file copied or found is listed in a new
// generation of the hash list in the output folder, which also tells where a file exported
// before under another folder already is. onLine (optional) hears of each file as it is done.
// A copy that is stopped clears its row's status; folders the run made and left empty (a file
// stopped or failed) are removed at its end, folders that were there before never.
// beforeReadBack is the copies' test seam (CopyOptions).
ExportReport RunExport(ExportHost& host, std::stop_token stop, const std::function<void(const ExportLine&)>& onLine = {},
                       const std::function<void(const QString&, int)>& beforeReadBack = {});

// What a run did, in Chinese, for the end of the export: the counts, what ended it early, the
// hash list, and whether the card may now be formatted.
QString ExportSummary(const ExportReport& report, int files);

// The folder a row's file goes to: the output folder, "/" unless it ends with one already,
// and the rule's folder path.
QString ExportFolder(const ExportSettings& settings, const QString& relativeFolder);
