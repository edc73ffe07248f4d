#include "DirectoryMonitor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QtDebug>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

// Changes of the folder's own entries and of the folder itself. Events inside subfolders are
// not reported by the kernel, which is what keeps the watch one level deep.
constexpr uint32_t watchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB |
                               IN_DELETE_SELF | IN_MOVE_SELF | IN_CLOSE_WRITE | IN_ONLYDIR;

std::optional<DirectoryMonitor::EntryEvent> entryEvent(uint32_t mask)
{
    using Event = DirectoryMonitor::EntryEvent;
    if (mask & (IN_CREATE | IN_MOVED_TO)) {
        return Event::came;
    }
    if (mask & (IN_DELETE | IN_MOVED_FROM)) {
        return Event::went;
    }
    if (mask & IN_ATTRIB) {
        return Event::attribute;
    }
    if (mask & IN_CLOSE_WRITE) {
        return Event::written;
    }
    return std::nullopt;
}

QStringList cleanedPaths(const QList<QUrl> &folders)
{
    QStringList paths;
    for (const QUrl &url : folders) {
        if (url.isLocalFile()) {
            paths.append(QDir::cleanPath(QFileInfo(url.toLocalFile()).absoluteFilePath()));
        }
    }
    paths.sort();
    paths.removeDuplicates();
    return paths;
}

// The volume of a folder reached through links is the one the links lead to.
Volume volumeOf(const QString &folder)
{
    const QString target = QFileInfo(folder).canonicalFilePath();
    return Volume::of(target.isEmpty() ? folder : target);
}

} // namespace

DirectoryMonitor::DirectoryMonitor(std::function<void(const Change &)> onChange)
    : m_onChange(std::move(onChange))
    , m_inotifyFd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    , m_wakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
    , m_poller(m_fileSystem, volumeOf)
{
    // Without either descriptor the monitor stays inert: it never fails, it just never reports.
    if (m_inotifyFd < 0 || m_wakeFd < 0) {
        qWarning("DirectoryMonitor: cannot watch folders: %s", std::strerror(errno));
        return;
    }
    m_thread = std::thread([this] { run(); });
}

DirectoryMonitor::~DirectoryMonitor()
{
    if (m_thread.joinable()) {
        Q_ASSERT(m_thread.get_id() != std::this_thread::get_id());
        post(std::nullopt, true);
        m_thread.join();
    }
    for (int fd : {m_inotifyFd, m_wakeFd}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void DirectoryMonitor::watch(const QList<QUrl> &folders)
{
    post(folders, false);
}

void DirectoryMonitor::stop()
{
    post(QList<QUrl>(), false);
}

void DirectoryMonitor::setPolling(bool active)
{
    m_pollingWanted = active;
    if (!m_thread.joinable()) {
        return;
    }
    {
        const QMutexLocker locker(&m_mutex);
        m_pollingRequest = active;
    }
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
}

QStringList DirectoryMonitor::watchedFolders() const
{
    const QMutexLocker locker(&m_mutex);
    return m_published;
}

QStringList DirectoryMonitor::polledFolders() const
{
    const QMutexLocker locker(&m_mutex);
    return m_publishedPolled;
}

void DirectoryMonitor::post(std::optional<QList<QUrl>> folders, bool quit)
{
    if (!m_thread.joinable()) {
        return;
    }
    {
        const QMutexLocker locker(&m_mutex);
        if (folders) {
            m_request = std::move(folders);
        }
        m_quit = m_quit || quit;
    }
    const uint64_t one = 1;
    // Only fails when the counter is saturated, and then a wake-up is pending anyway.
    [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
}

void DirectoryMonitor::run()
{
    for (;;) {
        std::optional<Clock::time_point> wakeAt = m_poller.nextRound();
        if (m_deadline && (!wakeAt || *m_deadline < *wakeAt)) {
            wakeAt = m_deadline;
        }
        int timeout = -1;
        if (wakeAt) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*wakeAt - Clock::now());
            timeout = int(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
        }
        pollfd fds[] = {{m_inotifyFd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        if (::poll(fds, 2, timeout) < 0) {
            if (errno == EINTR) {
                continue;
            }
            qWarning("DirectoryMonitor: poll failed: %s", std::strerror(errno));
            return;
        }
        // Events first: whatever they scheduled belongs to the old set and a request that came
        // in alongside them must be able to drop it.
        if (fds[0].revents & POLLIN) {
            readEvents();
        }
        if (fds[1].revents & POLLIN) {
            uint64_t count = 0;
            [[maybe_unused]] const ssize_t drained = ::read(m_wakeFd, &count, sizeof count);
            std::optional<QList<QUrl>> request;
            std::optional<bool> polling;
            {
                const QMutexLocker locker(&m_mutex);
                if (m_quit) {
                    return;
                }
                request.swap(m_request);
                polling.swap(m_pollingRequest);
            }
            if (polling) {
                m_poller.setPaused(!*polling);
            }
            if (request) {
                apply(*request);
            }
        }
        if (const std::optional<Clock::time_point> round = m_poller.nextRound();
            round && Clock::now() >= *round) {
            pollFolders();
        }
        if (m_deadline && Clock::now() >= *m_deadline) {
            Change change{m_changedFolders.keys(), m_overflowed, m_changedFolders};
            change.folders.sort();
            setDeadline(std::nullopt);
            m_onChange(change);
        }
    }
}

void DirectoryMonitor::apply(const QList<QUrl> &folders)
{
    const QStringList paths = cleanedPaths(folders);
    // The owner re-watches its folders after every reload. Folders that stay keep their watch,
    // so a change made between its rescan and this call still reports, and so does a pending
    // callback. A set with nothing in common is another collection: its pending callback goes.
    bool overlaps = false;
    for (auto watch = m_watches.begin(); watch != m_watches.end();) {
        if (paths.contains(watch->second)) {
            overlaps = true;
            ++watch;
        } else {
            inotify_rm_watch(m_inotifyFd, watch->first);
            watch = m_watches.erase(watch);
        }
    }
    if (!overlaps) {
        setDeadline(std::nullopt);
    }
    for (const QString &path : paths) {
        const int descriptor =
            inotify_add_watch(m_inotifyFd, QFile::encodeName(path).constData(), watchMask);
        // Two paths naming the same folder (through a link) share one descriptor, and a folder
        // that stays in the set gets its existing descriptor back.
        if (descriptor >= 0) {
            m_watches.try_emplace(descriptor, path);
        }
    }
    publishWatches();
}

void DirectoryMonitor::readEvents()
{
    alignas(inotify_event) char buffer[16 * 1024];
    bool changed = false;
    bool watchesEnded = false;
    for (;;) {
        const ssize_t length = ::read(m_inotifyFd, buffer, sizeof buffer);
        if (length <= 0) {
            break;
        }
        for (ssize_t offset = 0; offset < length;) {
            inotify_event event;
            std::memcpy(&event, buffer + offset, sizeof event);
            offset += ssize_t(sizeof event) + event.len;
            if (event.mask & IN_Q_OVERFLOW) {
                // Lost events may have been anyone's; only an empty set cannot have changed.
                m_overflowed = m_overflowed || !m_watches.empty();
                changed = changed || !m_watches.empty();
                continue;
            }
            // Events of descriptors already removed were queued for a previous set.
            const auto watch = m_watches.find(event.wd);
            if (watch == m_watches.end()) {
                continue;
            }
            if (event.mask & IN_IGNORED) {
                // The folder is gone (its delete event came just before) or its volume unmounted.
                m_watches.erase(watch);
                watchesEnded = true;
                continue;
            }
            FolderEvents &events = m_changedFolders[watch->second];
            const std::optional<EntryEvent> named =
                event.len > 0 ? entryEvent(event.mask) : std::nullopt;
            if (!named || events.unnamed || events.named.size() >= maxNamedEvents) {
                events.unnamed = true;
                events.named.clear(); // the folder is listed anyway: its names are of no use
            } else {
                // The name is padded with zero bytes to an aligned length.
                const char *name = buffer + offset - event.len;
                events.named.append({QFile::decodeName(QByteArray(name, qstrnlen(name, event.len))),
                                     *named});
            }
            changed = true;
        }
    }
    if (watchesEnded) {
        publishWatches();
    }
    if (changed) {
        setDeadline(Clock::now() + debounceInterval);
    }
}

void DirectoryMonitor::publishWatches()
{
    QStringList paths;
    for (const auto &[descriptor, path] : m_watches) {
        paths.append(path);
    }
    paths.sort();
    // Polled are the folders with a live watch: one that is gone was reported by its watch.
    m_poller.setFolders(paths, Clock::now());
    const QStringList polled = m_poller.polledFolders();
    const QMutexLocker locker(&m_mutex);
    m_published = paths;
    m_publishedPolled = polled;
}

void DirectoryMonitor::pollFolders()
{
    // A long listing on a slow share gives way to the destructor.
    const QStringList changed = m_poller.poll(Clock::now(), [this] {
        const QMutexLocker locker(&m_mutex);
        return m_quit;
    });
    ++m_pollRounds;
    for (const QString &path : changed) {
        // What changed is not known by name: the folder is listed again.
        FolderEvents &events = m_changedFolders[path];
        events.unnamed = true;
        events.named.clear();
    }
    if (!changed.isEmpty()) {
        setDeadline(Clock::now() + debounceInterval);
    }
}

void DirectoryMonitor::setDeadline(std::optional<Clock::time_point> deadline)
{
    if (!deadline) {
        m_changedFolders.clear();
        m_overflowed = false;
    }
    m_deadline = deadline;
    m_changePending = deadline.has_value();
}
