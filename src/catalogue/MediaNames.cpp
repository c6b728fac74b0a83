#include "catalogue/MediaNames.h"

#include "core/Helpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <array>

bool HasListedExt(const QString& name, const QString& extensions)
{
    std::array<QString, 8> pieces;
    const int count = std::min<int>(SplitStr(extensions, pieces, u'|'), int(pieces.size()));
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString extension = dot < 0 ? QString() : LowerAsciiLetters(name.mid(dot));
    for (int i = 0; i < count; ++i)
        if (extension == pieces[size_t(i)])
            return true;
    return false;
}

bool IsPhotoName(const QString& name)
{
    return HasListedExt(name, kPhotoExtensions);
}

namespace {

// A name with its extension (from its last ".") lower-cased A-Z.
QString WithLowerExtension(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? name : name.left(dot) + LowerAsciiLetters(name.mid(dot));
}

} // namespace

QList<Companion> CompanionFinder::Of(const QString& path)
{
    const QFileInfo file(path);
    auto names = folders_.constFind(file.path());
    if (names == folders_.constEnd()) {
        QHash<QString, QString> listed;
        for (const QString& name : QDir(file.path()).entryList(QDir::Files | QDir::Hidden))
            listed.insert(WithLowerExtension(name), name);
        names = folders_.insert(file.path(), listed);
    }
    const QString extension = IsPhotoName(path) ? QStringLiteral(".DNG") : QStringLiteral(".SRT");
    const auto companion = names->constFind(file.completeBaseName() + LowerAsciiLetters(extension));
    if (companion == names->constEnd())
        return {};
    return {{file.path() + u'/' + *companion, extension}};
}

void CompanionFinder::RemoveWithCompanions(const QString& path)
{
    const QList<Companion> companions = Of(path);
    QFile::remove(path);
    for (const Companion& companion : companions)
        QFile::remove(companion.path);
}
