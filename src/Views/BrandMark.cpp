#include "BrandMark.h"

#include <QPainter>

#include <algorithm>
#include <array>

BrandMark::BrandMark(const QColor &color, QWidget *parent)
    : QWidget(parent)
    , m_color(color)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
}

void BrandMark::setColor(const QColor &color)
{
    if (color != m_color) {
        m_color = color;
        update();
    }
}

void BrandMark::paint(QPainter &painter, const QRectF &area, const QColor &color)
{
    // The geometry lives in a 36 × 36 design box; scaling the painter scales the line widths too.
    constexpr qreal designSide = 36.0;
    const qreal side = std::min(area.width(), area.height());
    if (side <= 0) {
        return;
    }
    const qreal scale = side / designSide;

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(area.center() - QPointF(side, side) / 2);
    painter.scale(scale, scale);
    painter.setBrush(Qt::NoBrush);

    painter.setPen(QPen(color, 1.5, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    painter.drawEllipse(QRectF(2.5, 2.5, 31, 31));

    painter.setPen(QPen(color, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const std::array stroke{QPointF(10.5, 23.5), QPointF(10.5, 12.7), QPointF(18, 19.9),
                            QPointF(25.5, 12.7), QPointF(25.5, 23.5)};
    painter.drawPolyline(stroke.data(), int(stroke.size()));

    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(QRectF(27.1, 6.6, 4.8, 4.8));
    painter.restore();
}

void BrandMark::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paint(painter, rect(), m_color);
}
