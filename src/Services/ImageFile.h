#pragma once

// Opens and decodes one photo file for display: thumbnails, the preview and the instant
// placeholders all come through here. The file is opened the safe way (ImageSource: a regular
// file, never through a link, never waiting on a FIFO, below a size cap) and handed to the
// decoder for its type (ImageDecoders: Qt's readers, libheif, LibRaw or libjxl); the image
// comes out upright and no larger than asked. Decoders that cannot shrink while decoding
// draw the whole image's pixels from a DecodeBudget first.

#include "Services/DecodeBudget.h"
#include "Services/Decoders/ImageSource.h"

#include <QImage>
#include <QSize>
#include <QString>

class ImageFile
{
public:
    struct Decoded
    {
        QImage image;     // null when the file cannot be read as an image
        QSize sourceSize; // the whole image's size, orientation applied; empty when unknown
    };

    // Larger files are not photos this application shows; a sparse or endless file named .jpg
    // must not be read through.
    static constexpr qint64 maximumFileBytes = ImageSource::maximumFileSize;

    // The file's image, upright, its longest side at most `maximumPixelDimension`: shrunk with
    // its aspect kept, never enlarged, never returned at full size when that is larger.
    static Decoded read(const QString &path,
                        int maximumPixelDimension,
                        DecodeBudget &budget = DecodeBudget::shared());
    // The same picture without the source size (which costs some formats a second look).
    static QImage readImage(const QString &path,
                            int maximumPixelDimension,
                            DecodeBudget &budget = DecodeBudget::shared());
    // The part `region` of the upright photo (in its full-size pixels) at `size`, decoding no
    // more of the file than its format allows; null when it cannot be read.
    static QImage readRegion(const QString &path,
                             QRect region,
                             QSize size,
                             DecodeBudget &budget = DecodeBudget::shared());
    // The small picture the file carries for quick display (EXIF thumbnail, HEIF thumbnail
    // item, RAW preview), upright; null when it has none.
    static QImage readEmbeddedPreview(const QString &path);
};
