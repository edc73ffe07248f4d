// The clip player module (see PlayerModule.h): Qt Multimedia plays one clip into pictures. A
// whole video file is read by the player's own reader; a clip lying inside another file (a
// motion photo's) through a device over its bytes. Frames are turned into upright pictures off
// the window's thread, no larger than asked, the newest frame only: a slow conversion drops
// frames rather than falling behind. Loading is asynchronous, so the thread that started the
// clip never waits.

#include "PlayerModule.h"
#include "Services/FileRangeDevice.h"

#include <QAudioOutput>
#include <QMediaPlayer>
#include <QThreadPool>
#include <QUrl>
#include <QVideoFrame>
#include <QVideoSink>
#include <QtConcurrentRun>

#include <algorithm>
#include <memory>
#include <utility>

struct PlayerModule::Playback : QObject
{
    Playback(
        const QString &path, qint64 offset, qint64 length, Repeat repeat, bool muted, Events given);
    ~Playback() override { player.stop(); }

    void frameArrived(const QVideoFrame &frame);
    void convertNext();
    void fail();

    Events events;
    // Declared before the player, which is gone before them: it reads the file through the
    // device and plays into the sink and the output until then.
    std::unique_ptr<FileRangeDevice> file;
    QVideoSink sink;
    QAudioOutput audio;
    QMediaPlayer player;
    QVideoFrame waiting; // arrived while another was being converted
    bool converting = false;
    QSize bound;
    bool failed = false;
    bool finished = false;
    QThreadPool pool; // declared last: waits for a running conversion before anything goes
};

PlayerModule::Playback::Playback(
    const QString &path, qint64 offset, qint64 length, Repeat repeat, bool muted, Events given)
    : events(std::move(given))
    , file(std::make_unique<FileRangeDevice>(path, offset, length))
{
    pool.setMaxThreadCount(1);
    audio.setMuted(muted);
    player.setAudioOutput(&audio);
    player.setVideoSink(&sink);
    player.setLoops(repeat == Repeat::always ? QMediaPlayer::Infinite : QMediaPlayer::Once);
    connect(&sink, &QVideoSink::videoFrameChanged, this, &Playback::frameArrived);
    connect(&player, &QMediaPlayer::errorOccurred, this, &Playback::fail);
    connect(&player, &QMediaPlayer::mediaStatusChanged, this,
            [this](QMediaPlayer::MediaStatus status) {
                if (status == QMediaPlayer::InvalidMedia) {
                    fail();
                } else if (status == QMediaPlayer::EndOfMedia && !finished) {
                    finished = true;
                    events.finished();
                }
            });
    connect(&player, &QMediaPlayer::positionChanged, this,
            [this](qint64 ms) { events.position(ms); });
    if (repeat == Repeat::ifShort) {
        connect(&player, &QMediaPlayer::durationChanged, this, [this](qint64 duration) {
            const bool isShort = duration > 0 && duration <= shortClipMs;
            player.setLoops(isShort ? QMediaPlayer::Infinite : QMediaPlayer::Once);
        });
    }
    // Opening does not wait: a FIFO or a link in the clip's place is refused at once.
    if (!file->open(QIODevice::ReadOnly)) {
        failed = true;
        return;
    }
    if (offset == 0 && length == FileRangeDevice::toTheEnd) {
        // A whole file is read by the player's own reader, on its own threads; the device's
        // reads would run on this thread. The name is the opened file itself.
        player.setSource(QUrl::fromLocalFile(file->procPath()));
    } else {
        // The name only hints at the kind of file; the bytes come from the device.
        player.setSourceDevice(file.get(), QUrl::fromLocalFile(path));
    }
    player.play();
}

void PlayerModule::Playback::fail()
{
    if (failed) {
        return;
    }
    failed = true;
    player.stop();
    events.failed();
}

void PlayerModule::Playback::frameArrived(const QVideoFrame &frame)
{
    if (!frame.isValid() || failed || finished) {
        return; // a finished clip keeps its last frame, not the first that stopping shows
    }
    waiting = frame;
    if (!converting) {
        convertNext();
    }
}

void PlayerModule::Playback::convertNext()
{
    converting = true;
    QtConcurrent::run(&pool, [frame = std::exchange(waiting, QVideoFrame()), bound = bound] {
        // Turned upright by the frame's own rotation (a phone's portrait clip
        // is stored lying down).
        QImage picture = frame.toImage();
        if (!picture.isNull() && bound.isValid() &&
            (picture.width() > bound.width() || picture.height() > bound.height())) {
            picture = picture.scaled(bound, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        }
        return picture;
    }).then(this, [this](const QImage &picture) {
        converting = false;
        if (!picture.isNull() && !failed) {
            events.frame(picture);
        }
        if (waiting.isValid()) {
            convertNext();
        }
    });
}

namespace {

using PlayerModule::Playback;

Playback *play(const QString &path,
               qint64 offset,
               qint64 length,
               PlayerModule::Repeat repeat,
               bool muted,
               PlayerModule::Events events)
{
    return new Playback(path, offset, length, repeat, muted, std::move(events));
}

void destroy(Playback *playback)
{
    delete playback;
}

void setBound(Playback *playback, QSize bound)
{
    playback->bound = bound;
}

void setMuted(Playback *playback, bool muted)
{
    playback->audio.setMuted(muted);
}

bool isMuted(const Playback *playback)
{
    return playback->audio.isMuted();
}

void stop(Playback *playback)
{
    playback->audio.setMuted(true);
    playback->player.stop();
}

double progress(const Playback *playback)
{
    if (playback->finished) {
        return 1; // stopping puts the position back to the start
    }
    const qint64 duration = playback->player.duration();
    if (duration <= 0) {
        return 0;
    }
    return std::clamp(double(playback->player.position()) / double(duration), 0.0, 1.0);
}

bool hasFailed(const Playback *playback)
{
    return playback->failed;
}

bool isPlaying(const Playback *playback)
{
    return playback->player.playbackState() == QMediaPlayer::PlayingState;
}

bool isStopped(const Playback *playback)
{
    return playback->player.playbackState() == QMediaPlayer::StoppedState;
}

} // namespace

extern "C" Q_DECL_EXPORT const PlayerModule::Api *calvenor_player_module()
{
    static const PlayerModule::Api api{PlayerModule::apiVersion,
                                       play,
                                       destroy,
                                       setBound,
                                       setMuted,
                                       isMuted,
                                       stop,
                                       progress,
                                       hasFailed,
                                       isPlaying,
                                       isStopped};
    return &api;
}
