#pragma once

// One kind of image file, read four ways: its upright size and capture time from the header
// alone (the scan asks this of every photo), an upright picture no larger than a cell or the
// preview window needs (never the full size when that is larger), the small preview a file may
// carry for instant display, and what its camera recorded. Each format family (Qt's readers,
// HEIF/AVIF, camera RAW, JPEG XL) is one subclass; `ImageDecoders` picks the one for a file's MIME
// type. Every method is called on worker threads, concurrently, so implementations keep no mutable
// state.

#include "ExifInfo.h"
#include "ImageSource.h"
#include "Models/PhotoInfo.h"
#include "Services/DecodeBudget.h"

#include <QImage>
#include <QSize>

#include <functional>

class ImageDecoder
{
public:
    virtual ~ImageDecoder() = default;

    struct Header
    {
        QSize uprightSize; // empty when unreadable
        std::optional<CaptureTime> captureTime;
        qint64 durationMs = 0; // a video's length; 0 for a still
    };

    // The size the photo is shown at (orientation applied); empty when unreadable.
    virtual QSize uprightSize(const ImageSource &file) const = 0;
    // The upright size and when the photo was taken, from one read of the header: what the
    // background fill asks of every photo. By default uprightSize() and the EXIF block among
    // the first bytes (a JPEG's, or a TIFF structure's).
    virtual Header header(const ImageSource &file) const
    {
        return {uprightSize(file), ExifInfo::captureTimeFromHead(file.head())};
    }
    // What the camera recorded (PhotoInfo's EXIF fields; the file facts stay empty). By
    // default from the EXIF block among the first bytes.
    virtual PhotoInfo photoInfo(const ImageSource &file) const
    {
        return ExifInfo::fromHead(file.head());
    }
    // The photo upright, its longest side at most `maximumPixelDimension` (and at least that
    // or the full size, whichever is smaller); null when it cannot be read. A decode that must
    // hold the whole image first draws its pixels from `budget`.
    virtual QImage
    decode(const ImageSource &file, int maximumPixelDimension, DecodeBudget &budget) const = 0;
    QImage decode(const ImageSource &file, int maximumPixelDimension) const
    {
        return decode(file, maximumPixelDimension, DecodeBudget::shared());
    }
    // What a caller takes of a picture decode() must hold whole before shrinking it: `side()`
    // is the long side it wants (below the size asked: nothing), and `take` gets the picture
    // shrunk to that on its way down. Neither is called where the file stores a smaller picture
    // that serves or the format shrinks while decoding.
    struct OnTheWay
    {
        std::function<int()> side;
        std::function<void(const QImage &picture)> take;
    };
    // decode(), handing the whole picture to `onTheWay` on its way down where there is one.
    virtual QImage decodeOnTheWay(const ImageSource &file,
                                  int maximumPixelDimension,
                                  DecodeBudget &budget,
                                  const OnTheWay &onTheWay) const
    {
        Q_UNUSED(onTheWay);
        return decode(file, maximumPixelDimension, budget);
    }
    // The part `region` of the upright photo (in its full-size pixels) at `size`; null when it
    // cannot be read. The default decodes the whole photo at the resolution asked, or less when
    // that would hold more than half the budget (the part then comes out softer, memory stays
    // bounded), and cuts the part out.
    virtual QImage
    decodeRegion(const ImageSource &file, QRect region, QSize size, DecodeBudget &budget) const;
    // A small picture stored in the file (EXIF thumbnail, HEIF thumbnail item, RAW preview),
    // upright, cheap to get; null when the file has none. Shown while `decode` runs.
    virtual QImage embeddedPreview(const ImageSource &file) const
    {
        Q_UNUSED(file);
        return {};
    }
};
