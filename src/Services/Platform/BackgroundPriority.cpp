#include "BackgroundPriority.h"

#include <algorithm>
#include <utility>
#include <cerrno>
#include <sys/resource.h>
#include <unistd.h>

void BackgroundPriority::lowerCurrentThread()
{
    thread_local bool lowered = false;
    if (std::exchange(lowered, true)) {
        return;
    }
    // On Linux a thread id names one thread; the process id names the main thread, whose
    // value the window runs at.
    errno = 0;
    const int process = ::getpriority(PRIO_PROCESS, ::getpid());
    if (errno != 0) {
        return;
    }
    (void)::setpriority(PRIO_PROCESS, ::gettid(), std::min(19, process + niceness));
}
