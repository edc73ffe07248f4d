#include "ImageDecoder.h"

#include "ImageScaling.h"

#include <cmath>

QImage ImageDecoder::decodeRegion(const ImageSource &file,
                                  QRect region,
                                  QSize size,
                                  DecodeBudget &budget) const
{
    const QSize whole = uprightSize(file);
    region = region.intersected(QRect(QPoint(), whole));
    if (region.isEmpty() || size.isEmpty()) {
        return {};
    }
    double ratio = std::min(1.0, double(size.width()) / region.width());
    if (budget.capacity() > 0) {
        const double wholePixels = double(whole.width()) * whole.height();
        ratio = std::min(ratio, std::sqrt(double(budget.capacity()) / 2 / wholePixels));
    }
    const int bound = std::max(1, int(std::ceil(ImageScaling::longestSide(whole) * ratio)));
    const QImage picture = decode(file, bound, budget);
    if (picture.isNull()) {
        return {};
    }
    const double x = double(picture.width()) / whole.width();
    const double y = double(picture.height()) / whole.height();
    const QRect part =
        QRectF(region.x() * x, region.y() * y, region.width() * x, region.height() * y)
            .toAlignedRect()
            .intersected(picture.rect());
    return picture.copy(part).scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}
