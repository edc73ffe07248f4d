#pragma once

// The preview's zoom and pan, as pure geometry. The state is a scale (device pixels per image
// pixel; none while the photo is fitted to the window) and the point of the photo at the middle
// of the view, relative to the photo's size (0 to 1 on each axis). Being relative, it carries
// over to the next photo as it is: flipping through a burst at 100 % shows every frame at the
// same spot, whatever its size or shape. Every query takes the photo's upright size and the
// view's size, both in device pixels, and clamps the position so the photo covers the view
// wherever it is larger than the view and is centred wherever it is smaller.

#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <array>
#include <optional>

class PreviewZoom
{
public:
    // The fixed steps + and − go through, above the fitted scale.
    static constexpr std::array<double, 5> steps{0.25, 0.5, 1.0, 2.0, 4.0};
    static constexpr double largestScale = 4.0;

    // The scale that fits `image` into `view`, never above 1: a small photo is not enlarged.
    static double fitScale(QSizeF image, QSizeF view);

    bool isFitted() const { return !m_scale; }
    // The scale in effect for this photo in this view.
    double scale(QSizeF image, QSizeF view) const;
    // Where the whole photo lies, in view coordinates.
    QRectF imageRect(QSizeF image, QSizeF view) const;
    // The part of the photo on screen, in the photo's pixels, grown by `margin` times the
    // view's size on every side and kept within the photo.
    QRectF visiblePart(QSizeF image, QSizeF view, double margin = 0) const;
    // The photo's point (relative, 0 to 1) under a point of the view; nothing off the photo.
    std::optional<QPointF> pointAt(QPointF viewPoint, QSizeF image, QSizeF view) const;

    // Fit to the window, or 100 %; going to 100 % centres the view on the photo's point under
    // `anchor` when there is one, else on the photo's middle.
    void toggle(QSizeF image, QSizeF view, std::optional<QPointF> anchor = std::nullopt);
    // The next step up or down (down from the smallest step above the fit is the fit), keeping
    // the photo's point under `anchor` (the view's middle when none) where it is.
    void stepIn(QSizeF image, QSizeF view, std::optional<QPointF> anchor = std::nullopt);
    void stepOut(QSizeF image, QSizeF view, std::optional<QPointF> anchor = std::nullopt);
    void fit();
    // Moves the photo by `delta` view pixels (a drag), within the clamp.
    void pan(QPointF delta, QSizeF image, QSizeF view);

    // The relative point at the view's middle, as stored (clamped for the photo it was last
    // used with).
    QPointF centre() const { return m_centre; }

    friend bool operator==(const PreviewZoom &, const PreviewZoom &) = default;

private:
    void zoomTo(double scale, QSizeF image, QSizeF view, std::optional<QPointF> anchor);
    // The offset of the photo's top-left corner in the view for a scale and a centre, clamped.
    static QPointF offsetFor(double scale, QPointF centre, QSizeF image, QSizeF view);
    static QPointF centreFor(double scale, QPointF offset, QSizeF image, QSizeF view);

    std::optional<double> m_scale;
    QPointF m_centre{0.5, 0.5};
};
