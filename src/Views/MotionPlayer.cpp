#include "MotionPlayer.h"

#include "Services/FileRangeDevice.h"

#include <QtConcurrentRun>

MotionPlayer::MotionPlayer(
    const QString &path, qint64 offset, qint64 length, Repeat repeat, bool muted, QObject *parent)
    : QObject(parent)
    , m_file(std::make_unique<FileRangeDevice>(path, offset, length))
{
    m_pool.setMaxThreadCount(1);
    m_audio.setMuted(muted);
    m_player.setAudioOutput(&m_audio);
    m_player.setVideoSink(&m_sink);
    m_player.setLoops(repeat == Repeat::always ? QMediaPlayer::Infinite : QMediaPlayer::Once);
    connect(&m_sink, &QVideoSink::videoFrameChanged, this, &MotionPlayer::frameArrived);
    connect(&m_player, &QMediaPlayer::errorOccurred, this, &MotionPlayer::fail);
    connect(&m_player, &QMediaPlayer::mediaStatusChanged, this,
            [this](QMediaPlayer::MediaStatus status) {
                if (status == QMediaPlayer::InvalidMedia) {
                    fail();
                } else if (status == QMediaPlayer::EndOfMedia && !m_finished) {
                    m_finished = true;
                    Q_EMIT finished();
                }
            });
    connect(&m_player, &QMediaPlayer::positionChanged, this, &MotionPlayer::frameChanged);
    if (repeat == Repeat::ifShort) {
        connect(&m_player, &QMediaPlayer::durationChanged, this, [this](qint64 duration) {
            const bool isShort = duration > 0 && duration <= shortClipMs;
            m_player.setLoops(isShort ? QMediaPlayer::Infinite : QMediaPlayer::Once);
        });
    }
    // Opening does not wait: a FIFO or a link in the clip's place is refused at once.
    if (!m_file->open(QIODevice::ReadOnly)) {
        m_failed = true;
        return;
    }
    if (offset == 0 && length == FileRangeDevice::toTheEnd) {
        // A whole file is read by the player's own reader, on its own threads; the device's
        // reads would run on this thread. The name is the opened file itself.
        m_player.setSource(QUrl::fromLocalFile(m_file->procPath()));
    } else {
        // The name only hints at the kind of file; the bytes come from the device.
        m_player.setSourceDevice(m_file.get(), QUrl::fromLocalFile(path));
    }
    m_player.play();
}

MotionPlayer::~MotionPlayer()
{
    m_player.stop();
}

void MotionPlayer::stop()
{
    m_audio.setMuted(true);
    m_player.stop();
}

double MotionPlayer::progress() const
{
    const qint64 duration = m_player.duration();
    if (m_finished) {
        return 1; // stopping puts the position back to the start
    }
    if (duration <= 0) {
        return 0;
    }
    return std::clamp(double(m_player.position()) / double(duration), 0.0, 1.0);
}

void MotionPlayer::fail()
{
    if (m_failed) {
        return;
    }
    m_failed = true;
    m_player.stop();
    Q_EMIT failed();
}

void MotionPlayer::frameArrived(const QVideoFrame &frame)
{
    if (!frame.isValid() || m_failed || m_finished) {
        return; // a finished clip keeps its last frame, not the first that stopping shows
    }
    m_waiting = frame;
    if (!m_converting) {
        convertNext();
    }
}

void MotionPlayer::convertNext()
{
    m_converting = true;
    QtConcurrent::run(&m_pool, [frame = std::exchange(m_waiting, QVideoFrame()), bound = m_bound] {
        // Turned upright by the frame's own rotation (a phone's portrait clip
        // is stored lying down).
        QImage picture = frame.toImage();
        if (!picture.isNull() && bound.isValid() &&
            (picture.width() > bound.width() || picture.height() > bound.height())) {
            picture = picture.scaled(bound, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        }
        return picture;
    }).then(this, [this](QImage picture) {
        m_converting = false;
        if (!picture.isNull() && !m_failed) {
            m_frame = std::move(picture);
            Q_EMIT frameChanged();
        }
        if (m_waiting.isValid()) {
            convertNext();
        }
    });
}
