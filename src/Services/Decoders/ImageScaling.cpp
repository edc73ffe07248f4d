#include "ImageScaling.h"

#include <algorithm>
#include <cmath>

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
    QImage step = image;
    if (longestSide(image.size()) > 4 * longestSide(target)) {
        step = image.scaled(target * 4, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    }
    return step.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace ImageScaling
