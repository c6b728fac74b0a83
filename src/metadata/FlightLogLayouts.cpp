#include "metadata/FlightLogLayouts.h"

#include "core/Helpers.h"
#include "metadata/FlightLog.h"

#include <QDate>
#include <QRegularExpression>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

std::optional<double> ParseDegrees(const QString& text)
{
    const QByteArray latin = text.toLatin1();
    const char* begin = latin.constData();
    const char* end = begin + latin.size();
    // Control characters and the plain space around the number.
    while (begin != end && static_cast<unsigned char>(*begin) <= 0x20)
        ++begin;
    while (end != begin && static_cast<unsigned char>(end[-1]) <= 0x20)
        --end;
    const bool negative = begin != end && *begin == '-';
    if (begin != end && (*begin == '-' || *begin == '+'))
        ++begin;
    // from_chars would also take "inf", "nan" and a second sign.
    if (begin == end || !((*begin >= '0' && *begin <= '9') || *begin == '.'))
        return std::nullopt;
    double value = 0;
    const auto [stop, error] = std::from_chars(begin, end, value, std::chars_format::general);
    if (error != std::errc() || stop != end || !std::isfinite(value))
        return std::nullopt;
    return negative ? -value : value;
}

bool IsValidPosition(double longitude, double latitude)
{
    return std::abs(longitude) <= 180 && std::abs(latitude) <= 90 && !(longitude == 0 && latitude == 0);
}

namespace {

// The patterns of an entry's fields. Each thread has its own (see ForEachFlightLogEntry), so
// no compiled pattern is shared between threads.
struct Patterns {
    const QRegularExpression namedField{
        QStringLiteral(R"((?<![A-Za-z_])(lat(?:itude)?|lon(?:gt?itude)?|lng)\s*:\s*([^\]\s,]*))"),
        QRegularExpression::CaseInsensitiveOption};
    // "LABEL(a, b)" or "LABEL(a, b, c…)"; the label may be empty or stand apart from the "(".
    const QRegularExpression pair{
        QStringLiteral(R"(([A-Za-z_]*)\s*\(\s*([^(),]*?)\s*,\s*([^(),]*?)\s*(?:,\s*([^(),]*?)\s*(?:,[^()]*)?)?\))")};
    const QRegularExpression date{
        QStringLiteral(R"((\d{4})[-./](\d{1,2})[-./](\d{1,2})[ T]+(\d{1,2}):(\d{1,2}):(\d{1,2}))")};
    const QRegularExpression altitudeWithUnit{QStringLiteral(R"(^[-+]?[\d.]+\s*[Mm]$)")};
    // A measure: "D 24.5m", "H 10.0m", "rel_alt: 12.300", "abs_alt: 301.2", "altitude: 46.1",
    // "BAROMETER:1.9". The one-letter labels count only in capitals and with their unit.
    const QRegularExpression measure{
        QStringLiteral(R"((?<![A-Za-z_])(D|H|rel_alt|abs_alt|altitude|barometer)\s*[:=]?\s*([-+]?\d+(?:\.\d+)?)\s*(m(?![A-Za-z]))?)"),
        QRegularExpression::CaseInsensitiveOption};
};

const Patterns& ThreadPatterns()
{
    // Made once per thread: the scan asks for the first entry of thousands of files.
    thread_local const Patterns patterns;
    return patterns;
}

std::optional<FlightLogPoint> ValidPoint(const QString& longitudeText, const QString& latitudeText)
{
    const std::optional<double> longitude = ParseDegrees(longitudeText);
    const std::optional<double> latitude = ParseDegrees(latitudeText);
    if (!longitude || !latitude || !IsValidPosition(*longitude, *latitude))
        return std::nullopt;
    return FlightLogPoint{*longitude, *latitude, longitudeText, latitudeText};
}

// "HH:MM:SS" of a side of a time line.
QString PlayTimeKey(QStringView side)
{
    return side.trimmed().left(8).toString();
}

// A date found in text: its "yyyy.MM.dd hh:mm:ss" and a count of seconds to compare dates by
// (the drone's clock, whatever its zone).
struct FoundDate {
    QString text;
    qint64 clock = 0;
};

std::optional<FoundDate> FindDate(const Patterns& patterns, const QString& text)
{
    const QRegularExpressionMatch match = patterns.date.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    int parts[6];
    for (int n = 0; n < 6; ++n)
        parts[n] = match.capturedView(n + 1).toInt();
    const auto [year, month, day, hour, minute, second] = parts;
    const QDate date(year, month, day);
    if (!date.isValid() || hour > 23 || minute > 59 || second > 60)
        return std::nullopt;
    FoundDate found;
    found.text = QString::asprintf("%04d.%02d.%02d %02d:%02d:%02d", year, month, day, hour, minute, second);
    found.clock = date.toJulianDay() * 86400 + hour * 3600 + minute * 60 + second;
    return found;
}

// The drone's distance, height and altitude written in text.
void ReadMeasures(const Patterns& patterns, const QString& text, FlightLogEntry& entry)
{
    for (const QRegularExpressionMatch& match : patterns.measure.globalMatch(text)) {
        const QStringView label = match.capturedView(1);
        const double value = match.capturedView(2).toDouble();
        const bool letter = label.size() == 1;
        if (letter && (!label.at(0).isUpper() || !match.hasCaptured(3)))
            continue;
        const bool aboveSea = label.compare(u"abs_alt", Qt::CaseInsensitive) == 0
                              || label.compare(u"altitude", Qt::CaseInsensitive) == 0;
        std::optional<double>& slot = label == u"D" ? entry.distance : aboveSea ? entry.altitude : entry.height;
        if (!slot)
            slot = value;
    }
}

// The fields of one entry of the newer layouts, its lines joined by blanks.
void ReadFields(const Patterns& patterns, const QString& text, FlightLogEntry& entry, std::optional<qint64>& clock)
{
    if (const std::optional<FoundDate> date = FindDate(patterns, text)) {
        entry.time = date->text;
        clock = date->clock;
    }
    ReadMeasures(patterns, text, entry);

    QString namedLatitude;
    QString namedLongitude;
    for (const QRegularExpressionMatch& match : patterns.namedField.globalMatch(text)) {
        // "lat…" against "lon…" and "lng".
        const bool isLatitude = match.capturedView(1).at(1).toLower() == u'a';
        QString& slot = isLatitude ? namedLatitude : namedLongitude;
        if (slot.isEmpty())
            slot = match.captured(2);
    }
    if (!namedLatitude.isEmpty() && !namedLongitude.isEmpty())
        entry.position = ValidPoint(namedLongitude, namedLatitude);
    if (!text.contains(u'('))
        return;

    // A reference point is a HOME pair or, in the older layout, a pair of two numbers.
    struct Written {
        QString first, second, third;
    };
    std::optional<Written> positionPair;
    bool hasReference = false;
    for (const QRegularExpressionMatch& match : patterns.pair.globalMatch(text)) {
        const bool home = match.capturedView(1).compare(u"HOME", Qt::CaseInsensitive) == 0;
        if (home || !match.hasCaptured(4)) {
            hasReference = true;
            if (!entry.home)
                entry.home = ValidPoint(match.captured(2), match.captured(3));
        } else if (!positionPair) {
            positionPair = Written{match.captured(2), match.captured(3), match.captured(4)};
        }
    }
    if (entry.position || !positionPair)
        return;
    entry.latitudeFirst = !hasReference && patterns.altitudeWithUnit.match(positionPair->third).hasMatch();
    if (entry.latitudeFirst && !entry.altitude) // "GPS(lat,lon,301M)": metres above the sea
        entry.altitude = QStringView(positionPair->third).chopped(1).trimmed().toDouble();
    QString longitude = entry.latitudeFirst ? positionPair->second : positionPair->first;
    QString latitude = entry.latitudeFirst ? positionPair->first : positionPair->second;
    // A latitude beyond 90 degrees can only be a longitude written first.
    const std::optional<double> latitudeValue = ParseDegrees(latitude);
    if (latitudeValue && std::abs(*latitudeValue) > 90)
        std::swap(longitude, latitude);
    entry.position = ValidPoint(longitude, latitude);
}

bool IsIndexLine(const QString& line)
{
    const QString trimmed = line.trimmed();
    return !trimmed.isEmpty() && std::all_of(trimmed.begin(), trimmed.end(), [](QChar c) { return c.isDigit(); });
}

const QLatin1String kArrow("-->");

// Ends the first recording: visit is called only while the play time does not go back.
class RecordingGuard {
public:
    explicit RecordingGuard(const std::function<bool(const FlightLogEntry&)>& visit) : visit_(visit) {}
    bool Visit(FlightLogEntry& entry)
    {
        if (!entry.second)
            entry.second = PlaySecondOfKey(entry.startKey);
        if (entry.second) {
            if (*entry.second < last_)
                return false; // a second recording begins
            last_ = *entry.second;
        }
        return visit_(entry);
    }

private:
    const std::function<bool(const FlightLogEntry&)>& visit_;
    int last_ = -1; // the play second of the last entry that had one
};

// Entries of a log with time lines.
void ForEachTimedEntry(const QStringList& lines, qsizetype at, RecordingGuard& guard)
{
    const Patterns& patterns = ThreadPatterns();
    while (at < lines.size()) {
        const QString& timeLine = lines[at];
        qsizetype next = at + 1;
        while (next < lines.size() && !lines[next].contains(kArrow))
            ++next;
        // The entry's lines, less blank lines and the next entry's index line.
        qsizetype last = next;
        while (last > at + 1 && lines[last - 1].trimmed().isEmpty())
            --last;
        if (next < lines.size() && last > at + 1 && IsIndexLine(lines[last - 1]))
            --last;
        QString text;
        for (qsizetype n = at + 1; n < last; ++n)
            text += lines[n] + u' ';

        FlightLogEntry entry;
        const qsizetype split = timeLine.indexOf(kArrow);
        entry.startKey = PlayTimeKey(QStringView(timeLine).left(split));
        entry.endKey = PlayTimeKey(QStringView(timeLine).mid(split + kArrow.size()));
        std::optional<qint64> clock;
        ReadFields(patterns, text, entry, clock);
        if (!guard.Visit(entry))
            return;
        at = next;
    }
}

// Entries of a log without time lines: blocks that begin at an index line or after a blank
// line. A block counts when it has a date or a position; each is a second after the one
// before, or as many seconds after the first dated one as its own date says. The recording
// ends where the index numbers start again or the dates go back.
void ForEachUntimedEntry(const QStringList& lines, RecordingGuard& guard)
{
    const Patterns& patterns = ThreadPatterns();
    std::optional<qint64> anchorClock;
    int anchorSecond = 0;
    int previous = -1;
    qint64 lastIndex = -1;
    qsizetype at = 0;
    while (at < lines.size()) {
        while (at < lines.size() && lines[at].trimmed().isEmpty())
            ++at;
        if (at == lines.size())
            return;
        qsizetype end = at + 1;
        while (end < lines.size() && !lines[end].trimmed().isEmpty() && !IsIndexLine(lines[end]))
            ++end;
        const bool indexed = IsIndexLine(lines[at]);
        if (indexed) { // the numbers start again: a second recording
            const qint64 index = lines[at].trimmed().toLongLong();
            if (index <= lastIndex)
                return;
            lastIndex = index;
        }
        QString text;
        for (qsizetype n = indexed ? at + 1 : at; n < end; ++n)
            text += lines[n] + u' ';
        at = end;

        FlightLogEntry entry;
        std::optional<qint64> clock;
        ReadFields(patterns, text, entry, clock);
        if (!clock && !entry.position)
            continue;
        qint64 second = previous + 1;
        if (clock && anchorClock)
            second = anchorSecond + (*clock - *anchorClock);
        else if (clock)
            anchorClock = clock, anchorSecond = int(second);
        if (second < 0 || second > 99 * 3600)
            return; // a clock set back before the flight, or far off: not this recording
        entry.second = int(second);
        entry.startKey = entry.endKey = KeyOfPlaySecond(int(second));
        if (!guard.Visit(entry))
            return;
        previous = int(second);
    }
}

} // namespace

std::optional<int> PlaySecondOfKey(QStringView key)
{
    if (key.size() != 8 || key[2] != u':' || key[5] != u':')
        return std::nullopt;
    int value = 0;
    for (const int at : {0, 3, 6}) {
        const QChar high = key[at];
        const QChar low = key[at + 1];
        if (!high.isDigit() || !low.isDigit() || high.unicode() > '9' || low.unicode() > '9')
            return std::nullopt;
        value = value * 60 + (high.unicode() - '0') * 10 + (low.unicode() - '0');
    }
    return value;
}

QString KeyOfPlaySecond(int second)
{
    return QStringLiteral("%1:%2:%3")
        .arg(second / 3600, 2, 10, QChar(u'0'))
        .arg(second / 60 % 60, 2, 10, QChar(u'0'))
        .arg(second % 60, 2, 10, QChar(u'0'));
}

void ForEachFlightLogEntry(const QStringList& lines, const std::function<bool(const FlightLogEntry&)>& visit)
{
    RecordingGuard guard(visit);
    qsizetype at = 0;
    while (at < lines.size() && !lines[at].contains(kArrow))
        ++at;
    if (at < lines.size())
        ForEachTimedEntry(lines, at, guard);
    else
        ForEachUntimedEntry(lines, guard);
}

void ForEachSixLineEntry(const QStringList& lines, const std::function<bool(const FlightLogEntry&)>& visit)
{
    const Patterns& patterns = ThreadPatterns();
    RecordingGuard guard(visit);
    qsizetype i = 0;
    while (lines.size() > i + 2) {
        const QString& timeLine = lines[i];
        if (!timeLine.contains(kArrow)) {
            ++i;
            continue;
        }
        std::array<QString, 4> sides;
        SplitStr(timeLine, sides, u'>');
        const QString& referenceLine = lines[i + 1];
        std::array<QString, 4> reference;
        std::array<QString, 4> position;
        const bool positionPair = SplitStr(ParseBracketField(lines[i + 2], BracketPart::Pair), position, u',') >= 2;
        const bool referencePair = SplitStr(ParseBracketField(referenceLine, BracketPart::Pair), reference, u',') >= 2;

        FlightLogEntry entry;
        entry.startKey = TrimLowChars(sides[0]).left(8);
        entry.endKey = TrimLowChars(sides[1]).left(8);
        // Both pairs make the entry one of this layout (in others a date line stands before
        // a position written latitude first).
        const bool sixLine = positionPair && referencePair;
        if (sixLine) {
            entry.position = ValidPoint(position[0], position[1]);
            entry.home = ValidPoint(reference[0], reference[1]);
        }
        if (sixLine) {
            if (const std::optional<FoundDate> date = FindDate(patterns, ParseBracketField(referenceLine, BracketPart::After)))
                entry.time = date->text;
            ReadMeasures(patterns, lines[i + 2], entry); // "BAROMETER:1.9"
        }
        if (!guard.Visit(entry))
            return;
        // The next entry is looked for six lines on, or at once after what is no such entry.
        i += sixLine ? 6 : 1;
    }
}
