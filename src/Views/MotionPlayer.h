#pragma once

// Plays one clip into pictures for a widget to paint: a whole video file, or a clip lying inside
// another file (a motion photo's). Frames are turned into upright pictures off the window's
// thread, no larger than the widget asks, the newest frame only: a slow conversion drops frames
// rather than falling behind. Playing starts at once; loading is asynchronous, so the thread
// that made the player never waits. Destroying the player stops it, sound included.

#include <QAudioOutput>
#include <QImage>
#include <QMediaPlayer>
#include <QThreadPool>
#include <QVideoFrame>
#include <QVideoSink>

#include <memory>

class FileRangeDevice;

class MotionPlayer : public QObject
{
    Q_OBJECT
public:
    enum class Repeat : quint8 {
        once,
        always,
        ifShort, // round and round when at most shortClipMs long, once otherwise
    };
    static constexpr qint64 shortClipMs = 30'000;

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
    void setBound(QSize bound) { m_bound = bound; }
    void setMuted(bool muted) { m_audio.setMuted(muted); }
    // Stops playing and silences it at once; the player may be destroyed later.
    void stop();
    // How far playing has come, 0 to 1; 0 while the length is unknown.
    double progress() const;
    // The file could not be opened, or the clip cannot be played.
    bool hasFailed() const { return m_failed; }
    bool hasFinished() const { return m_finished; }
    const QMediaPlayer &player() const { return m_player; }
    const QAudioOutput &audio() const { return m_audio; }

Q_SIGNALS:
    void frameChanged();
    void failed();
    // Played to the end without repeating: the last frame stays.
    void finished();

private:
    void frameArrived(const QVideoFrame &frame);
    void convertNext();
    void fail();

    // Declared before the player, which is gone before them: it reads the file through the
    // device and plays into the sink and the output until then.
    std::unique_ptr<FileRangeDevice> m_file;
    QVideoSink m_sink;
    QAudioOutput m_audio;
    QMediaPlayer m_player;
    QVideoFrame m_waiting; // arrived while another was being converted
    bool m_converting = false;
    QImage m_frame;
    QSize m_bound;
    bool m_failed = false;
    bool m_finished = false;
    QThreadPool m_pool; // declared last: waits for a running conversion before anything goes
};
