#include "BackgroundPriority.h"

#include <QThread>

#include <algorithm>
#include <cerrno>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>

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

void BackgroundPriority::idleCurrentThread()
{
    QThread::currentThread()->setPriority(QThread::IdlePriority);
#ifdef SYS_ioprio_set
    constexpr int whoThread = 1; // IOPRIO_WHO_PROCESS: with a thread id, that thread
    constexpr int classIdle = 3; // IOPRIO_CLASS_IDLE
    constexpr int classShift = 13;
    ::syscall(SYS_ioprio_set, whoThread, 0, classIdle << classShift);
#endif
}
