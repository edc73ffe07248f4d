#pragma once

// Plays one clip into pictures for a widget to paint: a whole video file, or a clip lying inside
// another file (a motion photo's), through the clip player module (PlayerModule.h). Frames come
// upright, no larger than the widget asks, the newest frame only. Playing starts at once;
// loading is asynchronous, so the thread that made the player never waits. Destroying the
// player stops it, sound included.

#include "PlayerModule.h"

#include <QImage>
#include <QObject>

class MotionPlayer : public QObject
{
    Q_OBJECT
public:
    using Repeat = PlayerModule::Repeat;
    static constexpr qint64 shortClipMs = PlayerModule::shortClipMs;

    // Plays bytes [offset, offset + length) of the file at `path`; FileRangeDevice::toTheEnd
    // plays from `offset` to the file's end.
    MotionPlayer(const QString &path,
                 qint64 offset,
                 qint64 length,
                 Repeat repeat,
                 bool muted,
                 QObject *parent = nullptr);
    ~MotionPlayer() override;

    // The newest frame, upright; null until the first arrives.
    const QImage &frame() const { return m_frame; }
    // Frames larger than this (in device pixels) are shrunk to fit it.
    void setBound(QSize bound);
    void setMuted(bool muted);
    bool isMuted() const;
    // Stops playing and silences it at once; the player may be destroyed later.
    void stop();
    // How far playing has come, 0 to 1; 0 while the length is unknown.
    double progress() const;
    // The file could not be opened, the clip cannot be played, or no module plays clips.
    bool hasFailed() const;
    bool hasFinished() const { return m_finished; }
    bool isPlaying() const;
    bool isStopped() const;

Q_SIGNALS:
    void frameChanged();
    void positionChanged(qint64 ms);
    void failed();
    // Played to the end without repeating: the last frame stays.
    void finished();

private:
    const PlayerModule::Api *const m_api;
    PlayerModule::Playback *m_playback = nullptr;
    QImage m_frame;
    bool m_finished = false;
};
