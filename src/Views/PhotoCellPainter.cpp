#include "PhotoCellPainter.h"

#include "DarkroomPalette.h"
#include "Symbols.h"
#include "Typography.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>

#include <functional>

namespace {

constexpr double cornerRadius = 5;
constexpr int hoverLift = 14; // 0.055 of full brightness, added to every channel

struct Fonts
{
    QFont nameSelected = Typography::font(11, QFont::DemiBold);
    QFont name = Typography::font(11, QFont::Medium);
    QFont extension = Typography::monospaced(9, QFont::Bold);
    QFont badge = Typography::monospaced(9, QFont::Black);
    QFont listBadge = Typography::monospaced(8, QFont::Black);
    QFont caption = Typography::font(11, QFont::DemiBold);
    QFont companions = Typography::monospaced(8, QFont::Bold);
};

const Fonts &fonts()
{
    static const Fonts instance;
    return instance;
}

// The placeholder while no thumbnail is loaded: the photo symbol, over the file's extension
// on the board and the tiles; alone (21 points, less in the list's small cells) elsewhere.
void paintPlaceholder(QPainter &painter, const QRectF &area, const Photo *withExtension)
{
    const QColor color = DarkroomPalette::quiet();
    if (!withExtension) {
        const double side = qMin(21.0, area.height() * 0.4);
        Symbols::paint(
            painter, QStringLiteral("photo"),
            QRectF(area.center().x() - side / 2, area.center().y() - side / 2, side, side), color,
            0.8);
        return;
    }
    const QString extension = QFileInfo(withExtension->filename).suffix().toUpper();
    const double symbolSize = 19;
    const double textHeight = 11;
    const double spacing = 7;
    const double top = area.center().y() - (symbolSize + spacing + textHeight) / 2;
    const bool video = withExtension->kind == ImageKind::video;
    Symbols::paint(painter, video ? QStringLiteral("play.fill") : QStringLiteral("photo"),
                   QRectF(area.center().x() - symbolSize / 2, top, symbolSize, symbolSize), color,
                   0.8);
    painter.setFont(fonts().extension);
    painter.setPen(color);
    painter.drawText(QRectF(area.left(), top + symbolSize + spacing, area.width(), textHeight),
                     Qt::AlignCenter, extension);
}

// What travels with the photo ("RAW+JPG+XMP"), a quiet tag over the top leading corner.
void paintCompanionTag(QPainter &painter, const QRectF &imageRect, const Photo &photo)
{
    const QString text = photo.companionBadge();
    if (text.isEmpty()) {
        return;
    }
    constexpr double height = 16;
    constexpr double padding = 5;
    const QFontMetricsF metrics(fonts().companions);
    const double room = imageRect.width() - 2 * PhotoCellPainter::badgeInset
                        - PhotoCellPainter::badgeSize - 4;
    if (room < 24 || imageRect.height() < 2 * height) {
        return;
    }
    const QString shown = metrics.elidedText(text, Qt::ElideRight, room - 2 * padding);
    const QRectF tag(imageRect.left() + PhotoCellPainter::badgeInset,
                     imageRect.top() + PhotoCellPainter::badgeInset,
                     metrics.horizontalAdvance(shown) + 2 * padding, height);
    QColor fill = DarkroomPalette::canvas();
    fill.setAlphaF(0.84f);
    QPainterPath shape;
    shape.addRoundedRect(tag, 4, 4);
    painter.fillPath(shape, fill);
    painter.setFont(fonts().companions);
    painter.setPen(DarkroomPalette::paper());
    painter.drawText(tag, Qt::AlignCenter, shown);
}

// A video's play glyph and length ("0:12"), a quiet pill over the bottom leading corner,
// `bottomInset` above the image's bottom edge.
void paintVideoTag(QPainter &painter,
                   const QRectF &imageRect,
                   const Photo &photo,
                   double bottomInset = PhotoCellPainter::badgeInset)
{
    if (photo.kind != ImageKind::video) {
        return;
    }
    constexpr double height = 16;
    constexpr double padding = 5;
    constexpr double glyph = 10;
    if (imageRect.height() < bottomInset + 2 * height || imageRect.width() < 40) {
        return;
    }
    const QString text = photo.durationLabel();
    const QFontMetricsF metrics(fonts().companions);
    const double textWidth = text.isEmpty() ? 0 : metrics.horizontalAdvance(text) + 3;
    const QRectF tag(imageRect.left() + PhotoCellPainter::badgeInset,
                     imageRect.bottom() - bottomInset - height, 2 * padding + glyph + textWidth,
                     height);
    QColor fill = DarkroomPalette::canvas();
    fill.setAlphaF(0.84f);
    QPainterPath shape;
    shape.addRoundedRect(tag, 4, 4);
    painter.fillPath(shape, fill);
    Symbols::paint(
        painter, QStringLiteral("play.fill"),
        QRectF(tag.left() + padding - 1, tag.center().y() - glyph / 2 - 1, glyph + 2, glyph + 2),
        DarkroomPalette::paper(), 1);
    if (!text.isEmpty()) {
        painter.setFont(fonts().companions);
        painter.setPen(DarkroomPalette::paper());
        painter.drawText(QRectF(tag.left() + padding + glyph + 3, tag.top(), textWidth, height),
                         Qt::AlignLeft | Qt::AlignVCenter, text);
    }
}

// A burst: a thin band in the gap under the image (where there is one), joined to the next
// frame's; on the first frame the burst's size, and a star on its sharpest frame, in a pill
// over the bottom trailing corner, `bottomInset` above the image's bottom edge.
void paintBurst(QPainter &painter,
                const QRectF &imageRect,
                const PhotoCellState &state,
                bool band = true,
                double bottomInset = PhotoCellPainter::badgeInset)
{
    if (!state.burst) {
        return;
    }
    const Bursts::Mark &mark = *state.burst;
    if (band) {
        QColor colour = DarkroomPalette::ember();
        colour.setAlphaF(0.7f);
        constexpr double bandHeight = 3;
        const double top = imageRect.bottom() + (PhotoCellPainter::captionGap - bandHeight) / 2;
        const double inset = mark.position == 0 ? 2 : 0;
        painter.fillRect(QRectF(imageRect.left() + inset, top,
                                imageRect.width() - inset + state.burstBandReach -
                                    (mark.position + 1 == mark.count ? 2 : 0),
                                bandHeight),
                         colour);
    }

    constexpr double height = 16;
    constexpr double padding = 5;
    constexpr double glyph = 11;
    const QString text =
        mark.position == 0 ? PhotoCellPainter::burstCountText(mark.count) : QString();
    if ((text.isEmpty() && !mark.best) || imageRect.height() < bottomInset + 2 * height ||
        imageRect.width() < 48) {
        return;
    }
    const QFontMetricsF metrics(fonts().companions);
    const double textWidth = text.isEmpty() ? 0 : metrics.horizontalAdvance(text);
    const double starWidth = mark.best ? glyph + (text.isEmpty() ? 0 : 3) : 0;
    const double width = 2 * padding + starWidth + textWidth;
    const QRectF pill(imageRect.right() - PhotoCellPainter::badgeInset - width,
                      imageRect.bottom() - bottomInset - height, width, height);
    QColor fill = DarkroomPalette::canvas();
    fill.setAlphaF(0.84f);
    QPainterPath shape;
    shape.addRoundedRect(pill, 4, 4);
    painter.fillPath(shape, fill);
    if (mark.best) {
        Symbols::paint(painter, QStringLiteral("star.fill"),
                       QRectF(pill.left() + padding - 1, pill.center().y() - glyph / 2 - 1,
                              glyph + 2, glyph + 2),
                       DarkroomPalette::ember(), 1);
    }
    if (!text.isEmpty()) {
        painter.setFont(fonts().companions);
        painter.setPen(DarkroomPalette::paper());
        painter.drawText(QRectF(pill.left() + padding + starWidth, pill.top(), textWidth, height),
                         Qt::AlignLeft | Qt::AlignVCenter, text);
    }
}

void paintBadge(QPainter &painter,
                const QRectF &rect,
                qsizetype selectedCount,
                const QFont &countFont,
                double radius = 4)
{
    QPainterPath shape;
    shape.addRoundedRect(rect, radius, radius);
    painter.fillPath(shape, DarkroomPalette::ember());
    const QString text = PhotoCellPainter::badgeText(selectedCount);
    if (text.isEmpty()) {
        Symbols::paint(painter, QStringLiteral("checkmark"), rect.adjusted(6, 6, -6, -6),
                       DarkroomPalette::canvas(), 1.8);
        return;
    }
    QFont font = countFont;
    const double room = rect.width() - 4;
    const double width = QFontMetricsF(font).horizontalAdvance(text);
    if (width > room) { // shrink to fit, down to 0.65 of the size
        font.setPixelSize(qMax(1, qRound(font.pixelSize() * qMax(0.65, room / width))));
    }
    painter.setFont(font);
    painter.setPen(DarkroomPalette::canvas());
    painter.drawText(rect, Qt::AlignCenter, text);
}

// The image area shared by the cells: `raised`, the thumbnail filling it (brightened while
// hovered) or the placeholder, and then `overlay`, all clipped to the rounded shape.
void paintImageArea(QPainter &painter,
                    const QRectF &rect,
                    const Photo *placeholderExtension,
                    const QImage &thumbnail,
                    bool hovered,
                    double radius,
                    const std::function<void()> &overlay = {})
{
    QPainterPath shape;
    shape.addRoundedRect(rect, radius, radius);
    painter.save();
    painter.setClipPath(shape);
    painter.fillRect(rect, DarkroomPalette::raised());
    if (thumbnail.isNull()) {
        paintPlaceholder(painter, rect, placeholderExtension);
    } else {
        PhotoCellPainter::drawFilling(painter, rect, thumbnail);
        if (hovered) {
            painter.save();
            painter.setCompositionMode(QPainter::CompositionMode_Plus);
            painter.fillRect(rect, QColor(hoverLift, hoverLift, hoverLift));
            painter.restore();
        }
    }
    if (overlay) {
        overlay();
    }
    painter.restore();
}

// Painter state for one cell: smooth edges and scaling, restored afterwards.
struct CellPainting
{
    explicit CellPainting(QPainter &p)
        : painter(p)
    {
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
    }
    ~CellPainting() { painter.restore(); }
    CellPainting(const CellPainting &) = delete;
    CellPainting &operator=(const CellPainting &) = delete;
    QPainter &painter;
};

void paintOutline(
    QPainter &painter, const QRectF &rect, bool selected, double selectedWidth, double radius)
{
    const double lineWidth = selected ? selectedWidth : 1;
    const double inset = lineWidth / 2;
    painter.setPen(
        QPen(selected ? DarkroomPalette::ember() : DarkroomPalette::separator(), lineWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(rect.adjusted(inset, inset, -inset, -inset), radius, radius);
}

} // namespace

namespace PhotoCellPainter {

QRectF badgeRect(const QRectF &imageRect)
{
    return {imageRect.right() - badgeInset - badgeSize, imageRect.top() + badgeInset, badgeSize,
            badgeSize};
}

QString badgeText(qsizetype selectedCount)
{
    return selectedCount < 2 ? QString() : QLocale().toString(selectedCount);
}

QString burstCountText(qsizetype count)
{
    return QCoreApplication::translate("PhotoCellPainter", "%1 similar")
        .arg(QLocale().toString(count));
}

bool BurstLook::looksLike(const BurstLook &other) const
{
    if (mark.has_value() != other.mark.has_value()) {
        return false;
    }
    return !mark || (mark->position == other.mark->position && mark->count == other.mark->count &&
                     mark->best == other.mark->best && bandReach == other.bandReach);
}

QList<BurstLook>
burstLooks(const QStringList &ids, const QList<QRectF> &rects, const Bursts &groups)
{
    Q_ASSERT(ids.size() == rects.size());
    QList<BurstLook> looks(ids.size());
    if (groups.isEmpty()) {
        return looks;
    }
    for (qsizetype i = 0; i < ids.size(); ++i) {
        looks[i].mark = groups.mark(ids[i]);
    }
    for (qsizetype i = 0; i + 1 < ids.size(); ++i) {
        const std::optional<Bursts::Mark> &mark = looks[i].mark;
        const std::optional<Bursts::Mark> &next = looks[i + 1].mark;
        const QRectF &cell = rects[i];
        const QRectF &nextCell = rects[i + 1];
        if (mark && next && next->group == mark->group && next->position == mark->position + 1 &&
            qFuzzyCompare(nextCell.top(), cell.top()) && nextCell.left() > cell.right()) {
            looks[i].bandReach = nextCell.left() - cell.right();
        }
    }
    return looks;
}

void drawFilling(QPainter &painter, const QRectF &target, const QImage &image)
{
    const QSizeF imageSize = image.deviceIndependentSize() * image.devicePixelRatio();
    if (imageSize.isEmpty() || target.isEmpty()) {
        return;
    }
    const double scale =
        qMax(target.width() / imageSize.width(), target.height() / imageSize.height());
    const QSizeF shown(target.width() / scale, target.height() / scale);
    const QRectF source(
        QPointF((imageSize.width() - shown.width()) / 2, (imageSize.height() - shown.height()) / 2),
        shown);
    painter.drawImage(target, image, source);
}

void paint(QPainter &painter,
           const QRectF &imageRect,
           const Photo &photo,
           const QImage &thumbnail,
           const PhotoCellState &state)
{
    const CellPainting cell(painter);
    paintImageArea(painter, imageRect, &photo, thumbnail, state.hovered, cornerRadius);
    paintOutline(painter, imageRect, state.selected, 3, cornerRadius);
    paintCompanionTag(painter, imageRect, photo);
    paintVideoTag(painter, imageRect, photo);
    paintBurst(painter, imageRect, state);
    if (state.selected) {
        paintBadge(painter, badgeRect(imageRect), state.selectedCount, fonts().badge);
    }

    const QFont &nameFont = state.selected ? fonts().nameSelected : fonts().name;
    const QRectF caption(imageRect.left(), imageRect.bottom() + captionGap, imageRect.width(),
                         captionHeight);
    painter.setFont(nameFont);
    painter.setPen(state.selected ? DarkroomPalette::paper() : DarkroomPalette::mutedPaper());
    const QString name = QFontMetricsF(nameFont).elidedText(
        state.caption.isEmpty() ? Typography::displayName(photo.filename) : state.caption,
        Qt::ElideMiddle, caption.width());
    painter.drawText(caption, Qt::AlignLeft | Qt::AlignVCenter, name);
}

void paintMasonry(QPainter &painter,
                  const QRectF &rect,
                  const Photo &photo,
                  const QImage &thumbnail,
                  const PhotoCellState &state)
{
    const CellPainting cell(painter);
    // The caption bar across the bottom, always shown, inside the image's rounded shape.
    const auto caption = [&] {
        const double barHeight = qMin(rect.height(), masonryCaptionHeight);
        const QRectF bar(rect.left(), rect.bottom() - barHeight, rect.width(), barHeight);
        QColor barColor = DarkroomPalette::canvas();
        barColor.setAlphaF(0.84f);
        painter.fillRect(bar, barColor);
        painter.setFont(fonts().caption);
        painter.setPen(DarkroomPalette::paper());
        const QRectF text = bar.adjusted(9, 0, -9, 0);
        painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
                         QFontMetricsF(fonts().caption)
                             .elidedText(state.caption.isEmpty()
                                             ? Typography::displayName(photo.filename)
                                             : state.caption,
                                         Qt::ElideMiddle, text.width()));
    };
    paintImageArea(painter, rect, nullptr, thumbnail, state.hovered, cornerRadius, caption);
    paintOutline(painter, rect, state.selected, 3, cornerRadius);
    paintCompanionTag(painter, rect, photo);
    paintVideoTag(painter, rect, photo,
                  qMin(rect.height(), masonryCaptionHeight) + PhotoCellPainter::badgeInset);
    // Columns flow down: no band joins the cells, the count and the star say it all.
    paintBurst(painter, rect, state, false,
               qMin(rect.height(), masonryCaptionHeight) + PhotoCellPainter::badgeInset);
    if (state.selected) {
        paintBadge(painter, badgeRect(rect), state.selectedCount, fonts().badge);
    }
}

QRectF listBadgeRect(const QRectF &rect)
{
    constexpr double size = 18;
    constexpr double inset = 3;
    return {rect.right() - inset - size, rect.top() + inset, size, size};
}

void paintListThumbnail(QPainter &painter,
                        const QRectF &rect,
                        const QImage &thumbnail,
                        const PhotoCellState &state)
{
    constexpr double radius = 4;
    const CellPainting cell(painter);
    paintImageArea(painter, rect, nullptr, thumbnail, false, radius);
    paintOutline(painter, rect, state.selected, 2, radius);
    if (hasMultiFileHandle(state)) {
        paintBadge(painter, listBadgeRect(rect), state.selectedCount, fonts().listBadge, 3);
    }
}

} // namespace PhotoCellPainter
