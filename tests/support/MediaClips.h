#pragma once
// Short media clips for the playback tests, made once per test process with the ffmpeg command
// line tool into a temporary folder.

#include <QString>

enum class ClipKind {
    H264Aac,   // MP4, 320x180 at 25 fps, 2 s, a flat colour picture and a sine tone
    VideoOnly, // MP4, the same picture without sound
    AudioOnly, // M4A, 2 s of sine tone
    Mov,       // MOV, 320x240 test pattern at 25 fps with sound, 2 s
    Damaged,   // the head of the MP4 followed by noise: not openable
    Wide,      // MP4, 1920x1080 square pixels at 25 fps, 1 s, no sound
    Long,      // MP4, 160x90 test pattern at 25 fps, 12 s, no sound: longer than the reader reads ahead
};

// The clip's path; generated on first use. Empty when ffmpeg failed (the test then fails).
QString MediaClip(ClipKind kind);

// The flat colour of the H264Aac and VideoOnly pictures, as 0xRRGGBB.
constexpr unsigned kClipColour = 0x2060C0;
