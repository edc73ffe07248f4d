#pragma once

// Draws one photo cell: the image area (thumbnail filling it, or a placeholder with the file's
// extension), the outline, the selection badge and the file name underneath. Shared by the
// sorting board and the Browse views, which only differ in where cells go.

#include "Models/Photo.h"

#include <QImage>
#include <QRectF>

class QPainter;

struct PhotoCellState
{
    bool selected = false;
    bool hovered = false;
    qsizetype selectedCount = 0; // how many photos are selected in all
};

namespace PhotoCellPainter {

constexpr double captionGap = 7;
constexpr double captionHeight = 14;
constexpr double badgeSize = 22;
constexpr double badgeInset = 6;

// The selection badge over the image's top trailing corner.
QRectF badgeRect(const QRectF &imageRect);
// True when the badge carries the handle that drags every selected file.
inline bool hasMultiFileHandle(const PhotoCellState &state)
{
    return state.selected && state.selectedCount >= 2;
}
// The badge's text: a checkmark symbol below two selected, otherwise the grouped count.
QString badgeText(qsizetype selectedCount);

// `thumbnail` may be null (placeholder). The caption goes `captionGap` below the image.
void paint(QPainter &painter,
           const QRectF &imageRect,
           const Photo &photo,
           const QImage &thumbnail,
           const PhotoCellState &state);

// A masonry cell: the image fills the whole rectangle and the file name sits on a caption bar
// across its bottom.
void paintMasonry(QPainter &painter,
                  const QRectF &rect,
                  const Photo &photo,
                  const QImage &thumbnail,
                  const PhotoCellState &state);
constexpr double masonryCaptionHeight = 29;

// The list's small thumbnail: 44 × 40 with a thinner outline and an 18 × 18 count badge that
// appears only from two selected photos on.
void paintListThumbnail(QPainter &painter,
                        const QRectF &rect,
                        const QImage &thumbnail,
                        const PhotoCellState &state);
QRectF listBadgeRect(const QRectF &rect);

// Draws `image` scaled to fill `target`, cropping what overflows, centred.
void drawFilling(QPainter &painter, const QRectF &target, const QImage &image);

} // namespace PhotoCellPainter
