#pragma once
// A disk of the kind pilots plug in, made for one test: an image file formatted as exFAT or
// NTFS, attached to a loop device and mounted through FUSE at a temporary folder. Needs root,
// /dev/fuse, losetup and the file system's tools; when any of them is missing, ok() is false
// and why() says which, so the test can skip with that reason.

#include <QString>
#include <QTemporaryDir>

class DiskImage {
public:
    // FAT32 (vfat) is not among them: it needs the kernel's own driver, which these test
    // machines may lack, and no FUSE driver for it is packaged alongside these.
    enum class Kind { Exfat, Ntfs };

    DiskImage(Kind kind, qint64 bytes);
    // Unmounts (retrying a little while the disk is busy), detaches the loop device and removes
    // the image.
    ~DiskImage();
    DiskImage(const DiskImage&) = delete;
    DiskImage& operator=(const DiskImage&) = delete;

    bool ok() const { return mounted_; }
    // Why the disk could not be made, in plain words; empty when ok().
    QString why() const { return why_; }
    // The mounted disk's top folder, with a trailing "/".
    QString root() const;

    static const char* Name(Kind kind);

private:
    bool Make(Kind kind, qint64 bytes);

    QTemporaryDir folder_;
    QString loopDevice_;
    QString mountPoint_;
    bool mounted_ = false;
    QString why_;
};
