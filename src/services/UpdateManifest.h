#pragma once
// The maker's update manifest "Json.txt": a GBK JSON object naming the newest version, the
// lowest version still supported, change notes, a short notice and the files of the release.
// Also the dialog request the update check hands to the UI thread and the user's answers.

#include "services/HttpClient.h"

#include <QList>
#include <QString>
#include <QStringList>

class IniFile;

// Four texts whose meaning depends on where they are used (see the fields below).
struct TIdandNr {
    QString ID;
    QString NR;
    QString NR2;
    QString NR3;
    bool operator==(const TIdandNr&) const = default;
};

struct TUPdateInfo {
    QString Text;     // the whole body
    TIdandNr Version; // ID = VERSION.TIME, NR = VERSION.VERSION (newest), NR2 = VERSION.FORCEUPDATE
                      // (lowest supported), NR3 = VERSION.TEXT (change notes, "#" breaks lines)
    TIdandNr Notice;  // ID = Notice.ID, NR = Notice.TIMEOUT (seconds; empty: no notice),
                      // NR2 = Notice.TEXT ("#" breaks lines)
    QList<TIdandNr> FILELIST; // one per member of "File": ID = TIME, NR = MD5, NR2 = the member's name
};

// Fills info from a manifest body. False when the body is empty or not a JSON object, when one
// of the members read is missing (or null), or when "File" has no member. Every value is read
// as text; the members of "File" keep the order in which the body lists them.
bool ParseUpdateInfo(const QString& body, TUPdateInfo& info);

// Fetches the manifest at url (GBK) and parses it; false on any failure.
bool ReadUpdateInfo(TUPdateInfo& info, const QString& url, const HttpOptions& options = {});

// The manifest's address: the section "UpdateUrl" of the settings file names the maker's web
// site, to which the fixed path "/rezuvadev/Json.txt" is added (a value already ending in that
// path is taken as it stands). Empty when the section is missing: then no check can run.
QString ManifestUrl(const IniFile& settings);

enum TfrmdlgType { ctUpdate = 0, ctTip = 1 };

// What the update check asks the UI thread to show. For ctUpdate HH = {the manifest's version,
// its change notes, its lowest supported version}; for ctTip HH = {the notice's ID, its
// TIMEOUT text, its text}. NR3 stays empty.
struct TdlgAndMe {
    TfrmdlgType TType = ctUpdate;
    TIdandNr HH;
};

// The user's answer in the update/notice dialog.
enum FrmDlgRet { ctKUpdate = 0, ctKCancle = 1, ctKNextTip = 2, ctKOk = 3 };

// The lines a "#"-separated text gives in a memo: split at "#", CR and LF (quotes group,
// empty pieces are dropped), each piece trimmed of blanks and control characters.
QStringList MemoLines(const QString& text);

// The updater that lies beside the program: "Update" here, "Update.exe" on Windows.
QString UpdaterFileName();
