#include "FolderPoller.h"

#include <algorithm>

using namespace std::chrono_literals;

std::optional<FolderPoller::Pace> FolderPoller::pace(const Volume &volume)
{
    if (volume.changesSeen) {
        return std::nullopt;
    }
    switch (volume.kind) {
    case Volume::Kind::fuse:
        // A program on this machine answers: a look costs a few calls into it.
        return Pace{2s, 5};
    case Volume::Kind::share:
        // Each look is a round trip to the server, and the share's own caches (sshfs keeps
        // listings 20 s, NFS folder attributes 30 s) hold changes back longer than this anyway.
        return Pace{4s, 5};
    case Volume::Kind::local:
    case Volume::Kind::removable:
        break;
    }
    return Pace{3s, 5};
}

FolderPoller::FolderPoller(PlatformFileSystem &fileSystem,
                           std::function<Volume(const QString &)> volumeOf)
    : m_fileSystem(fileSystem)
    , m_volumeOf(std::move(volumeOf))
{
}

void FolderPoller::setFolders(const QStringList &folders, Clock::time_point now)
{
    QHash<QString, std::optional<Folder>> kept;
    for (const QString &path : folders) {
        if (kept.contains(path)) {
            continue;
        }
        if (const auto known = m_folders.constFind(path); known != m_folders.cend()) {
            kept.insert(path, *known);
        } else if (const std::optional<Pace> pace = FolderPoller::pace(m_volumeOf(path))) {
            kept.insert(path, Folder{*pace, now});
        } else {
            kept.insert(path, std::nullopt);
        }
    }
    m_folders = std::move(kept);
}

std::optional<FolderPoller::Clock::time_point> FolderPoller::nextRound() const
{
    std::optional<Clock::time_point> next;
    if (m_paused) {
        return next;
    }
    for (const std::optional<Folder> &folder : m_folders) {
        if (folder && (!next || folder->due < *next)) {
            next = folder->due;
        }
    }
    return next;
}

QStringList FolderPoller::poll(Clock::time_point now, const std::function<bool()> &isCancelled)
{
    QStringList changed;
    if (m_paused) {
        return changed;
    }
    for (auto entry = m_folders.begin(); entry != m_folders.end(); ++entry) {
        std::optional<Folder> &folder = entry.value();
        if (!folder || folder->due > now) {
            continue;
        }
        folder->due = now + folder->pace.interval;
        if (lookAt(entry.key(), *folder, isCancelled)) {
            changed.append(entry.key());
        }
    }
    changed.sort();
    return changed;
}

bool FolderPoller::lookAt(const QString &path, Folder &folder,
                          const std::function<bool()> &isCancelled)
{
    // The folder may be reached through a link, as its watch is.
    const Result<EntryInfo> info = m_fileSystem.stat(path, true);
    const std::optional<Look> look =
        info ? std::optional(Look{info->modificationTime, info->size}) : std::nullopt;
    const bool first = !folder.seen;
    const bool looksChanged = !first && look != folder.look;
    folder.look = look;
    folder.seen = true;
    if (!first && !looksChanged && folder.roundsToListing > 0) {
        --folder.roundsToListing;
        return false;
    }

    // The entries' hashes are added, so the digest does not depend on the listing's order and
    // nothing but the sum is held, however many entries the folder has.
    std::optional<quint64> digest;
    if (look) {
        quint64 sum = 0;
        ListingWatch watch;
        watch.isCancelled = isCancelled;
        const Result<void> listed = m_fileSystem.visit(
            path,
            [&sum](const EntryInfo &entry) {
                sum += qHashMulti(0, entry.name, int(entry.type), entry.size,
                                  entry.modificationTime);
            },
            watch);
        if (!listed && listed.error().code == FileSystemError::Code::cancelled) {
            return looksChanged;
        }
        if (listed) {
            digest = sum;
        }
    }
    const bool changed = looksChanged || (!first && digest != folder.digest);
    folder.digest = digest;
    // On a volume that keeps times to the second, a second change within the second of the one
    // just seen leaves the folder's time as it was: the next round hashes the listing again.
    folder.roundsToListing = first || changed ? 0 : folder.pace.listingEvery - 1;
    return changed;
}

QStringList FolderPoller::polledFolders() const
{
    QStringList paths;
    for (auto entry = m_folders.cbegin(); entry != m_folders.cend(); ++entry) {
        if (entry.value()) {
            paths.append(entry.key());
        }
    }
    paths.sort();
    return paths;
}
