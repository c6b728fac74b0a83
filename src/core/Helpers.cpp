#include "core/Helpers.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringList>
#include <charconv>
#include <cmath>
#include <cstring>

QString TrimLowChars(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].unicode() <= 0x20)
        ++begin;
    while (end > begin && text[end - 1].unicode() <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}

std::optional<qint32> ParseInt32(const QString& text)
{
    if (text.isEmpty() || text.front().isSpace() || text.back().isSpace())
        return std::nullopt;
    QString digits = text;
    bool negative = false;
    if (digits.startsWith(u'+') || digits.startsWith(u'-')) {
        negative = digits.startsWith(u'-');
        digits.remove(0, 1);
    }
    int base = 10;
    if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        base = 16;
        digits.remove(0, 2);
    }
    if (digits.isEmpty() || digits.startsWith(u'+') || digits.startsWith(u'-'))
        return std::nullopt;
    bool ok = false;
    const qint64 magnitude = digits.toLongLong(&ok, base);
    if (!ok)
        return std::nullopt;
    const qint64 value = negative ? -magnitude : magnitude;
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return static_cast<qint32>(value);
}

namespace {
bool IsQuote(char16_t c) { return c == u'\'' || c == u'"'; }
bool IsLineBreak(char16_t c) { return c == u'\r' || c == u'\n'; }
} // namespace

int SplitStr(const QString& text, std::span<QString> out, QChar separator)
{
    // Only characters of the first 256 code points can act as separators or quotes.
    const bool separatorActive = separator.unicode() <= 0xFF;
    const qsizetype n = text.size();
    int found = 0;
    qsizetype i = 0;
    while (i < n) {
        while (i < n && IsLineBreak(text[i].unicode()))
            ++i;
        if (i >= n)
            break;
        const qsizetype start = i;
        char16_t openQuote = 0;
        for (; i < n; ++i) {
            const char16_t c = text[i].unicode();
            if (openQuote) {
                if (c == openQuote)
                    openQuote = 0;
                continue;
            }
            if ((separatorActive && c == separator.unicode()) || IsLineBreak(c))
                break;
            if (IsQuote(c))
                openQuote = c;
        }
        if (i > start) {
            if (static_cast<size_t>(found) < out.size())
                out[found] = text.mid(start, i - start);
            ++found;
        }
        ++i; // the character that ended the piece belongs to no piece
    }
    return found;
}

QString DecodeTextFile(const QByteArray& bytes)
{
    if (bytes.startsWith("\xFF\xFE"))
        return QStringDecoder(QStringConverter::Utf16LE).decode(QByteArrayView(bytes).sliced(2));
    if (bytes.startsWith("\xFE\xFF"))
        return QStringDecoder(QStringConverter::Utf16BE).decode(QByteArrayView(bytes).sliced(2));
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(QByteArrayView(bytes).sliced(3));
    return QString::fromUtf8(bytes);
}

QStringList SplitLines(const QString& text, qsizetype maxLines)
{
    QStringList lines;
    const qsizetype n = text.size();
    qsizetype start = 0;
    while (start < n && (maxLines < 0 || lines.size() < maxLines)) {
        qsizetype end = start;
        while (end < n && !IsLineBreak(text[end].unicode()))
            ++end;
        lines << text.mid(start, end - start);
        start = end + 1;
        if (end + 1 < n && text[end] == u'\r' && text[end + 1] == u'\n')
            ++start;
    }
    return lines;
}

namespace {
// Decimal text of a value already truncated toward zero; "-0" prints as "0".
QString WholeNumberText(double truncated)
{
    if (truncated == 0.0)
        return QStringLiteral("0");
    return QString::number(truncated, 'f', 0);
}
} // namespace

TGpsinf DegToDms(double degrees)
{
    if (!std::isfinite(degrees))
        return {QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0")};
    const double wholeDegrees = std::trunc(degrees);
    const double minutes = (degrees - wholeDegrees) * 60.0;
    const double wholeMinutes = std::trunc(minutes);
    const double seconds = std::trunc((minutes - wholeMinutes) * 60.0);
    return {WholeNumberText(wholeDegrees), WholeNumberText(wholeMinutes), WholeNumberText(seconds)};
}

QString GetAppVersion()
{
#ifdef ORVEK_VERSION_TEXT
    const QString compiled = QStringLiteral(ORVEK_VERSION_TEXT);
#else
    const QString compiled;
#endif
    // Always four numbers, however many parts the build named.
    int parts[4] = {0, 0, 0, 0};
    const QStringList pieces = compiled.split(u'.');
    for (int i = 0; i < 4 && i < pieces.size(); ++i)
        parts[i] = pieces[i].toInt();
    return QString::asprintf("%d.%d.%d.%d", parts[0], parts[1], parts[2], parts[3]);
}

qint32 VersionToInt(const QString& version)
{
    QString digits = version;
    digits.remove(u'.');
    const auto value = ParseInt32(TrimLowChars(digits));
    if (!value)
        throw ConversionError("'" + version.toStdString() + "' is not a valid integer value");
    return *value;
}

QString LowerAsciiLetters(const QString& text)
{
    QString lowered = text;
    for (QChar& c : lowered)
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    return lowered;
}

QString CoordinateText(double degrees)
{
    char text[400];
    const auto written = std::to_chars(text, text + sizeof text, degrees, std::chars_format::fixed, 4);
    const qsizetype length = written.ec == std::errc() ? written.ptr - text : 0;
    if (length == 7 && std::memcmp(text, "-0.0000", 7) == 0)
        return QStringLiteral("0.0000");
    return QString::fromLatin1(text, length);
}

QString SystemErrorText(int error)
{
    static const std::pair<int, const char*> kTexts[] = {
        {ENOENT, "文件不存在"},          {EACCES, "没有权限"},           {EPERM, "没有权限"},
        {ENOSPC, "磁盘空间不足"},        {EDQUOT, "超出磁盘配额"},       {EROFS, "磁盘是只读的"},
        {EEXIST, "已有同名文件"},        {EIO, "读写出错（介质可能损坏）"}, {ENAMETOOLONG, "文件名太长"},
        {EISDIR, "这是一个文件夹"},      {ENOTDIR, "路径中有一项不是文件夹"}, {EMFILE, "打开的文件太多"},
        {EFBIG, "文件太大"},             {ENODEV, "设备已移除"},         {ENXIO, "设备已移除"},
    };
    for (const auto& [number, text] : kTexts)
        if (number == error)
            return QString::fromUtf8(text);
    return QString::fromLocal8Bit(std::strerror(error));
}

QString SameNameWithExtension(const QString& path, const QString& upperExtension)
{
    const QFileInfo file(path);
    const QString stem = file.path() + u'/' + file.completeBaseName();
    for (const QString& extension : {upperExtension, upperExtension.toLower()})
        if (QFileInfo::exists(stem + extension))
            return stem + extension;
    // Any other mix of cases: look at the folder's files once.
    QString pattern = file.completeBaseName() + u'.';
    for (const QChar c : QStringView(upperExtension).mid(1))
        pattern += c.isLetter() ? QStringLiteral("[%1%2]").arg(c, c.toLower()) : QString(c);
    const QStringList others = QDir(file.path()).entryList({pattern}, QDir::Files | QDir::CaseSensitive);
    return others.isEmpty() ? QString() : file.path() + u'/' + others.front();
}
