#pragma once

// Work the window never waits for (decoding thumbnails and previews) runs below the window's
// scheduling priority, so every core can decode while the interface still gets the CPU at once.

namespace BackgroundPriority {

// How much nicer than the process a background thread is.
inline constexpr int niceness = 10;

// Lowers the calling thread (only it, not the process) once; later calls do nothing. Best
// effort: a system that refuses leaves the thread as it was.
void lowerCurrentThread();

// Puts the calling thread after everyone else, for work nobody waits for (dimension reads, the
// similarity pass): its CPU time at idle priority and its disk reads in the idle I/O class.
void idleCurrentThread();

} // namespace BackgroundPriority
