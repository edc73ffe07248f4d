#include "FileSystemService.h"

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
