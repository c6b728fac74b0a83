#include "services/IniFile.h"

#include "core/Helpers.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>
#include <optional>

namespace {

QStringList ReadLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(file.readAll());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(u'\r', u'\n');
    QStringList lines = text.split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// The section name of a "[name]" line, or nothing for any other line.
std::optional<QString> SectionName(const QString& line)
{
    const QString t = line.trimmed();
    if (t.size() < 2 || !t.startsWith(u'[') || !t.endsWith(u']'))
        return std::nullopt;
    return t.mid(1, t.size() - 2).trimmed();
}

bool IsComment(const QString& line)
{
    const QString t = line.trimmed();
    return t.startsWith(u';') || t.startsWith(u'#');
}

bool SameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// Line range [begin, end) of the body of a section, or nothing when the section is absent.
struct SectionRange {
    qsizetype header;
    qsizetype end;
};

std::optional<SectionRange> FindSection(const QStringList& lines, const QString& section)
{
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const auto name = SectionName(lines[i]);
        if (!name || !SameName(*name, section))
            continue;
        qsizetype end = i + 1;
        while (end < lines.size() && !SectionName(lines[end]))
            ++end;
        return SectionRange{i, end};
    }
    return std::nullopt;
}

// Index of the "key=value" line of key within the section body, or -1.
qsizetype FindKey(const QStringList& lines, const SectionRange& range, const QString& key)
{
    for (qsizetype i = range.header + 1; i < range.end; ++i) {
        const qsizetype eq = lines[i].indexOf(u'=');
        if (eq >= 0 && !IsComment(lines[i]) && SameName(lines[i].left(eq).trimmed(), key))
            return i;
    }
    return -1;
}

// A value as stored: blanks around it are not part of it, and one pair of matching quotes
// around the whole is removed (so a value with blanks at its ends survives a round trip).
QString UnquoteValue(const QString& raw)
{
    QString v = raw.trimmed();
    if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    return v;
}

QString QuoteValue(QString value)
{
    // A line break would end the line early and corrupt the file.
    value.replace(u'\r', u' ');
    value.replace(u'\n', u' ');
    const bool blankEnds = !value.isEmpty() && (value.front().isSpace() || value.back().isSpace());
    const bool looksQuoted = value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'')
        && value.back() == value.front();
    return (blankEnds || looksQuoted) ? u'"' + value + u'"' : value;
}

QString LimitLength(QString value)
{
    if (value.size() <= IniFile::kMaxValueChars)
        return value;
    value.truncate(IniFile::kMaxValueChars);
    if (value.back().isHighSurrogate()) // never keep half a character
        value.chop(1);
    return value;
}

} // namespace

IniFile::IniFile(QString path)
    : path_(std::move(path))
{
}

QString IniFile::ReadString(const QString& section, const QString& key, const QString& defaultValue) const
{
    const QStringList lines = ReadLines(path_);
    const auto range = FindSection(lines, section);
    if (!range)
        return defaultValue;
    const qsizetype line = FindKey(lines, *range, key);
    if (line < 0)
        return defaultValue;
    const QString& text = lines[line];
    return LimitLength(UnquoteValue(text.mid(text.indexOf(u'=') + 1)));
}

qint32 IniFile::ReadInteger(const QString& section, const QString& key, qint32 defaultValue) const
{
    const QString text = ReadString(section, key, QString());
    return ParseInt32(text.trimmed()).value_or(defaultValue);
}

bool IniFile::ReadBool(const QString& section, const QString& key, bool defaultValue) const
{
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

bool IniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    QStringList lines = ReadLines(path_);
    const QString entry = key + u'=' + QuoteValue(value);
    if (const auto range = FindSection(lines, section)) {
        const qsizetype line = FindKey(lines, *range, key);
        if (line >= 0) {
            lines[line] = entry;
        } else {
            qsizetype insertAt = range->end; // after the section's last non-blank line
            while (insertAt > range->header + 1 && lines[insertAt - 1].trimmed().isEmpty())
                --insertAt;
            lines.insert(insertAt, entry);
        }
    } else {
        lines << u'[' + section + u']' << entry;
    }

    // A file that exists but is not writable stays untouched, as a refused write should.
    const QFileInfo info(path_);
    if (info.exists() && (!info.isFile() || !info.isWritable()))
        return false;
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(lines.join(u'\n').toUtf8());
    file.write("\n");
    return file.commit();
}

bool IniFile::WriteInteger(const QString& section, const QString& key, qint32 value)
{
    return WriteString(section, key, QString::number(value));
}

bool IniFile::WriteBool(const QString& section, const QString& key, bool value)
{
    return WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}
