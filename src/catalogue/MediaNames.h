#pragma once
// Which files the catalogue lists, by the extension of their names (compared after lower-casing
// A-Z), and the files that follow a listed one in export and removal.

#include <QHash>
#include <QList>
#include <QString>

// "|"-separated extension lists.
inline const QString kPhotoExtensions = QStringLiteral(".jpg|.jpeg");
inline const QString kVideoExtensions = QStringLiteral(".mp4|.mov");
inline const QString kScanExtensions = kVideoExtensions + u'|' + kPhotoExtensions;

// True when the name's extension (from its last "."), lower-cased A-Z, is one of the
// "|"-separated extensions.
bool HasListedExt(const QString& name, const QString& extensions);
bool IsPhotoName(const QString& name);

// A file beside a listed one that goes where it goes: a video's flight log (".SRT"), a photo's
// RAW twin (".DNG"), each of the same name in any case. extension is the one a copy takes.
struct Companion {
    QString path;
    QString extension;
};

// Finds the companions of many files, reading each folder's names once: an export or a removal
// asks for thousands of files of one folder, and listing the folder for each was quadratic.
class CompanionFinder {
public:
    QList<Companion> Of(const QString& path);
    // Deletes the file and its companions, so that no file is left that nothing lists or
    // exports any more. One that cannot be deleted stays.
    void RemoveWithCompanions(const QString& path);

private:
    QHash<QString, QHash<QString, QString>> folders_; // folder -> (name, extension lower-cased -> name)
};
