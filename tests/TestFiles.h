#pragma once
// Helpers for tests that write files: a fresh temporary folder and whole-file reads and writes.

#include <QByteArray>
#include <QFile>
#include <QString>
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

// A temporary folder whose path ends with "/".
struct TempFolder {
    QTemporaryDir dir;
    QString path() const { return dir.path() + u'/'; }
    QString file(const QString& name) const { return path() + name; }
};
