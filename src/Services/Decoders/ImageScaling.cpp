#include "ImageScaling.h"

#include "ScratchBuffer.h"

#include <QTransform>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// For each of `count` target positions, the source position nearest its centre.
std::vector<int> nearestPositions(int count, int sourceCount)
{
    std::vector<int> positions(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        positions[size_t(i)] = int((qint64(2 * i + 1) * sourceCount) / (2 * qint64(count)));
    }
    return positions;
}

// The fast step's picture in a format the smooth step reads as it is: 32-bit pixels kept as
// they are, packed RGB widened to RGB32 (what Qt would turn it into, and paints fastest); any
// other format is left to Qt.
QImage::Format sampledFormat(QImage::Format format)
{
    if (format == QImage::Format_RGB888) {
        return QImage::Format_RGB32;
    }
    return QImage::toPixelFormat(format).bitsPerPixel() == 32 ? format : QImage::Format_Invalid;
}

// `image` sampled to `size` by nearest pixel into `scratch`, which must hold size's 32-bit
// pixels; the returned image only views it.
QImage sampledInto(const QImage &image, QSize size, QImage::Format format, uchar *scratch)
{
    const std::vector<int> columns = nearestPositions(size.width(), image.width());
    const std::vector<int> rows = nearestPositions(size.height(), image.height());
    const qsizetype stride = qsizetype(size.width()) * 4;
    const bool packed = image.format() == QImage::Format_RGB888;
    for (int y = 0; y < size.height(); ++y) {
        const uchar *from = image.constScanLine(rows[size_t(y)]);
        uchar *to = scratch + qsizetype(y) * stride;
        if (packed) {
            auto *out = reinterpret_cast<QRgb *>(to);
            for (int x = 0; x < size.width(); ++x) {
                const uchar *pixel = from + qsizetype(columns[size_t(x)]) * 3;
                out[x] = qRgb(pixel[0], pixel[1], pixel[2]);
            }
        } else {
            const auto *words = reinterpret_cast<const quint32 *>(from);
            auto *out = reinterpret_cast<quint32 *>(to);
            for (int x = 0; x < size.width(); ++x) {
                out[x] = words[columns[size_t(x)]];
            }
        }
    }
    return QImage(scratch, size.width(), size.height(), stride, format);
}

} // namespace

namespace ImageScaling {

int longestSide(QSize size)
{
    return std::max(size.width(), size.height());
}

QSize bounded(QSize size, int bound)
{
    bound = std::max(1, bound);
    if (size.isEmpty() || longestSide(size) <= bound) {
        return size;
    }
    const double scale = double(bound) / longestSide(size);
    return {std::max(1, int(std::lround(size.width() * scale))),
            std::max(1, int(std::lround(size.height() * scale)))};
}

QImage shrunk(const QImage &image, int bound)
{
    const QSize target = bounded(image.size(), bound);
    if (image.isNull() || target == image.size()) {
        return image;
    }
    if (longestSide(image.size()) <= 4 * longestSide(target)) {
        return image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    const QSize stepSize = target * 4;
    const QImage::Format format = sampledFormat(image.format());
    uchar *scratch = format == QImage::Format_Invalid
                         ? nullptr
                         : ScratchBuffer::forThisThread(qsizetype(stepSize.width()) *
                                                        stepSize.height() * 4);
    // The smooth step always makes a new image, so nothing returned points into the scratch.
    const QImage step =
        scratch ? sampledInto(image, stepSize, format, scratch)
                : image.scaled(stepSize, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    return step.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QRect storedRect(QRect upright, QSize stored, QImageIOHandler::Transformations turn)
{
    const bool mirror = turn & QImageIOHandler::TransformationMirror;
    const bool flip = turn & QImageIOHandler::TransformationFlip;
    // Stored to upright: (x, y) mirrored and flipped within the stored size, then turned a
    // quarter clockwise to (height − y, x).
    QTransform toUpright(mirror ? -1 : 1, 0, 0, flip ? -1 : 1, mirror ? stored.width() : 0,
                         flip ? stored.height() : 0);
    if (turn & QImageIOHandler::TransformationRotate90) {
        toUpright *= QTransform(0, 1, -1, 0, stored.height(), 0);
    }
    return toUpright.inverted()
        .mapRect(QRectF(upright))
        .toAlignedRect()
        .intersected(QRect(QPoint(), stored));
}

QImage turned(const QImage &image, QImageIOHandler::Transformations turn)
{
    QImage result = image.mirrored(turn & QImageIOHandler::TransformationMirror,
                                   turn & QImageIOHandler::TransformationFlip);
    if (turn & QImageIOHandler::TransformationRotate90) {
        result = result.transformed(QTransform().rotate(90));
    }
    return result;
}

} // namespace ImageScaling
