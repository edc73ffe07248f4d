#include "Symbols.h"

#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// All symbols are drawn in a 24 × 24 design box with a pen already set up for line art.
constexpr qreal designSide = 24.0;
constexpr qreal strokeWidth = 1.7;

void roundedRect(QPainter &p, const QRectF &rect, qreal radius)
{
    p.drawRoundedRect(rect, radius, radius);
}

void fillDot(QPainter &p, const QPointF &centre, qreal radius)
{
    p.save();
    p.setBrush(p.pen().color());
    p.setPen(Qt::NoPen);
    p.drawEllipse(centre, radius, radius);
    p.restore();
}

QPainterPath folderPath()
{
    QPainterPath path;
    path.moveTo(3, 7);
    path.quadTo(3, 5, 5, 5);
    path.lineTo(9, 5);
    path.lineTo(11, 7.5);
    path.lineTo(19, 7.5);
    path.quadTo(21, 7.5, 21, 9.5);
    path.lineTo(21, 17);
    path.quadTo(21, 19, 19, 19);
    path.lineTo(5, 19);
    path.quadTo(3, 19, 3, 17);
    path.closeSubpath();
    return path;
}

void drawFolder(QPainter &p)
{
    p.drawPath(folderPath());
    p.drawLine(QPointF(3, 10.5), QPointF(21, 10.5));
}

void drawFolderBadgePlus(QPainter &p)
{
    // The folder with its lower right corner cut away for the badge.
    p.save();
    QPainterPath clip;
    clip.addRect(QRectF(0, 0, designSide, designSide));
    QPainterPath badge;
    badge.addEllipse(QPointF(18.5, 17.5), 6, 6);
    p.setClipPath(clip.subtracted(badge));
    drawFolder(p);
    p.restore();
    p.drawLine(QPointF(18.5, 14.5), QPointF(18.5, 20.5));
    p.drawLine(QPointF(15.5, 17.5), QPointF(21.5, 17.5));
}

void drawPhoto(QPainter &p)
{
    roundedRect(p, QRectF(3, 5, 18, 14), 2.5);
    p.drawPolyline(std::array{QPointF(5.5, 17), QPointF(10, 11.5), QPointF(13.5, 15),
                              QPointF(15.5, 13), QPointF(18.5, 16.5)}
                       .data(),
                   5);
    fillDot(p, QPointF(16, 9.2), 1.5);
}

void drawPhotoOnRectangleAngled(QPainter &p)
{
    // A second print tilted behind the photo, drawn smaller so both fit the box.
    p.save();
    p.translate(9, 10);
    p.rotate(-10);
    roundedRect(p, QRectF(-6.5, -5, 13, 10), 1.8);
    p.restore();
    p.save();
    p.translate(5.2, 6.2);
    p.scale(0.8, 0.8);
    p.setBrush(Qt::NoBrush);
    drawPhoto(p);
    p.restore();
}

void drawCheckmark(QPainter &p)
{
    QPen pen = p.pen();
    pen.setWidthF(pen.widthF() * 1.25);
    p.setPen(pen);
    p.drawPolyline(std::array{QPointF(5, 12.5), QPointF(9.8, 17.5), QPointF(19, 6.5)}.data(), 3);
}

void drawGrid(QPainter &p, int columns, int rows)
{
    const QRectF box = rows == columns ? QRectF(3.5, 3.5, 17, 17) : QRectF(2.5, 5, 19, 14);
    constexpr qreal gap = 2.2;
    const qreal width = (box.width() - gap * (columns - 1)) / columns;
    const qreal height = (box.height() - gap * (rows - 1)) / rows;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const QRectF cell(box.left() + column * (width + gap), box.top() + row * (height + gap),
                              width, height);
            p.save();
            p.setBrush(p.pen().color());
            p.setPen(Qt::NoPen);
            roundedRect(p, cell, 1);
            p.restore();
        }
    }
}

void drawListBullet(QPainter &p)
{
    for (const qreal y : {6.5, 12.0, 17.5}) {
        fillDot(p, QPointF(5, y), 1.5);
        p.drawLine(QPointF(9.5, y), QPointF(20.5, y));
    }
}

void drawRectangle3Group(QPainter &p)
{
    roundedRect(p, QRectF(3, 4, 8, 16), 2);
    roundedRect(p, QRectF(13.5, 4, 7.5, 6.5), 2);
    roundedRect(p, QRectF(13.5, 13, 7.5, 7), 2);
}

void drawArrowDownDoc(QPainter &p)
{
    QPainterPath page;
    page.moveTo(14, 3);
    page.lineTo(7, 3);
    page.quadTo(5, 3, 5, 5);
    page.lineTo(5, 19);
    page.quadTo(5, 21, 7, 21);
    page.lineTo(17, 21);
    page.quadTo(19, 21, 19, 19);
    page.lineTo(19, 8);
    page.closeSubpath();
    p.drawPath(page);
    p.drawPolyline(std::array{QPointF(14, 3), QPointF(14, 8), QPointF(19, 8)}.data(), 3);
    p.drawLine(QPointF(12, 10.5), QPointF(12, 17.5));
    p.drawPolyline(std::array{QPointF(9.2, 14.8), QPointF(12, 17.6), QPointF(14.8, 14.8)}.data(),
                   3);
}

void drawPlayFill(QPainter &p)
{
    QPainterPath triangle;
    triangle.moveTo(8, 5.5);
    triangle.lineTo(19, 12);
    triangle.lineTo(8, 18.5);
    triangle.closeSubpath();
    p.fillPath(triangle, p.pen().color());
}

void drawStarFill(QPainter &p)
{
    // Five points on a circle of 9 around (12, 12.5), the inner corners on one of 3.8.
    QPainterPath star;
    for (int i = 0; i < 10; ++i) {
        const double radius = i % 2 == 0 ? 9 : 3.8;
        const double angle = -M_PI / 2 + i * M_PI / 5;
        const QPointF point(12 + radius * std::cos(angle), 12.5 + radius * std::sin(angle));
        i == 0 ? star.moveTo(point) : star.lineTo(point);
    }
    star.closeSubpath();
    p.fillPath(star, p.pen().color());
}

void drawPlus(QPainter &p)
{
    p.drawLine(QPointF(12, 5), QPointF(12, 19));
    p.drawLine(QPointF(5, 12), QPointF(19, 12));
}

struct Entry
{
    const char *name;
    void (*draw)(QPainter &);
};

const auto &entries()
{
    static const std::array table{
        Entry{"folder", drawFolder},
        Entry{"folder.badge.plus", drawFolderBadgePlus},
        Entry{"photo", drawPhoto},
        Entry{"photo.on.rectangle.angled", drawPhotoOnRectangleAngled},
        Entry{"checkmark", drawCheckmark},
        Entry{"square.grid.3x3", [](QPainter &p) { drawGrid(p, 3, 3); }},
        Entry{"rectangle.grid.3x2", [](QPainter &p) { drawGrid(p, 3, 2); }},
        Entry{"list.bullet", drawListBullet},
        Entry{"rectangle.3.group", drawRectangle3Group},
        Entry{"arrow.down.doc", drawArrowDownDoc},
        Entry{"plus", drawPlus},
        Entry{"play.fill", drawPlayFill},
        Entry{"star.fill", drawStarFill},
    };
    return table;
}

const Entry *find(const QString &name)
{
    const auto &table = entries();
    const auto it = std::find_if(table.begin(), table.end(), [&](const Entry &entry) {
        return name == QLatin1String(entry.name);
    });
    return it == table.end() ? nullptr : &*it;
}

class SymbolIconEngine final : public QIconEngine
{
public:
    SymbolIconEngine(const QString &name, const QColor &color)
        : m_name(name)
        , m_color(color)
    {
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        QColor color = m_color;
        if (mode == QIcon::Disabled) {
            color.setAlphaF(color.alphaF() * 0.45f);
        }
        Symbols::paint(*painter, m_name, rect, color);
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        paint(&painter, image.rect(), mode, state);
        painter.end();
        return QPixmap::fromImage(std::move(image));
    }

    QIconEngine *clone() const override { return new SymbolIconEngine(m_name, m_color); }
    QString key() const override { return QStringLiteral("CalvenorSymbol"); }
    QString iconName() override { return m_name; }

private:
    QString m_name;
    QColor m_color;
};

} // namespace

namespace Symbols {

QStringList names()
{
    QStringList result;
    for (const Entry &entry : entries()) {
        result.append(QLatin1String(entry.name));
    }
    return result;
}

bool contains(const QString &name)
{
    return find(name) != nullptr;
}

void paint(
    QPainter &painter, const QString &name, const QRectF &area, const QColor &color, qreal weight)
{
    const Entry *entry = find(name);
    const qreal side = std::min(area.width(), area.height());
    if (entry == nullptr || side <= 0) {
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(area.center() - QPointF(side, side) / 2);
    painter.scale(side / designSide, side / designSide);
    painter.setPen(QPen(color, strokeWidth * weight, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    entry->draw(painter);
    painter.restore();
}

QIcon icon(const QString &name, const QColor &color)
{
    return contains(name) ? QIcon(new SymbolIconEngine(name, color)) : QIcon();
}

} // namespace Symbols
