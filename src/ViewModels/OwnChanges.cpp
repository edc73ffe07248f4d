#include "OwnChanges.h"

#include "Models/FilePaths.h"
#include "Models/Photo.h"

void OwnChanges::noteMoves(const QList<FileMove> &moves)
{
    for (const FileMove &move : moves) {
        Expected &from = m_expected[standardizedPath(move.source)];
        ++from.went;
        from.reportsLeft = 2;
        Expected &to = m_expected[standardizedPath(move.destination)];
        ++to.came;
        to.reportsLeft = 2;
    }
}

bool OwnChanges::boardShows(const QList<FileMove> &moves, const Shown &shown,
                            const QSet<QString> &folders)
{
    QSet<QString> taken;
    QSet<QString> placed;
    for (const FileMove &move : moves) {
        taken.insert(standardizedPath(move.source));
        const QString destination = standardizedPath(move.destination);
        if (folders.contains(FilePaths::parentOf(destination))) {
            placed.insert(destination);
        }
    }
    return taken == shown.taken && placed == shown.placed;
}

QSet<QString> OwnChanges::foreignFolders(const DirectoryMonitor::Change &change)
{
    using Event = DirectoryMonitor::EntryEvent;
    QSet<QString> foreign;
    for (const QString &folder : change.folders) {
        const auto events = change.events.constFind(folder);
        if (events == change.events.cend() || events->unnamed) {
            foreign.insert(folder);
            continue;
        }
        bool ours = true;
        for (const DirectoryMonitor::NamedEvent &event : events->named) {
            if (event.name.startsWith(QLatin1Char('.'))) {
                continue;
            }
            const auto expected = m_expected.find(FilePaths::child(folder, event.name));
            if (expected == m_expected.end() || event.event == Event::written) {
                // Our moves never write a shown name: someone edited the file.
                ours = false;
                continue;
            }
            qint32 *left = event.event == Event::came   ? &expected->came
                           : event.event == Event::went ? &expected->went
                                                        : nullptr;
            if (left && *left == 0) {
                ours = false;
            } else if (left) {
                --*left;
            }
        }
        if (!ours) {
            foreign.insert(folder);
        }
    }
    // Each entry lives through two reports, used up or not: a rename's second half, or the
    // attribute event of a link, may come with the next one.
    m_expected.removeIf([](QHash<QString, Expected>::iterator entry) {
        return --entry->reportsLeft <= 0;
    });
    return foreign;
}

void OwnChanges::merge(DirectoryMonitor::Change &into, const DirectoryMonitor::Change &more)
{
    into.everything = into.everything || more.everything;
    for (const QString &folder : more.folders) {
        if (!into.folders.contains(folder)) {
            into.folders.append(folder);
        }
    }
    for (auto events = more.events.cbegin(); events != more.events.cend(); ++events) {
        DirectoryMonitor::FolderEvents &kept = into.events[events.key()];
        kept.unnamed = kept.unnamed || events->unnamed;
        kept.named.append(events->named);
    }
}
