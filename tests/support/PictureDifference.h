#pragma once

// A picture in which any misplaced part shows, and how far two pictures are apart. Red runs
// across, green down, blue alternates in blocks: a part taken from the wrong place, turn or
// scale lands tens of levels from the right one, while JPEG's own loss stays within a few.

#include <QImage>

#include <cstdlib>

namespace PictureDifference {

inline QImage pattern(QSize size, int block = 64)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            line[x] = qRgb(255 * x / size.width(), 255 * y / size.height(),
                           ((x / block + y / block) % 2) ? 200 : 40);
        }
    }
    return image;
}

// The mean absolute difference per channel, 255 when the sizes differ or either is null.
inline double mean(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.isNull()) {
        return 255;
    }
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto *p = reinterpret_cast<const QRgb *>(x.constScanLine(row));
        const auto *q = reinterpret_cast<const QRgb *>(y.constScanLine(row));
        for (int column = 0; column < x.width(); ++column) {
            sum += std::abs(qRed(p[column]) - qRed(q[column]))
                   + std::abs(qGreen(p[column]) - qGreen(q[column]))
                   + std::abs(qBlue(p[column]) - qBlue(q[column]));
        }
    }
    return sum / (3.0 * x.width() * x.height());
}

} // namespace PictureDifference
