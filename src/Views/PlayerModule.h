#pragma once

// The boundary between the program and its clip player module. Qt Multimedia and the sound
// server's libraries it links cost every start of the program their loading, tens of
// milliseconds from a cold disk: they are loaded from a module of our own (ClipPlayback.cpp)
// when the preview first opens, on another thread, or with the first clip played.

#include <QImage>
#include <QSize>
#include <QString>

#include <functional>

namespace PlayerModule {

// One clip playing, inside the module.
struct Playback;

enum class Repeat : quint8 {
    once,
    always,
    ifShort, // round and round when at most shortClipMs long, once otherwise
};
inline constexpr qint64 shortClipMs = 30'000;

// What a playback tells, on the thread that started it, from its event loop.
struct Events
{
    std::function<void(const QImage &frame)> frame; // the newest frame, upright
    std::function<void()> failed;                   // the clip cannot be played
    std::function<void()> finished;                 // played to the end without repeating
    std::function<void(qint64 ms)> position;        // how far playing has come
};

struct Api
{
    int version;
    // Plays bytes [offset, offset + length) of the file at `path` (FileRangeDevice::toTheEnd:
    // to its end), starting at once; a file that cannot be opened has failed on return.
    Playback *(*play)(const QString &path,
                      qint64 offset,
                      qint64 length,
                      Repeat repeat,
                      bool muted,
                      Events events);
    // Stops it, sound included, and frees it.
    void (*destroy)(Playback *playback);
    // Frames larger than this (in device pixels) are shrunk to fit it.
    void (*setBound)(Playback *playback, QSize bound);
    void (*setMuted)(Playback *playback, bool muted);
    bool (*isMuted)(const Playback *playback);
    // Stops playing and silences it at once.
    void (*stop)(Playback *playback);
    // How far playing has come, 0 to 1; 0 while the length is unknown, 1 once finished.
    double (*progress)(const Playback *playback);
    bool (*hasFailed)(const Playback *playback);
    bool (*isPlaying)(const Playback *playback);
    bool (*isStopped)(const Playback *playback);
};

// Raised whenever Api changes: a module left over from another build is not used.
inline constexpr int apiVersion = 1;

// The module's functions, from its one entry point `calvenor_player_module`, loaded on the
// first call; null when the module is missing or of another build (a warning says so once),
// and clips then fail to play.
const Api *api();
// Loads the module on another thread, so that the first clip does not wait for it.
void preload();

} // namespace PlayerModule
