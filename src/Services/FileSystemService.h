#pragma once

// The one object through which the application touches the collection's folders. Operations
// run one at a time on the service's own thread, never on the window's, and hand back futures.
// Cancelling a scan's future stops it at its next check point.

#include "CollectionRescan.h"
#include "FileOperations.h"
#include "FolderScanner.h"
#include "ImageDimensionsReader.h"
#include "JournalRecovery.h"
#include "OperationJournal.h"

#include <QFuture>
#include <QPromise>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <memory>

class FileSystemService
{
public:
    explicit FileSystemService(std::shared_ptr<PlatformFileSystem> fileSystem = {},
                               ImageDimensionsReader::HeaderReader readHeader =
                                   ImageDimensionsReader::imageDimensions);
    ~FileSystemService();

    FileSystemService(const FileSystemService &) = delete;
    FileSystemService &operator=(const FileSystemService &) = delete;

    // What opening a collection's journal found: the undo history it keeps, what had to be put
    // back of a batch cut off by a crash, and `ticket`, which names the opened journal for
    // adoptJournal and dropJournal.
    struct JournalOpening
    {
        OperationJournal::History history;
        JournalRecovery::Report recovery;
        quint64 ticket = 0;
    };
    // Opens (and locks) the journal of the collection at rootURL, closing the previous one,
    // and puts back what a crash left half done. Runs before any later scan of that root.
    QFuture<Result<JournalOpening>> openJournal(const QUrl &rootURL,
                                                const QString &stateFolder =
                                                    OperationJournal::defaultStateFolder());
    // The same, but the journal in use stays in use (and locked) until adoptJournal: a folder
    // that then fails to list never costs the shown one its journal. One journal waits at a
    // time; opening another drops it. The shown root's own journal, which cannot be locked
    // twice, is reopened in place and stays in use.
    QFuture<Result<JournalOpening>> openJournalBeside(const QUrl &rootURL,
                                                      const QString &stateFolder =
                                                          OperationJournal::defaultStateFolder());
    // Makes the journal `ticket` names the one in use, closing the previous one. With a ticket
    // that names no waiting journal (0 for a folder opened without one), none is in use after.
    QFuture<void> adoptJournal(quint64 ticket);
    // Closes the journal `ticket` names if it is still waiting; the one in use stays.
    QFuture<void> dropJournal(quint64 ticket);

    // The collection at rootURL with every photo's dimensions filled in.
    QFuture<Result<PhotoCollection>> scan(const QUrl &rootURL, PhotoSortOrder sortOrder,
                                          CompanionRule rule = CompanionRule::together);
    // The collection at rootURL as listed, without pixel dimensions (a DimensionFill reads
    // them), so it can be shown before any image header is read. `entriesFound` counts the
    // entries listed so far, for the loading screen.
    QFuture<Result<PhotoCollection>> list(const QUrl &rootURL, PhotoSortOrder sortOrder,
                                          CompanionRule rule,
                                          std::shared_ptr<std::atomic<qint64>> entriesFound = {});
    // What changed on disk in `folders` of the shown collection, or in all of it (see
    // CollectionRescan). Runs in turn with the disk changes, so it never sees one half done.
    // Fails with volumeLost when the root, or the volume it is on, is gone.
    QFuture<Result<CollectionUpdate>> rescan(const PhotoCollection &shown,
                                             const QSet<QString> &folders, RescanScope scope,
                                             PhotoSortOrder sortOrder, CompanionRule rule);

    // The volumes the collection at rootURL lies on (see CollectionVolumes).
    QFuture<CollectionVolumes> volumes(const QUrl &rootURL)
    {
        return submit([this, root = standardizedPath(rootURL)](const CancelCheck &) {
            return m_fileSystem->volumes(root);
        });
    }

    // Disk changes. They run in submission order after any scan, and are never cancelled
    // half-way: each either completes or puts back what it did before it reports the error.
    QFuture<Result<QList<FileMove>>> moveFiles(const QList<QUrl> &urls, const QUrl &folder)
    {
        return perform(&FileOperations::moveFiles, urls, folder);
    }
    // With a journal entry, the batch is written to the open journal as that action (or the
    // undo or redo of one), so it can be undone after a restart.
    QFuture<Result<QList<FileMove>>> moveShots(const QList<QList<QUrl>> &shots, const QUrl &folder,
                                               const JournalEntry &entry = {})
    {
        return performRecorded(entry, &FileOperations::moveShots, shots, folder);
    }
    QFuture<Result<QList<FileMove>>> moveShotsToTrash(const QList<QList<QUrl>> &shots,
                                                      const JournalEntry &entry = {},
                                                      HomeTrash homeTrash = HomeTrash::allowed)
    {
        return performRecorded(entry, &FileOperations::moveShotsToTrash, shots, homeTrash);
    }
    QFuture<Result<QList<FileMove>>> relocate(const QList<FileMove> &moves,
                                              const JournalEntry &entry = {})
    {
        return performRecorded(entry, &FileOperations::relocate, moves);
    }
    QFuture<Result<QList<FileMove>>> copyImageFiles(const QList<QUrl> &urls, const QUrl &folder,
                                                    const JournalEntry &entry = {})
    {
        return performRecorded(entry, &FileOperations::copyImageFiles, urls, folder);
    }
    QFuture<Result<QList<FileMove>>> moveToTrash(const QList<QUrl> &urls)
    {
        return perform(&FileOperations::moveToTrash, urls, HomeTrash::allowed);
    }
    QFuture<Result<QUrl>> createCategory(const QString &name, const QUrl &root,
                                         const JournalEntry &entry = {})
    {
        return performRecorded<Result<QUrl> (FileOperations::*)(const QString &, const QUrl &)>(
            entry, &FileOperations::createCategory, name, root);
    }
    QFuture<Result<void>> createCategory(const QUrl &folder, const JournalEntry &entry = {})
    {
        return performRecorded<Result<void> (FileOperations::*)(const QUrl &)>(
            entry, &FileOperations::createCategory, folder);
    }
    QFuture<Result<FileMove>> renameCategory(const QUrl &folder, const QString &name,
                                             const JournalEntry &entry = {})
    {
        return performRecorded(entry, &FileOperations::renameCategory, folder, name);
    }
    QFuture<Result<CategoryDeletion>> deleteCategory(const QUrl &folder, const QUrl &root,
                                                     const JournalEntry &entry = {})
    {
        return performRecorded(entry, &FileOperations::deleteCategory, folder, root);
    }
    QFuture<Result<void>> removeEmptyCategory(const QUrl &folder, const JournalEntry &entry = {})
    {
        return performRecorded(entry, &FileOperations::removeEmptyCategory, folder);
    }
    QFuture<Result<QList<FileMove>>> restoreDeletedCategory(const CategoryDeletion &deletion,
                                                            const JournalEntry &entry = {})
    {
        return performRecorded(entry, &FileOperations::restoreDeletedCategory, deletion);
    }

    // Header reads since creation, for tests and benchmarks (read after a future finished).
    qint64 headersRead() const { return m_dimensions.headersRead(); }

private:
    // Runs `work(isCancelled)` on the service thread after every operation submitted before it.
    template<typename Work>
    auto submit(Work work) -> QFuture<std::invoke_result_t<Work, const CancelCheck &>>
    {
        using R = std::invoke_result_t<Work, const CancelCheck &>;
        return QtConcurrent::run(&m_executor, [work = std::move(work)](QPromise<R> &promise) mutable {
            const CancelCheck isCancelled = [&promise] { return promise.isCanceled(); };
            if constexpr (std::is_void_v<R>) {
                work(isCancelled);
            } else {
                promise.addResult(work(isCancelled));
            }
        });
    }

    template<typename Method, typename... Args>
    auto performRecorded(const JournalEntry &entry, Method method, const Args &...args)
        -> QFuture<std::invoke_result_t<Method, FileOperations &, const Args &...>>
    {
        return submit([this, entry, method, args...](const CancelCheck &) {
            return m_operations.recorded(entry, [&] { return (m_operations.*method)(args...); });
        });
    }

    template<typename Method, typename... Args>
    auto perform(Method method, const Args &...args)
        -> QFuture<std::invoke_result_t<Method, FileOperations &, const Args &...>>
    {
        // Unnamed: written for crash recovery only.
        return performRecorded(JournalEntry{}, method, args...);
    }

    std::shared_ptr<PlatformFileSystem> m_fileSystem;
    FolderScanner m_scanner;
    FileOperations m_operations;
    ImageDimensionsReader m_dimensions;
    // Opens the journal of `rootURL` as the waiting one, or reopens the one in use in place.
    Result<JournalOpening> openWaitingJournal(const QUrl &rootURL, const QString &stateFolder);
    void adopt(quint64 ticket);

    // The journal in use and the one opened beside it; used on the service thread only. A
    // journal's key (state folder, journal name and root identity) tells whether a root's
    // journal is open.
    struct OpenJournal
    {
        std::unique_ptr<OperationJournal> journal;
        QString key;
        quint64 ticket = 0;
    };
    OpenJournal m_journal;
    OpenJournal m_waiting;
    quint64 m_lastTicket = 0;
    QThreadPool m_executor; // last member: destroyed first, waiting for the running operation
};
