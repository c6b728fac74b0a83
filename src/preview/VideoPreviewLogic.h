#pragma once
// The arithmetic of the video preview window: play-time texts, the seek bar, and how the
// window serves a video's bytes to the player.

#include <QPoint>
#include <QRect>
#include <QString>
#include <cstdint>
#include <optional>

// The play second of a time in microseconds (rounded at 5 ms, as the time bar shows it); none
// for the player's no-value time.
std::optional<int> PlaySecondOf(int64_t microseconds);
// "HH:MM:SS" of a time in microseconds (that second; hours may take more digits); "N/A" for the
// player's no-value time.
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

// Why a video cannot be played, in words for the user: from whether the file is there, its size
// and the engine's own (English) message, which the window keeps for its tooltip.
QString UnplayableReason(bool exists, int64_t size, const QString& engineMessage);

// The rows the video window is asked to open and the one it shows. The player opens one clip
// at a time; what the window shows (title, row, flight log, capture and delete target) changes
// only when the player has opened the clip, and rows asked for meanwhile wait: the last one wins.
class ClipRequests {
public:
    struct Request {
        int row = -1;
        bool selectInList = false; // the window chose the row (a step, a deletion): the list follows it
    };

    // Asks for a row; replaces any request still waiting.
    void Ask(int row, bool selectInList) { waiting_ = Request{row, selectInList}; }
    // The request to open now, if one waits and no open is under way; it becomes the open under way.
    std::optional<Request> TakeNext();
    // The open under way ended: opened (shown) or failed (shown with its reason) or stopped by
    // the window (nothing shown changes). Gives the request that ended.
    Request Finish();
    void DropWaiting() { waiting_.reset(); }

    bool Opening() const { return opening_.has_value(); }
    bool Waiting() const { return waiting_.has_value(); }
    // The row a step starts from: the last one asked for, else the one opening, else the one shown.
    int StepOrigin(int shownRow) const;

private:
    std::optional<Request> waiting_;
    std::optional<Request> opening_;
};
