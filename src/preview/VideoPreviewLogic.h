#pragma once
// The arithmetic of the video preview window: play-time texts, the seek bar, and how the
// window serves a video's bytes to the player.

#include <QPoint>
#include <QRect>
#include <QString>
#include <cstdint>

// "HH:MM:SS" of a time in microseconds (rounded at 5 ms, hours may take more digits); "N/A"
// for the player's no-value time.
QString FormatPlayTime(int64_t microseconds);

// The seek target of a click at x on a seek bar of the given width: the nearest microsecond.
int64_t SeekTargetFromClick(int64_t duration, int x, int width);
// The time shown above the seek bar for the mouse at x: truncated, unlike the click.
QString HoverTimeText(int x, int width, int64_t duration);
// The seek bar's position for a play position, or -1 when the bar must not move (no length
// known, or no position).
int SeekBarPosition(int maximum, int64_t pts, int64_t duration);

// Videos below this size are served from a copy in memory, larger ones from the file.
constexpr int64_t kMemoryInputLimit = 10485760;
enum class InputSource { Unusable, Memory, File };
InputSource ChooseInputSource(int64_t fileSize);

// The player's video filter for the picture settings (brightness, saturation, hue); empty
// (no filter) for the neutral 0, 1, 0.
QString PictureFilterText(float brightness, float saturation, float hue);

// The in-memory input address of the stream with that identity.
QString MemoryInputAddress(int identity);

// Where a window's frame goes so that all of it lies in area: as near as it can to where it is
// (a frame larger than the area keeps its top left corner, title bar first, inside).
QPoint FrameCornerInside(const QRect& frame, const QRect& area);
