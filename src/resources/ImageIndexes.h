#pragma once
// Indexes of the pictures in the main window's image list (16 x 16). Plain numbers, so that
// code without windows can name them.

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
