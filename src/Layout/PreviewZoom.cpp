#include "PreviewZoom.h"

#include <algorithm>

namespace {

constexpr double epsilon = 1e-6;

bool usable(QSizeF image, QSizeF view)
{
    return !image.isEmpty() && !view.isEmpty();
}

// One axis of the photo's offset: centred while it is narrower than the view, else placed so
// the centre lies in the middle, without a gap at either edge.
double axisOffset(double length, double viewLength, double centre)
{
    if (length <= viewLength) {
        return (viewLength - length) / 2;
    }
    return std::clamp(viewLength / 2 - centre * length, viewLength - length, 0.0);
}

} // namespace

double PreviewZoom::fitScale(QSizeF image, QSizeF view)
{
    if (!usable(image, view)) {
        return 1.0;
    }
    return std::min({1.0, view.width() / image.width(), view.height() / image.height()});
}

double PreviewZoom::scale(QSizeF image, QSizeF view) const
{
    return m_scale.value_or(fitScale(image, view));
}

QPointF PreviewZoom::offsetFor(double scale, QPointF centre, QSizeF image, QSizeF view)
{
    return {axisOffset(image.width() * scale, view.width(), centre.x()),
            axisOffset(image.height() * scale, view.height(), centre.y())};
}

QPointF PreviewZoom::centreFor(double scale, QPointF offset, QSizeF image, QSizeF view)
{
    return {(view.width() / 2 - offset.x()) / (image.width() * scale),
            (view.height() / 2 - offset.y()) / (image.height() * scale)};
}

QRectF PreviewZoom::imageRect(QSizeF image, QSizeF view) const
{
    if (!usable(image, view)) {
        return {};
    }
    const double s = scale(image, view);
    return {offsetFor(s, m_centre, image, view), image * s};
}

QRectF PreviewZoom::visiblePart(QSizeF image, QSizeF view, double margin) const
{
    const QRectF placed = imageRect(image, view);
    if (placed.isEmpty()) {
        return {};
    }
    const QRectF seen = QRectF(QPointF(), view)
                            .adjusted(-margin * view.width(), -margin * view.height(),
                                      margin * view.width(), margin * view.height())
                            .intersected(placed);
    const double s = scale(image, view);
    const QRectF part((seen.topLeft() - placed.topLeft()) / s, seen.size() / s);
    return part.intersected(QRectF(QPointF(), image));
}

std::optional<QPointF> PreviewZoom::pointAt(QPointF viewPoint, QSizeF image, QSizeF view) const
{
    const QRectF placed = imageRect(image, view);
    if (placed.isEmpty() || !placed.contains(viewPoint)) {
        return std::nullopt;
    }
    const QPointF within = viewPoint - placed.topLeft();
    return QPointF(within.x() / placed.width(), within.y() / placed.height());
}

void PreviewZoom::fit()
{
    m_scale.reset();
    m_centre = {0.5, 0.5};
}

void PreviewZoom::toggle(QSizeF image, QSizeF view, std::optional<QPointF> anchor)
{
    if (!isFitted() || !usable(image, view)) {
        fit();
        return;
    }
    const QPointF centre =
        (anchor ? pointAt(*anchor, image, view) : std::nullopt).value_or(QPointF(0.5, 0.5));
    m_scale = 1.0;
    m_centre = centreFor(1.0, offsetFor(1.0, centre, image, view), image, view);
}

void PreviewZoom::zoomTo(double target, QSizeF image, QSizeF view, std::optional<QPointF> anchor)
{
    if (target <= fitScale(image, view) + epsilon) {
        fit();
        return;
    }
    const double current = scale(image, view);
    const QPointF at = anchor.value_or(QPointF(view.width() / 2, view.height() / 2));
    const QPointF pixel = (at - offsetFor(current, m_centre, image, view)) / current;
    const QPointF unclamped = centreFor(target, at - pixel * target, image, view);
    m_scale = target;
    m_centre = centreFor(target, offsetFor(target, unclamped, image, view), image, view);
}

void PreviewZoom::stepIn(QSizeF image, QSizeF view, std::optional<QPointF> anchor)
{
    if (!usable(image, view)) {
        return;
    }
    const double floor = std::max(scale(image, view), fitScale(image, view)) + epsilon;
    const auto next = std::ranges::find_if(steps, [floor](double step) { return step > floor; });
    if (next != steps.end()) {
        zoomTo(*next, image, view, anchor);
    }
}

void PreviewZoom::stepOut(QSizeF image, QSizeF view, std::optional<QPointF> anchor)
{
    if (isFitted() || !usable(image, view)) {
        return;
    }
    const double ceiling = scale(image, view) - epsilon;
    const auto below = std::ranges::find_if(steps.rbegin(), steps.rend(),
                                            [ceiling](double s) { return s < ceiling; });
    zoomTo(below == steps.rend() ? 0.0 : *below, image, view, anchor);
}

void PreviewZoom::pan(QPointF delta, QSizeF image, QSizeF view)
{
    if (isFitted() || !usable(image, view)) {
        return;
    }
    const double s = *m_scale;
    const QPointF moved = offsetFor(s, m_centre, image, view) + delta;
    const QPointF unclamped = centreFor(s, moved, image, view);
    m_centre = centreFor(s, offsetFor(s, unclamped, image, view), image, view);
}
