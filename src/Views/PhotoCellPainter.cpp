#include "PhotoCellPainter.h"

#include "DarkroomPalette.h"
#include "Symbols.h"
#include "Typography.h"

#include <QFileInfo>
#include <QFontMetricsF>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr double cornerRadius = 5;
constexpr int hoverLift = 14; // 0.055 of full brightness, added to every channel

struct Fonts
{
    QFont nameSelected = Typography::font(11, QFont::DemiBold);
    QFont name = Typography::font(11, QFont::Medium);
    QFont extension = Typography::monospaced(9, QFont::Bold);
    QFont badge = Typography::monospaced(9, QFont::Black);
};

const Fonts &fonts()
{
    static const Fonts instance;
    return instance;
}

void paintPlaceholder(QPainter &painter, const QRectF &area, const Photo &photo)
{
    const QColor color = DarkroomPalette::quiet();
    const QString extension = QFileInfo(photo.filename).suffix().toUpper();
    const double symbolSize = 19;
    const double textHeight = 11;
    const double spacing = 7;
    const double top = area.center().y() - (symbolSize + spacing + textHeight) / 2;
    Symbols::paint(painter, QStringLiteral("photo"),
                   QRectF(area.center().x() - symbolSize / 2, top, symbolSize, symbolSize), color,
                   0.8);
    painter.setFont(fonts().extension);
    painter.setPen(color);
    painter.drawText(QRectF(area.left(), top + symbolSize + spacing, area.width(), textHeight),
                     Qt::AlignCenter, extension);
}

void paintBadge(QPainter &painter, const QRectF &rect, qsizetype selectedCount)
{
    QPainterPath shape;
    shape.addRoundedRect(rect, 4, 4);
    painter.fillPath(shape, DarkroomPalette::ember());
    const QString text = PhotoCellPainter::badgeText(selectedCount);
    if (text.isEmpty()) {
        Symbols::paint(painter, QStringLiteral("checkmark"), rect.adjusted(6, 6, -6, -6),
                       DarkroomPalette::canvas(), 1.8);
        return;
    }
    QFont font = fonts().badge;
    const double room = rect.width() - 4;
    const double width = QFontMetricsF(font).horizontalAdvance(text);
    if (width > room) { // shrink to fit, down to 0.65 of the size
        font.setPixelSize(qMax(1, qRound(font.pixelSize() * qMax(0.65, room / width))));
    }
    painter.setFont(font);
    painter.setPen(DarkroomPalette::canvas());
    painter.drawText(rect, Qt::AlignCenter, text);
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

void drawFilling(QPainter &painter, const QRectF &target, const QImage &image)
{
    const QSizeF imageSize = image.deviceIndependentSize() * image.devicePixelRatio();
    if (imageSize.isEmpty() || target.isEmpty()) {
        return;
    }
    const double scale =
        qMax(target.width() / imageSize.width(), target.height() / imageSize.height());
    const QSizeF shown(target.width() / scale, target.height() / scale);
    const QRectF source(QPointF((imageSize.width() - shown.width()) / 2,
                                (imageSize.height() - shown.height()) / 2),
                        shown);
    painter.drawImage(target, image, source);
}

void paint(QPainter &painter, const QRectF &imageRect, const Photo &photo,
           const QImage &thumbnail, const PhotoCellState &state)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);

    QPainterPath shape;
    shape.addRoundedRect(imageRect, cornerRadius, cornerRadius);
    painter.save();
    painter.setClipPath(shape);
    painter.fillRect(imageRect, DarkroomPalette::raised());
    if (thumbnail.isNull()) {
        paintPlaceholder(painter, imageRect, photo);
    } else {
        drawFilling(painter, imageRect, thumbnail);
        if (state.hovered) {
            painter.setCompositionMode(QPainter::CompositionMode_Plus);
            painter.fillRect(imageRect, QColor(hoverLift, hoverLift, hoverLift));
        }
    }
    painter.restore();

    const double lineWidth = state.selected ? 3 : 1;
    const double inset = lineWidth / 2;
    painter.setPen(QPen(state.selected ? DarkroomPalette::ember() : DarkroomPalette::separator(),
                        lineWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(imageRect.adjusted(inset, inset, -inset, -inset), cornerRadius,
                            cornerRadius);
    if (state.selected) {
        paintBadge(painter, badgeRect(imageRect), state.selectedCount);
    }

    const QFont &nameFont = state.selected ? fonts().nameSelected : fonts().name;
    const QRectF caption(imageRect.left(), imageRect.bottom() + captionGap, imageRect.width(),
                         captionHeight);
    painter.setFont(nameFont);
    painter.setPen(state.selected ? DarkroomPalette::paper() : DarkroomPalette::mutedPaper());
    const QString name =
        QFontMetricsF(nameFont).elidedText(photo.filename, Qt::ElideMiddle, caption.width());
    painter.drawText(caption, Qt::AlignLeft | Qt::AlignVCenter, name);
    painter.restore();
}

} // namespace PhotoCellPainter
