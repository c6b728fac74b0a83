#pragma once
// The main window's image list (16 x 16 pictures) and the program icon.

#include "resources/ImageIndexes.h"

#include <QIcon>
#include <QImage>

// The picture at index; an empty icon for an index without a picture.
QIcon ImageListIcon(int index);

// The program's icon: a camera drone seen from above.
QIcon ProgramIcon();
// The same drawing at size x size pixels, for the desktop's icon theme.
QImage ProgramIconImage(int size);

// The pictures of the update/notice dialog: a new version, and a notice.
QIcon UpdateIcon();
QIcon NoticeIcon();
