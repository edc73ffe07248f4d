#pragma once

// The small preview a camera stores in a JPEG's EXIF block (APP1, TIFF IFD1: usually 160 × 120),
// found without decoding anything: reading it costs a fraction of a millisecond, against tens
// of milliseconds for even a scaled decode of the photo, so a cell can show it at once while
// its real thumbnail is on the way.
// Every offset and count is checked against the bytes given; damaged or hostile input gives
// "no thumbnail", never a read out of bounds.

#include <QByteArrayView>
#include <QImage>

namespace ExifThumbnail {

struct Location
{
    qint64 offset = 0; // in the file (and the head given), of the thumbnail's JPEG data
    qint64 length = 0;
    int orientation = 1; // EXIF orientation of the photo, 1 to 8; the thumbnail shares it

    bool isValid() const { return length > 0; }
    friend bool operator==(const Location &, const Location &) = default;
};

// Where the thumbnail lies in a JPEG file whose first bytes are `head`; invalid when the head
// holds no EXIF thumbnail, or only part of it.
Location locate(QByteArrayView head);

// The thumbnail, decoded and turned upright; null when there is none.
QImage read(QByteArrayView head);

// `image` turned by an EXIF orientation (1 to 8; anything else leaves it as it is).
QImage oriented(const QImage &image, int orientation);

} // namespace ExifThumbnail
