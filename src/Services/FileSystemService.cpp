#include "FileSystemService.h"

#include "JournalRecovery.h"
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
        m_operations.setJournal(nullptr);
        m_journal.reset(); // releases the previous collection's lock
        const QString root = standardizedPath(rootURL);
        const Result<EntryInfo> info = m_fileSystem->stat(root, /*followLink=*/true);
        if (!info) {
            return std::unexpected(info.error());
        }
        Result<std::unique_ptr<OperationJournal>> journal =
            OperationJournal::open(stateFolder, root, info->identity);
        if (!journal) {
            return std::unexpected(journal.error());
        }
        m_journal = std::move(*journal);
        const JournalRecovery::Report report = JournalRecovery::recover(*m_fileSystem, *m_journal);
        m_operations.setJournal(m_journal.get());
        return JournalOpening{m_journal->history(), report};
    });
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
                   rule](const CancelCheck &isCancelled) mutable {
        return CollectionRescan::run(m_scanner, std::move(shown), folders, scope, sortOrder,
                                     rule, isCancelled);
    });
}
