#pragma once

// The boundary between the program and its video module. FFmpeg, and the hundred libraries it
// links (codecs, encoders, network and crypto libraries), cost a start of the program about a
// tenth of a second warm and more when the disk is cold, and 20 MB: they are loaded from a
// module of our own (FfmpegVideo.cpp) on the first video read, on the thread that reads it,
// never at start.

#include <QImage>
#include <QSize>
#include <QString>

namespace VideoModule {

// One opened video, inside the module.
struct Stream;

// What the container's header says, as FFmpeg reads it.
struct StreamFacts
{
    QSize codedSize;          // the stream's width and height
    QSize displaySize;        // the frame as shown before any turn: square pixels
    int clockwiseDegrees = 0; // 0, 90, 180 or 270
    qint64 durationMs = 0;
    QString codec;             // "H.264", "HEVC"
    double frameRate = 0;      // 0 when the header does not say
    QString phoneCreationDate; // com.apple.quicktime.creationdate: local time and offset
    QString creationTime;      // the container's own, in UTC
};

struct Api
{
    int version;
    // The video lying in the descriptor's bytes from `start` on, `length` of them; null when
    // it is no video we read (a whitelisted container with a video stream of a sane size). No
    // open, read or decode goes on past the time limit.
    Stream *(*open)(int descriptor, qint64 start, qint64 length, int timeLimitMs);
    void (*close)(Stream *stream);
    StreamFacts (*facts)(const Stream *stream);
    // Gives the decode that follows a time limit of its own.
    void (*restartClock)(Stream *stream, int timeLimitMs);
    // Decodes from the first key frame on until a picture comes out; the picture's size, empty
    // when none did.
    QSize (*decodeFirstPicture)(Stream *stream);
    // That picture scaled to `target` (its display shape, before the turn), as 32-bit RGB.
    QImage (*scaledPicture)(const Stream *stream, QSize target);
};

// Raised whenever Api changes: a module left over from another build is not used.
inline constexpr int apiVersion = 1;

// The module's functions, from its one entry point `calvenor_video_module`, loaded on the
// first call; null when the module is missing or of another build (a warning says so once),
// and videos then read as unreadable files.
const Api *api();

} // namespace VideoModule
