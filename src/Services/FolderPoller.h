#pragma once

// Looks at folders that inotify cannot fully watch (shares, FUSE mirrors changed behind the
// program's back) and tells which changed since it last looked. Each round reads the folder's
// own time and size; now and then, and whenever that may not be enough, it also hashes the
// listing (names, types, sizes and times) one entry at a time. No timer of its own: the owner
// asks when the next round is due and runs it, so tests drive it with a clock of their own.

#include "Platform/PlatformFileSystem.h"
#include "Platform/Volume.h"

#include <QHash>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>

class FolderPoller
{
public:
    using Clock = std::chrono::steady_clock;

    // How often a folder is looked at, and every how many looks its listing is hashed.
    struct Pace
    {
        std::chrono::milliseconds interval;
        int listingEvery;

        friend bool operator==(const Pace &, const Pace &) = default;
    };
    // The pace for a folder on `volume`; nothing where inotify sees every change.
    static std::optional<Pace> pace(const Volume &volume);

    // `volumeOf` tells the volume of a folder when it is first given.
    FolderPoller(PlatformFileSystem &fileSystem, std::function<Volume(const QString &)> volumeOf);

    // Replaces the folders. Those that stay keep what was seen of them; new ones are looked at
    // on the next round, which only notes what they hold.
    void setFolders(const QStringList &folders, Clock::time_point now);
    // While paused no round is due; the rounds missed meanwhile are due at once on resuming.
    void setPaused(bool paused) { m_paused = paused; }
    bool isPaused() const { return m_paused; }

    // When the next round is due; nothing while paused or when no folder is polled.
    std::optional<Clock::time_point> nextRound() const;
    // Looks at every folder due by `now` and returns those that changed since the last look.
    // A listing stops early once `isCancelled` answers true; its folder is then left as it was.
    QStringList poll(Clock::time_point now, const std::function<bool()> &isCancelled = {});
    // The folders given whose volume needs polling, sorted.
    QStringList polledFolders() const;

private:
    // What a round reads of the folder itself: its time and size change when entries come or go.
    struct Look
    {
        FileTime modified;
        qint64 size = 0;

        friend bool operator==(const Look &, const Look &) = default;
    };
    struct Folder
    {
        Pace pace;
        Clock::time_point due;
        bool seen = false; // looked at once: `look` and `digest` hold what was found
        std::optional<Look> look = {};      // nothing: the folder could not be read
        std::optional<quint64> digest = {}; // of the listing; nothing: it could not be listed
        int roundsToListing = 0;            // rounds left before the listing is hashed again
    };

    bool lookAt(const QString &path, Folder &folder, const std::function<bool()> &isCancelled);

    PlatformFileSystem &m_fileSystem;
    const std::function<Volume(const QString &)> m_volumeOf;
    QHash<QString, std::optional<Folder>> m_folders; // nothing: on a volume that needs no polling
    bool m_paused = false;
};
