#include "ThumbnailFacts.h"

#include "Services/Decoders/ImageDecoders.h"
#include "Services/PhotoInfoReader.h"
#include "SimilarityIndex.h"

#include <QFile>

#include <algorithm>

ThumbnailFacts::Stamp ThumbnailFacts::Stamp::of(const struct stat &status)
{
    return {status.st_dev, status.st_ino, status.st_size, qint64(status.st_mtim.tv_sec),
            qint64(status.st_mtim.tv_nsec)};
}

ThumbnailFacts &ThumbnailFacts::shared()
{
    // Deliberately leaked, like the thumbnail service whose threads leave facts here.
    static ThumbnailFacts *const instance = new ThumbnailFacts();
    return *instance;
}

QImage ThumbnailFacts::decode(const QString &path, int maximumPixelDimension)
{
    const std::optional<ImageSource> file = ImageSource::open(path);
    if (!file) {
        return {};
    }
    PhotoInfo info;
    const ImageDecoder::OnTheWay onTheWay{
        [&] { // measured as the pass would measure them, to the bit
            info = PhotoInfoReader::read(path);
            return SimilarityIndex::sharpnessSide(std::max(info.pixelWidth, info.pixelHeight));
        },
        [&](const QImage &picture) {
            struct stat status = {};
            if (::fstat(file->descriptor(), &status) == 0) {
                shared().leave(path, status, SimilarityIndex::factsOf(picture, info));
            }
        }};
    return ImageDecoders::forFile(*file).decodeOnTheWay(*file, std::max(maximumPixelDimension, 1),
                                                        DecodeBudget::shared(), onTheWay);
}

void ThumbnailFacts::leave(const QString &path,
                           const struct stat &status,
                           const SimilarityFacts &facts)
{
    const QMutexLocker lock(&m_mutex);
    if (!m_left.contains(path)) {
        m_order.push_back(path);
    }
    m_left.insert(path, {Stamp::of(status), facts});
    while (m_left.size() > m_capacity && !m_order.empty()) {
        m_left.remove(m_order.front());
        m_order.pop_front();
    }
    // Taken paths stay in the order until they come to its front: keep it from growing
    // without bound when facts are taken as fast as they are left.
    if (qsizetype(m_order.size()) > 2 * m_capacity) {
        std::erase_if(m_order, [this](const QString &each) { return !m_left.contains(each); });
    }
}

std::optional<SimilarityFacts> ThumbnailFacts::take(const QString &path)
{
    Left left;
    {
        const QMutexLocker lock(&m_mutex);
        const auto it = m_left.find(path);
        if (it == m_left.end()) {
            return std::nullopt;
        }
        left = *it;
        m_left.erase(it);
    }
    struct stat status = {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0 ||
        !(Stamp::of(status) == left.stamp)) {
        return std::nullopt; // replaced or edited since: measured again
    }
    return left.facts;
}

qsizetype ThumbnailFacts::size() const
{
    const QMutexLocker lock(&m_mutex);
    return m_left.size();
}
