#include "catalogue/ExportNaming.h"

#include "core/Helpers.h"
#include "services/Geocoder.h"

#include <algorithm>
#include <array>

namespace {
constexpr int kMaxLevels = 21;
constexpr int kMaxWords = 21;
constexpr qsizetype kMaxNameBytes = 255; // the longest file name Linux and Windows allow

// Removes blanks and dots at the start (a leading dot hides a folder) and at the end (Windows
// drops trailing dots and spaces, so "a." and "a" would be one folder there).
QString StripEnds(QString text)
{
    const auto loose = [](QChar c) { return c == u'.' || c.isSpace(); };
    qsizetype start = 0;
    while (start < text.size() && loose(text[start]))
        ++start;
    qsizetype end = text.size();
    while (end > start && loose(text[end - 1]))
        --end;
    return text.mid(start, end - start);
}
// Characters that FAT, exFAT and NTFS refuse in a name (the drives pilots copy to), and the
// full-width forms that stand in for them, so the name still reads the same.
constexpr std::pair<char16_t, char16_t> kRefusedByWindowsDisks[] = {
    {u'"', u'\uff02'}, {u'*', u'\uff0a'}, {u':', u'\uff1a'}, {u'<', u'\uff1c'},
    {u'>', u'\uff1e'}, {u'?', u'\uff1f'}, {u'|', u'\uff5c'},
};
} // namespace

QString SafeFolderName(const QString& text)
{
    QString name;
    name.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'/' || c == u'\\' || c.category() == QChar::Other_Control)
            continue;
        const auto* refused = std::find_if(std::begin(kRefusedByWindowsDisks), std::end(kRefusedByWindowsDisks),
                                           [c](const auto& pair) { return pair.first == c.unicode(); });
        name += refused == std::end(kRefusedByWindowsDisks) ? c : QChar(refused->second);
    }
    name = StripEnds(name);
    if (name.toUtf8().size() <= kMaxNameBytes)
        return name;
    // Cut at the last whole character that fits; a surrogate pair stays together.
    qsizetype bytes = 0;
    qsizetype keep = 0;
    while (keep < name.size()) {
        const qsizetype width = name[keep].isHighSurrogate() && keep + 1 < name.size() ? 2 : 1;
        const qsizetype more = name.mid(keep, width).toUtf8().size();
        if (bytes + more > kMaxNameBytes)
            break;
        bytes += more;
        keep += width;
    }
    return StripEnds(name.left(keep));
}

iteminfo FillItemInfo(const QString& name, MediaKind kind, const QString& place, const QDateTime& shotTime)
{
    iteminfo info;
    // The list's "yyyy/MM/dd HH:mm:ss" taken apart by position: this runs for every file of an
    // export, and a time with no valid date gives the zeros the list shows.
    const QString shot = ShotTimeText(shotTime);
    const QString date = shot.left(4) + u'-' + shot.mid(5, 2) + u'-' + shot.mid(8, 2);
    const QString stamp = shot.left(4) + shot.mid(5, 2) + shot.mid(8, 2) + shot.mid(11, 2) + shot.mid(14, 2) + shot.mid(17, 2);
    QString cleaned = TrimLowChars(place);
    cleaned.remove(u'/').remove(u'\\');
    std::array<QString, 4> pieces;
    const int count = SplitStr(cleaned, pieces, u' ');
    info.city = count >= 1 ? pieces[0] : kPlaceUnknown;
    info.district = count >= 2 ? pieces[1] : kPlaceUnknown;
    info.street = count >= 3 ? pieces[2] : kPlaceUnknown;
    info.date = date;
    const QString trimmedName = TrimLowChars(name);
    const qsizetype dot = trimmedName.lastIndexOf(u'.');
    const QString extension = dot < 0 ? QString() : trimmedName.mid(dot);
    info.filename = (kind == MediaKind::Video ? QStringLiteral("V-") : QStringLiteral("I-")) + stamp + extension;
    return info;
}

QString EvalNameToken(const QString& word, const iteminfo& info, const QString& defaultPlace)
{
    std::array<QString, 3> defaults;
    SplitStr(TrimLowChars(defaultPlace), defaults, u'/');
    const auto orDefault = [](const QString& piece, const QString& fallback) {
        const QString safe = SafeFolderName(piece);
        return piece == kPlaceUnknown || safe.isEmpty() ? SafeFolderName(fallback) : safe;
    };
    if (word == QStringLiteral("日期"))
        return info.date;
    if (word == QStringLiteral("城市"))
        return orDefault(info.city, defaults[0]);
    if (word == QStringLiteral("区县"))
        return orDefault(info.district, defaults[1]);
    if (word == QStringLiteral("街道"))
        return orDefault(info.street, defaults[2]);
    return {};
}

QString BuildExportFolder(const iteminfo& info, const QString& rule, const QString& defaultPlace)
{
    std::array<QString, kMaxLevels> levels;
    const int levelCount = std::min(SplitStr(TrimLowChars(rule), levels, u'/'), kMaxLevels);
    QString result;
    for (int l = 0; l < levelCount; ++l) {
        std::array<QString, kMaxWords> words;
        const int wordCount = std::min(SplitStr(levels[size_t(l)], words, u'+'), kMaxWords);
        QString part;
        for (int w = 0; w < wordCount; ++w) {
            const QString value = EvalNameToken(words[size_t(w)], info, defaultPlace);
            if (value != kPlaceUnknown)
                part += value;
        }
        part = SafeFolderName(part); // the words' values together may be too long
        if (!part.isEmpty())
            result += part + u'/';
    }
    return result;
}
