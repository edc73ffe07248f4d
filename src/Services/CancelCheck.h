#pragma once

// Cooperative cancellation: long operations call this at their check points and stop with
// FileSystemError::cancelled() when it answers true.

#include <functional>

using CancelCheck = std::function<bool()>;

inline bool neverCancelled()
{
    return false;
}
