#include "catalogue/MediaNames.h"

#include "core/Helpers.h"

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

QList<Companion> CompanionsOf(const QString& path)
{
    const QString extension = IsPhotoName(path) ? QStringLiteral(".DNG") : QStringLiteral(".SRT");
    const QString companion = SameNameWithExtension(path, extension);
    if (companion.isEmpty())
        return {};
    return {{companion, extension}};
}
