#pragma once

// The one object through which the application touches the collection's folders. Operations
// run one at a time on the service's own thread, never on the window's, and hand back futures.
// Cancelling a scan's future stops it at its next check point.

#include "FileOperations.h"
#include "FolderScanner.h"
#include "ImageDimensionsReader.h"

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

    // The collection at rootURL with every photo's dimensions filled in.
    QFuture<Result<PhotoCollection>> scan(const QUrl &rootURL, PhotoSortOrder sortOrder,
                                          CompanionRule rule = CompanionRule::together);

    // Disk changes. They run in submission order after any scan, and are never cancelled
    // half-way: each either completes or puts back what it did before it reports the error.
    QFuture<Result<QList<FileMove>>> moveFiles(const QList<QUrl> &urls, const QUrl &folder)
    {
        return perform(&FileOperations::moveFiles, urls, folder);
    }
    QFuture<Result<QList<FileMove>>> moveShots(const QList<QList<QUrl>> &shots, const QUrl &folder)
    {
        return perform(&FileOperations::moveShots, shots, folder);
    }
    QFuture<Result<QList<FileMove>>> moveShotsToTrash(const QList<QList<QUrl>> &shots)
    {
        return perform(&FileOperations::moveShotsToTrash, shots);
    }
    QFuture<Result<QList<FileMove>>> relocate(const QList<FileMove> &moves)
    {
        return perform(&FileOperations::relocate, moves);
    }
    QFuture<Result<QList<QUrl>>> copyImageFiles(const QList<QUrl> &urls, const QUrl &folder)
    {
        return perform(&FileOperations::copyImageFiles, urls, folder);
    }
    QFuture<Result<QList<FileMove>>> moveToTrash(const QList<QUrl> &urls)
    {
        return perform(&FileOperations::moveToTrash, urls);
    }
    QFuture<Result<QUrl>> createCategory(const QString &name, const QUrl &root)
    {
        return perform<Result<QUrl> (FileOperations::*)(const QString &, const QUrl &)>(
            &FileOperations::createCategory, name, root);
    }
    QFuture<Result<void>> createCategory(const QUrl &folder)
    {
        return perform<Result<void> (FileOperations::*)(const QUrl &)>(
            &FileOperations::createCategory, folder);
    }
    QFuture<Result<FileMove>> renameCategory(const QUrl &folder, const QString &name)
    {
        return perform(&FileOperations::renameCategory, folder, name);
    }
    QFuture<Result<CategoryDeletion>> deleteCategory(const QUrl &folder, const QUrl &root)
    {
        return perform(&FileOperations::deleteCategory, folder, root);
    }
    QFuture<Result<void>> removeEmptyCategory(const QUrl &folder)
    {
        return perform(&FileOperations::removeEmptyCategory, folder);
    }
    QFuture<Result<QList<FileMove>>> restoreDeletedCategory(const CategoryDeletion &deletion)
    {
        return perform(&FileOperations::restoreDeletedCategory, deletion);
    }

    // Header reads since creation, for tests and benchmarks (read after a future finished).
    qint64 headersRead() const { return m_dimensions.headersRead(); }

private:
    // Runs `work(isCancelled)` on the service thread after every operation submitted before it.
    template<typename Work>
    auto submit(Work work) -> QFuture<std::invoke_result_t<Work, const CancelCheck &>>
    {
        using R = std::invoke_result_t<Work, const CancelCheck &>;
        return QtConcurrent::run(&m_executor, [work = std::move(work)](QPromise<R> &promise) {
            const CancelCheck isCancelled = [&promise] { return promise.isCanceled(); };
            promise.addResult(work(isCancelled));
        });
    }

    template<typename Method, typename... Args>
    auto perform(Method method, const Args &...args)
        -> QFuture<std::invoke_result_t<Method, FileOperations &, const Args &...>>
    {
        return submit([this, method, args...](const CancelCheck &) {
            return (m_operations.*method)(args...);
        });
    }

    std::shared_ptr<PlatformFileSystem> m_fileSystem;
    FolderScanner m_scanner;
    FileOperations m_operations;
    ImageDimensionsReader m_dimensions;
    QThreadPool m_executor; // last member: destroyed first, waiting for the running operation
};
