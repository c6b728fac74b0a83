#pragma once
// The main window's image list (16 x 16 pictures) and the program icon.

#include <QIcon>

// Roles of the image list's pictures, by their index.
enum ImageListIndex : int {
    kImgOpenFolder = 0,
    kImgScan = 1,
    kImgExport = 2,
    kImgExportRunning = 3,
    kImgSettings = 4,
    kImgExit = 5,
    kImgPhotoRow = 6,
    kImgVideoRow = 7,
    kImgHelp = 8,
    kImgHelpDisabled = 10,
};

// The picture at index; an empty icon for an index without a picture.
QIcon ImageListIcon(int index);

// The program's icon: a camera drone seen from above.
QIcon ProgramIcon();
