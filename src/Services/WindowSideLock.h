#pragma once

// The window's side of a lock it shares with threads of idle priority. An idle thread that is
// preempted while it holds a lock gets a core back only when nothing else wants one: while the
// decoders keep every core busy that takes tens of milliseconds, and a window's thread waiting
// for the lock would freeze as long. So the window's thread never waits for such a lock: it
// takes it when it is free, and otherwise keeps what it meant to do and is called back to try
// again a moment later. Lives on the window's thread.

#include <QMutex>
#include <QTimer>

#include <functional>
#include <mutex>

class WindowSideLock
{
public:
    static constexpr int retryMs = 2;

    // `taken` runs each time the window's thread gets the lock (to do what waited for it);
    // `retry` is called shortly after a try found the lock held.
    WindowSideLock(QMutex &mutex, std::function<void()> taken, std::function<void()> retry)
        : m_mutex(mutex)
        , m_taken(std::move(taken))
    {
        m_retry.setSingleShot(true);
        m_retry.setInterval(retryMs);
        QObject::connect(&m_retry, &QTimer::timeout, std::move(retry));
    }

    // The lock when it is free; otherwise an empty one, and the retry is called shortly.
    std::unique_lock<QMutex> tryTake()
    {
        std::unique_lock<QMutex> lock(m_mutex, std::try_to_lock);
        if (lock.owns_lock()) {
            m_taken();
        } else if (!m_retry.isActive()) {
            m_retry.start();
        }
        return lock;
    }

private:
    QMutex &m_mutex;
    std::function<void()> m_taken;
    QTimer m_retry;
};
