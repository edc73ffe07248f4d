#pragma once

// Lets go of a large value on a pool thread rather than the caller's: the last copy of a
// 100,000-photo collection took the window's thread 40–75 ms to free. Only for values every
// member of which may be destroyed on any thread (Qt's implicitly shared values may).

#include <QThreadPool>

#include <memory>

template<typename T>
void releaseInBackground(QThreadPool &pool, T &&value)
{
    // Shared, because the pool's task is copied; freed where the task runs.
    auto held = std::make_shared<std::decay_t<T>>(std::forward<T>(value));
    pool.start([held = std::move(held)]() mutable { held.reset(); });
}
