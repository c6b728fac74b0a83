#pragma once
// Helpers for tests that write files: a fresh temporary folder and whole-file reads and writes.

#include <QByteArray>
#include <QDirIterator>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

inline QString ReadTextFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

inline void WriteTextFile(const QString& path, const QString& text)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(text.toUtf8());
}

// A whole file's bytes; "<missing>" when it cannot be read, so a comparison shows why.
inline QByteArray ReadFileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Bytes that differ from one seed to the next and along the data, for copies to compare.
inline QByteArray PatternBytes(qint64 bytes, char seed)
{
    QByteArray data(bytes, '\0');
    for (qint64 i = 0; i < bytes; ++i)
        data[i] = char(seed + i * 7);
    return data;
}

// Every file below a folder (hidden ones too), relative to it, sorted.
inline QStringList FilesBelow(const QString& root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next().mid(root.size());
    files.sort();
    return files;
}

// A temporary folder whose path ends with "/".
struct TempFolder {
    QTemporaryDir dir;
    QString path() const { return dir.path() + u'/'; }
    QString file(const QString& name) const { return path() + name; }
};
