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
    // True when decode() at `maximumPixelDimension` holds the whole picture first: the format
    // cannot shrink while decoding and the file stores nothing smaller that would serve.
    virtual bool decodesWhole(const ImageSource &file, int maximumPixelDimension) const
    {
        Q_UNUSED(file);
        Q_UNUSED(maximumPixelDimension);
        return false;
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
