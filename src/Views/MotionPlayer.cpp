#include "MotionPlayer.h"

MotionPlayer::MotionPlayer(
    const QString &path, qint64 offset, qint64 length, Repeat repeat, bool muted, QObject *parent)
    : QObject(parent)
    , m_api(PlayerModule::api())
{
    if (!m_api) {
        return;
    }
    // Called only while the playback lives, which this owns.
    PlayerModule::Events events{[this](const QImage &frame) {
                                    m_frame = frame;
                                    Q_EMIT frameChanged();
                                },
                                [this] { Q_EMIT failed(); },
                                [this] {
                                    m_finished = true;
                                    Q_EMIT finished();
                                },
                                [this](qint64 ms) {
                                    Q_EMIT positionChanged(ms);
                                    Q_EMIT frameChanged(); // the progress bar moves on
                                }};
    m_playback = m_api->play(path, offset, length, repeat, muted, std::move(events));
}

MotionPlayer::~MotionPlayer()
{
    if (m_playback) {
        m_api->destroy(m_playback);
    }
}

void MotionPlayer::setBound(QSize bound)
{
    if (m_playback) {
        m_api->setBound(m_playback, bound);
    }
}

void MotionPlayer::setMuted(bool muted)
{
    if (m_playback) {
        m_api->setMuted(m_playback, muted);
    }
}

bool MotionPlayer::isMuted() const
{
    return !m_playback || m_api->isMuted(m_playback);
}

void MotionPlayer::stop()
{
    if (m_playback) {
        m_api->stop(m_playback);
    }
}

double MotionPlayer::progress() const
{
    return m_playback ? m_api->progress(m_playback) : 0;
}

bool MotionPlayer::hasFailed() const
{
    return !m_playback || m_api->hasFailed(m_playback);
}

bool MotionPlayer::isPlaying() const
{
    return m_playback && m_api->isPlaying(m_playback);
}

bool MotionPlayer::isStopped() const
{
    return !m_playback || m_api->isStopped(m_playback);
}
