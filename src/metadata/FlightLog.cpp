#include "metadata/FlightLog.h"

#include "core/Helpers.h"
#include "metadata/FlightLogLayouts.h"

#include <QFile>
#include <QFileInfo>
#include <array>
#include <optional>

namespace {
const QString kNoPositionText = QStringLiteral("0.0000,0.0000");
} // namespace

QString ParseBracketField(const QString& line, BracketPart part)
{
    const qsizetype open = line.indexOf(u'(');
    if (open < 1) // none, or only as the first character
        return {};
    const qsizetype close = line.indexOf(u')');
    if (part == BracketPart::After)
        return close < 0 ? QString() : TrimLowChars(line.mid(close + 1));
    const QString inner = close > open ? line.mid(open + 1, close - open - 1) : QString();
    std::array<QString, 4> fields;
    SplitStr(inner, fields, u',');
    return fields[0] + u',' + fields[1];
}

QString SrtPathFor(const QString& videoPath)
{
    const QString name = QFileInfo(videoPath).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString exact = videoPath.left(videoPath.size() - name.size() + (dot < 0 ? name.size() : dot))
                          + QStringLiteral(".SRT");
    if (QFileInfo::exists(exact))
        return exact;
    const QString otherCase = SrtCompanion(videoPath);
    return otherCase.isEmpty() ? exact : otherCase;
}

namespace {

// The first four lines of a file, fewer when it has fewer. Only as much of the file is read as
// they need: a fifth line begun means the fourth is complete.
QStringList FirstFourLines(QIODevice& file)
{
    QByteArray bytes;
    for (;;) {
        const QByteArray more = file.read(bytes.isEmpty() ? 4096 : bytes.size());
        bytes += more;
        QStringList lines = SplitLines(DecodeTextFile(bytes), 5);
        if (lines.size() == 5 || more.isEmpty())
            return lines.mid(0, 4);
    }
}

// "a,b" from the fourth line "label(a,b,…)" of a flight log, as written there.
std::optional<QString> FourthLinePosition(const QStringList& firstLines)
{
    if (firstLines.size() < 4)
        return std::nullopt;
    const QString pair = ParseBracketField(TrimLowChars(firstLines[3]), BracketPart::Pair);
    return pair.isEmpty() ? std::nullopt : std::optional(pair);
}

// Whether the file's first entry, within its first lines, writes its position latitude first.
bool StartsLatitudeFirst(const QStringList& firstLines)
{
    bool latitudeFirst = false;
    ForEachFlightLogEntry(firstLines, [&](const FlightLogEntry& entry) {
        latitudeFirst = entry.latitudeFirst;
        return false;
    });
    return latitudeFirst;
}

bool IsValidPositionText(const QString& text)
{
    std::array<QString, 2> pieces;
    SplitStr(text, pieces, u',');
    const std::optional<double> longitude = ParseDegrees(pieces[0]);
    const std::optional<double> latitude = ParseDegrees(pieces[1]);
    return longitude && latitude && IsValidPosition(*longitude, *latitude);
}

// The position of the first entry that has a valid one. The file is read from its start in
// growing pieces until such an entry is complete, so a long log is read whole only when none
// of its entries has one.
std::optional<FlightLogPoint> FirstLoggedPosition(QIODevice& file)
{
    if (!file.seek(0))
        return std::nullopt;
    QByteArray bytes;
    for (qint64 piece = 4096;; piece *= 2) {
        const QByteArray more = file.read(piece);
        bytes += more;
        const bool whole = more.size() < piece;
        // An entry is complete once the next one begins, the last one when the file is whole.
        std::optional<FlightLogPoint> found;
        std::optional<FlightLogEntry> previous;
        ForEachFlightLogEntry(SplitLines(DecodeTextFile(bytes)), [&](const FlightLogEntry& entry) {
            if (previous)
                found = previous->position;
            previous = entry;
            return !found;
        });
        if (!found && whole && previous)
            found = previous->position;
        if (found || whole)
            return found;
    }
}

} // namespace

QString FlightLogPosition(QIODevice& file)
{
    // The six-line layout's rule first; a layout that writes latitude first on the same line
    // would be read back to front by it.
    const QStringList firstLines = FirstFourLines(file);
    const std::optional<QString> written = FourthLinePosition(firstLines);
    if (written && IsValidPositionText(*written) && !StartsLatitudeFirst(firstLines))
        return *written;
    if (const std::optional<FlightLogPoint> logged = FirstLoggedPosition(file))
        return CoordinateText(logged->longitude) + u',' + CoordinateText(logged->latitude);
    return written.value_or(kNoPositionText);
}

QString ReadSrtPosition(const QString& srtPath)
{
    QFile file(srtPath);
    if (srtPath.isEmpty() || !file.open(QIODevice::ReadOnly))
        return kNoPositionText;
    return FlightLogPosition(file);
}

QString SrtCompanion(const QString& videoPath)
{
    return SameNameWithExtension(videoPath, QStringLiteral(".SRT"));
}
