#pragma once

// The application's mark: a ring around an "M" stroke with a dot at the upper right, drawn in one
// colour on a transparent background. It always keeps its square shape, scaled to the shorter
// side of the space it gets and centred in it.

#include <QColor>
#include <QWidget>

class BrandMark : public QWidget
{
    Q_OBJECT

public:
    explicit BrandMark(const QColor &color, QWidget *parent = nullptr);

    QColor color() const { return m_color; }
    void setColor(const QColor &color);

    QSize sizeHint() const override { return {34, 34}; }

    // Draws the mark into the largest centred square of `area`.
    static void paint(QPainter &painter, const QRectF &area, const QColor &color);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_color;
};
