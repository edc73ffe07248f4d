#pragma once

// A HEIF or AVIF photo without a large enough thumbnail item decodes whole before it can be
// shrunk: 12 megapixels for a cell of a few hundred pixels, about half a second a core. The
// similarity pass would then decode it whole once more for its facts, and a screen's "similar"
// marks came seconds after its thumbnails. So such a thumbnail is decoded at the size the facts
// are measured at, the facts are measured on the way down to the cell and left here, and the
// pass (SimilarityIndex::computeFacts) takes them rather than decoding the file again.
// Thread-safe: left by the thumbnail decoders, taken by the pass's workers.

#include "Models/SimilarityFacts.h"

#include <QHash>
#include <QImage>
#include <QMutex>
#include <QString>

#include <deque>
#include <optional>
#include <sys/stat.h>

class ThumbnailFacts
{
public:
    // The oldest facts are dropped past this many: a folder scrolled through whose facts the
    // pass's cache already had leaves facts nobody takes.
    static constexpr qsizetype defaultCapacity = 1024;

    explicit ThumbnailFacts(qsizetype capacity = defaultCapacity)
        : m_capacity(std::max<qsizetype>(capacity, 1))
    {
    }
    static ThumbnailFacts &shared();

    // The thumbnail decoder: ImageFile::readImage, and for a photo that decodes whole, its facts
    // measured and left in shared() on the way.
    static QImage decode(const QString &path, int maximumPixelDimension);

    // Leaves `facts` of the file at `path`, as it is by `status` (its fstat when measured).
    void leave(const QString &path, const struct stat &status, const SimilarityFacts &facts);
    // The facts left for `path` when the file there is still the one they were measured on
    // (same device, inode, size and modification time); each is taken once.
    std::optional<SimilarityFacts> take(const QString &path);
    qsizetype size() const;

private:
    struct Stamp
    {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        qint64 seconds = 0;
        qint64 nanoseconds = 0;

        static Stamp of(const struct stat &status);
        friend bool operator==(const Stamp &, const Stamp &) = default;
    };
    struct Left
    {
        Stamp stamp;
        SimilarityFacts facts;
    };

    const qsizetype m_capacity;
    mutable QMutex m_mutex;
    QHash<QString, Left> m_left;
    std::deque<QString> m_order; // oldest first; may name paths taken since
};
