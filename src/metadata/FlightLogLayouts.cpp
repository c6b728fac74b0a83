#include "metadata/FlightLogLayouts.h"

#include <QRegularExpression>
#include <algorithm>
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
};

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

QString DateText(const QRegularExpressionMatch& match)
{
    const auto part = [&](int n, int width) { return match.captured(n).rightJustified(width, u'0'); };
    return part(1, 4) + u'.' + part(2, 2) + u'.' + part(3, 2) + u' ' + part(4, 2) + u':' + part(5, 2) + u':'
           + part(6, 2);
}

// The fields of one entry, its lines joined by blanks.
void ReadFields(const Patterns& patterns, const QString& text, FlightLogEntry& entry)
{
    if (const QRegularExpressionMatch match = patterns.date.match(text); match.hasMatch())
        entry.time = DateText(match);

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

} // namespace

void ForEachFlightLogEntry(const QStringList& lines, const std::function<bool(const FlightLogEntry&)>& visit)
{
    // Made once per thread: the scan asks for the first entry of thousands of files.
    thread_local const Patterns patterns;
    const QLatin1String arrow("-->");
    qsizetype at = 0;
    while (at < lines.size() && !lines[at].contains(arrow))
        ++at;
    while (at < lines.size()) {
        const QString& timeLine = lines[at];
        qsizetype next = at + 1;
        while (next < lines.size() && !lines[next].contains(arrow))
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
        const qsizetype split = timeLine.indexOf(arrow);
        entry.startKey = PlayTimeKey(QStringView(timeLine).left(split));
        entry.endKey = PlayTimeKey(QStringView(timeLine).mid(split + arrow.size()));
        ReadFields(patterns, text, entry);
        if (!visit(entry))
            return;
        at = next;
    }
}
