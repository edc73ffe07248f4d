#pragma once

// Plays a background thread that was preempted while it held a lock: holds `mutex` from
// construction until let go. It lets go by itself after `limitMs`, so that a test whose
// window's thread waits for the lock fails instead of hanging.

#include <QMutex>
#include <QSemaphore>

#include <mutex>
#include <thread>

class LockHolder
{
public:
    explicit LockHolder(QMutex &mutex, int limitMs = 10'000)
        : m_thread([this, &mutex, limitMs] {
            const std::lock_guard<QMutex> held(mutex);
            m_holding.release();
            m_gaveUp = !m_letGo.tryAcquire(1, limitMs);
        })
    {
        m_holding.acquire();
    }
    ~LockHolder() { letGo(); }

    // Lets go of the lock; false when it had let go by itself already: something waited for it.
    bool letGo()
    {
        if (m_thread.joinable()) {
            m_letGo.release();
            m_thread.join();
        }
        return !m_gaveUp;
    }

private:
    QSemaphore m_holding;
    QSemaphore m_letGo;
    bool m_gaveUp = false;
    std::thread m_thread;
};
