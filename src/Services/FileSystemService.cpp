#include "FileSystemService.h"

#include "Models/NaturalOrder.h"

#include "JournalRecovery.h"
#include "Platform/FileIdentity.h"
#include "Platform/LinuxFileSystem.h"

FileSystemService::FileSystemService(std::shared_ptr<PlatformFileSystem> fileSystem,
                                     ImageDimensionsReader::HeaderReader readHeader)
    : m_fileSystem(fileSystem ? std::move(fileSystem) : std::make_shared<LinuxFileSystem>())
    , m_scanner(m_fileSystem)
    , m_operations(m_fileSystem)
    , m_dimensions(std::move(readHeader))
{
    m_executor.setMaxThreadCount(1);
    m_executor.setExpiryTimeout(-1);
}

FileSystemService::~FileSystemService()
{
    m_executor.waitForDone();
    m_operations.setJournal(nullptr);
}

QFuture<Result<FileSystemService::JournalOpening>>
FileSystemService::openJournal(const QUrl &rootURL, const QString &stateFolder)
{
    return submit([this, rootURL, stateFolder](const CancelCheck &) -> Result<JournalOpening> {
        Result<JournalOpening> opening = openWaitingJournal(rootURL, stateFolder);
        adopt(opening ? opening->ticket : 0);
        return opening;
    });
}

QFuture<Result<FileSystemService::JournalOpening>>
FileSystemService::openJournalBeside(const QUrl &rootURL, const QString &stateFolder)
{
    return submit([this, rootURL, stateFolder](const CancelCheck &) {
        return openWaitingJournal(rootURL, stateFolder);
    });
}

QFuture<void> FileSystemService::adoptJournal(quint64 ticket)
{
    return submit([this, ticket](const CancelCheck &) { adopt(ticket); });
}

QFuture<void> FileSystemService::dropJournal(quint64 ticket)
{
    return submit([this, ticket](const CancelCheck &) {
        if (ticket != 0 && m_waiting.ticket == ticket) {
            m_waiting = {}; // releases its lock
        }
    });
}

Result<FileSystemService::JournalOpening>
FileSystemService::openWaitingJournal(const QUrl &rootURL, const QString &stateFolder)
{
    m_waiting = {}; // superseded: whoever waited for it has moved on
    const QString root = standardizedPath(rootURL);
    const Result<EntryInfo> info = m_fileSystem->stat(root, /*followLink=*/true);
    if (!info) {
        return std::unexpected(info.error());
    }
    const QString rootIdentity = FileIdentity::of(*info);
    // Read here, on the service's thread: finding a card's UUID may mean reading its device.
    const JournalKey journalKey = JournalKey::of(root, rootIdentity);
    const QString key = stateFolder + QLatin1Char('\n') + journalKey.name + QLatin1Char('\n')
                        + rootIdentity;
    const bool inUse = m_journal.journal && m_journal.key == key;
    if (inUse) {
        // Its lock is ours already and a second one would be refused: reopened in place, so
        // it follows a root that was renamed meanwhile.
        m_operations.setJournal(nullptr);
        m_journal = {};
    }
    Result<std::unique_ptr<OperationJournal>> journal =
        OperationJournal::open(stateFolder, journalKey, root, rootIdentity);
    if (!journal) {
        return std::unexpected(journal.error());
    }
    OpenJournal &slot = inUse ? m_journal : m_waiting;
    slot = {std::move(*journal), key, ++m_lastTicket};
    const JournalRecovery::Report report = JournalRecovery::recover(*m_fileSystem, *slot.journal);
    if (inUse) {
        m_operations.setJournal(slot.journal.get());
    }
    return JournalOpening{slot.journal->history(), report, slot.ticket};
}

void FileSystemService::adopt(quint64 ticket)
{
    if (ticket != 0 && m_journal.ticket == ticket) {
        return; // reopened in place: already in use
    }
    m_operations.setJournal(nullptr);
    m_journal = {}; // releases the previous collection's lock
    if (ticket != 0 && m_waiting.ticket == ticket) {
        m_journal = std::exchange(m_waiting, {});
        m_operations.setJournal(m_journal.journal.get());
    }
}

QFuture<Result<PhotoCollection>> FileSystemService::scan(const QUrl &rootURL,
                                                         PhotoSortOrder sortOrder,
                                                         CompanionRule rule)
{
    return submit([this, rootURL, sortOrder, rule](const CancelCheck &isCancelled)
                      -> Result<PhotoCollection> {
        Result<PhotoCollection> collection =
            m_scanner.scan(rootURL, sortOrder, isCancelled, rule);
        if (!collection) {
            return collection;
        }
        if (Result<void> filled =
                m_dimensions.populateImageDimensions(collection->sections, isCancelled);
            !filled) {
            return std::unexpected(filled.error());
        }
        if (sortOrder == PhotoSortOrder::dateTaken) { // listed before the times were known
            for (PhotoSection &section : collection->sections) {
                sortPhotos(section.photos, sortOrder);
            }
        }
        return collection;
    });
}

QFuture<Result<PhotoCollection>>
FileSystemService::list(const QUrl &rootURL, PhotoSortOrder sortOrder, CompanionRule rule,
                        std::shared_ptr<std::atomic<qint64>> entriesFound)
{
    return submit([this, rootURL, sortOrder, rule, entriesFound](const CancelCheck &isCancelled) {
        return m_scanner.scan(rootURL, sortOrder, isCancelled, rule, entriesFound.get());
    });
}

QFuture<Result<CollectionUpdate>> FileSystemService::rescan(const PhotoCollection &shown,
                                                            const QSet<QString> &folders,
                                                            RescanScope scope,
                                                            PhotoSortOrder sortOrder,
                                                            CompanionRule rule)
{
    // The snapshot is handed on, not kept: a check lets go of its photos before it lists.
    return submit([this, shown, folders, scope, sortOrder,
                   rule](const CancelCheck &isCancelled) mutable -> Result<CollectionUpdate> {
        // A card's mount point left behind lists as an empty folder: the board would empty.
        if (Result<void> there = m_operations.checkRoot(standardizedPath(shown.rootURL)); !there) {
            return std::unexpected(there.error());
        }
        Result<CollectionUpdate> update = CollectionRescan::run(
            m_scanner, std::move(shown), folders, scope, sortOrder, rule, isCancelled);
        if (!update && update.error().code != FileSystemError::Code::cancelled) {
            return std::unexpected(m_operations.judged(update.error()));
        }
        return update;
    });
}
