#pragma once

// Draws one photo cell: the image area (thumbnail filling it, or a placeholder with the file's
// extension), the outline, the selection badge and the file name underneath. Shared by the
// sorting board and the Browse views, which only differ in where cells go.

#include "Models/Bursts.h"
#include "Models/Photo.h"

#include <QImage>
#include <QRectF>

class QPainter;

struct PhotoCellState
{
    bool selected = false;
    bool hovered = false;
    qsizetype selectedCount = 0; // how many photos are selected in all
    // Where the photo stands in a burst on the board; none elsewhere.
    std::optional<Bursts::Mark> burst = {};
    // How far the burst's band runs past the image's right edge to reach the next frame's
    // cell: 0 at the burst's last frame and where the next frame starts another row.
    double burstBandReach = 0;
    // Shown instead of the file name when set (where a duplicate lies).
    QString caption = {};
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

// `thumbnail` may be null (placeholder). The caption goes `captionGap` below the image; a
// burst's band runs in that gap, its count sits on the first frame and a star on the best.
void paint(QPainter &painter,
           const QRectF &imageRect,
           const Photo &photo,
           const QImage &thumbnail,
           const PhotoCellState &state);

// "7 similar": the count a burst's first frame carries.
QString burstCountText(qsizetype count);

// How a cell shows its place among marked groups: its mark, and how far its band runs on to
// the next frame's cell.
struct BurstLook
{
    std::optional<Bursts::Mark> mark;
    double bandReach = 0;
    // Painted alike: a group's number is never painted, only where its frames join.
    bool looksLike(const BurstLook &other) const;
};
// The looks of cells given in the board's order (photo ids and image rects) under `groups`.
// The band reaches the next frame when it is the next cell, on the same row (another camera's
// photo between them breaks it).
QList<BurstLook>
burstLooks(const QStringList &ids, const QList<QRectF> &rects, const Bursts &groups);

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
