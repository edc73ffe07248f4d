#pragma once

// Synthetic DNG files written with libtiff, laid out as cameras and converters write them:
// IFD0 a small RGB thumbnail carrying the DNG tags and the orientation, its SubIFDs the CFA raw
// image and a large JPEG preview. For the RAW decoder's tests and benchmarks.

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

namespace DngWriter {

enum class Part { Thumbnail, Raw, Preview };

inline const QSize thumbnailSize(160, 120);
inline const QSize previewSize(1024, 682);

struct Layout
{
    bool thumbnail = true;
    bool preview = true;
    int orientation = 6;
    QSize rawSize{256, 170};
    QByteArray dateTime = {}; // IFD0's DateTime ("2023:07:14 09:30:05"), none when empty
    // The preview's JPEG data and size; empty: defaultPreviewJpeg() at previewSize.
    QByteArray previewJpeg = {};
    QSize previewJpegSize = {};

    // The first is IFD0, the others its SubIFDs, in this order.
    QList<Part> parts() const;
};

// Red on the left half, blue on the right (TwoHalves) at previewSize, as a JPEG.
QByteArray defaultPreviewJpeg();

// Writes the file at `path` and returns its bytes; empty on failure.
QByteArray write(const QString &path, const Layout &layout);

} // namespace DngWriter
