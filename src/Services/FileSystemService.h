#pragma once

// The one object through which the application touches the collection's folders. Operations
// run one at a time on the service's own thread, never on the window's, and hand back futures.
// Cancelling a scan's future stops it at its next check point.

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
    QFuture<Result<PhotoCollection>> scan(const QUrl &rootURL, PhotoSortOrder sortOrder);

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

    std::shared_ptr<PlatformFileSystem> m_fileSystem;
    FolderScanner m_scanner;
    ImageDimensionsReader m_dimensions;
    QThreadPool m_executor; // last member: destroyed first, waiting for the running operation
};
