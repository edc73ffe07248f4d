#pragma once

// Watches a set of folders, one level each, and calls back once per burst of changes, half a
// second after the burst's last event, with the folders that changed. All watch state lives on the monitor's own thread, where
// the callback also runs; once the destructor has returned the callback never runs again.
// On volumes where inotify misses changes (shares, FUSE mirrors) the folders are also polled
// (FolderPoller), while polling is on; a change found so is told without names.

#include "FolderPoller.h"
#include "Platform/LinuxFileSystem.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QSet>
#include <QStringList>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <thread>

class DirectoryMonitor
{
public:
    static constexpr std::chrono::milliseconds debounceInterval{500};

    // What happened to one entry of a folder.
    enum class EntryEvent : quint8 {
        came,     // created, or moved in
        went,     // deleted, or moved out
        attribute, // its attributes or link count changed
        written,  // a file open for writing was closed
    };
    struct NamedEvent
    {
        QString name;
        EntryEvent event;

        friend bool operator==(const NamedEvent &, const NamedEvent &) = default;
    };
    // What a folder's events of one burst said, in the order they came.
    struct FolderEvents
    {
        QList<NamedEvent> named;
        // Something not told by name: the folder itself went or moved, or more happened than
        // is kept (maxNamedEvents).
        bool unnamed = false;
    };
    static constexpr qsizetype maxNamedEvents = 4096; // per folder and burst

    // What a burst changed: the watched folders (as given to watch(), cleaned) in which
    // entries came, went or changed, with what their events said; or every folder when the
    // kernel's queue overflowed and events were lost.
    struct Change
    {
        QStringList folders;
        bool everything = false;
        QHash<QString, FolderEvents> events = {}; // by folder
    };

    // `onChange` runs on the monitor's thread, never on the caller's.
    explicit DirectoryMonitor(std::function<void(const Change &)> onChange);
    // Stops and joins the monitor thread; a running callback finishes first, a pending one is
    // dropped. Must not be called from inside the callback.
    ~DirectoryMonitor();

    DirectoryMonitor(const DirectoryMonitor &) = delete;
    DirectoryMonitor &operator=(const DirectoryMonitor &) = delete;

    // Replaces the watched set. Folders that stay in it keep their watch and a pending callback
    // survives; a set with no folder in common drops it. Folders that are missing, not folders
    // or not local are skipped. Returns at once; the work happens on the monitor thread.
    void watch(const QList<QUrl> &folders);
    // Watches nothing and drops a pending callback. Returns at once.
    void stop();
    // Whether the folders that need it are polled: off while nobody looks at them (the window is
    // hidden or minimized); on again, they are looked at at once. On at first. Returns at once.
    void setPolling(bool active);
    bool isPolling() const { return m_pollingWanted; }

    // What the monitor thread has applied so far, for tests: the sorted cleaned paths that hold
    // a live watch, and whether a callback is scheduled.
    QStringList watchedFolders() const;
    bool hasPendingChange() const { return m_changePending; }
    // Of the watched folders, those on volumes whose changes are also polled for, and how
    // many rounds of polling have run.
    QStringList polledFolders() const;
    int pollRounds() const { return m_pollRounds; }

private:
    using Clock = std::chrono::steady_clock;

    void run();
    void post(std::optional<QList<QUrl>> folders, bool quit);
    void apply(const QList<QUrl> &folders);
    void readEvents();
    void publishWatches();
    void pollFolders();
    void setDeadline(std::optional<Clock::time_point> deadline);

    const std::function<void(const Change &)> m_onChange;
    int m_inotifyFd = -1;
    int m_wakeFd = -1;

    // Requests from any thread. Each one replaces the whole set, so only the latest matters.
    mutable QMutex m_mutex;
    std::optional<QList<QUrl>> m_request;
    std::optional<bool> m_pollingRequest;
    bool m_quit = false;
    QStringList m_published;
    QStringList m_publishedPolled;
    std::atomic<bool> m_changePending = false;
    std::atomic<bool> m_pollingWanted = true;
    std::atomic<int> m_pollRounds = 0;

    // Monitor thread only.
    std::map<int, QString> m_watches; // inotify watch descriptor -> folder path
    std::optional<Clock::time_point> m_deadline;
    QHash<QString, FolderEvents> m_changedFolders; // since the last callback
    bool m_overflowed = false;
    LinuxFileSystem m_fileSystem;
    FolderPoller m_poller;

    std::thread m_thread; // last member: starts once everything above exists
};
