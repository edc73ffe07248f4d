#include "SegmentedControl.h"

#include "DarkroomPalette.h"
#include "Symbols.h"
#include "Typography.h"

#include <QFontMetrics>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

namespace {

constexpr int controlHeight = 28;
constexpr int inset = 2;
constexpr int textPadding = 10; // on each side of a segment's text

QFont segmentFont()
{
    return Typography::font(12, QFont::DemiBold);
}

} // namespace

SegmentedControl::SegmentedControl(QList<Segment> segments, int width, QWidget *parent)
    : QWidget(parent)
    , m_segments(std::move(segments))
    , m_width(width)
{
    // Segments share the width equally: a translation longer than the width was made for
    // ("Parcourir") widens every segment, so none of them touches its edges.
    const QFontMetrics metrics(segmentFont());
    for (const Segment &segment : std::as_const(m_segments)) {
        const int needed = metrics.horizontalAdvance(segment.text) + 2 * textPadding;
        m_width = qMax(m_width, int(m_segments.size()) * needed + 2 * inset);
    }
    setFixedSize(sizeHint());
    setCursor(Qt::PointingHandCursor);
}

QSize SegmentedControl::sizeHint() const
{
    return {m_width, controlHeight};
}

void SegmentedControl::setCurrentIndex(int index)
{
    if (index != m_current) {
        m_current = index;
        update();
    }
}

QRect SegmentedControl::segmentRect(int index) const
{
    const int n = int(qMax<qsizetype>(1, m_segments.size()));
    const int usable = width() - 2 * inset;
    const int left = inset + usable * index / n;
    const int right = inset + usable * (index + 1) / n;
    return {left, inset, right - left, controlHeight - 2 * inset};
}

int SegmentedControl::segmentAt(QPoint point) const
{
    for (int i = 0; i < m_segments.size(); ++i) {
        if (segmentRect(i).contains(point)) {
            return i;
        }
    }
    return -1;
}

void SegmentedControl::paintEvent(QPaintEvent *)
{
    using namespace DarkroomPalette;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(separator(), 1));
    painter.setBrush(raised());
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    const QFont font = segmentFont();
    for (int i = 0; i < m_segments.size(); ++i) {
        const QRectF area = segmentRect(i);
        const bool current = i == m_current;
        if (current) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(separator());
            painter.drawRoundedRect(area, 6, 6);
        }
        const QColor color = !isEnabled() ? quiet() : current ? paper() : mutedPaper();
        const Segment &segment = m_segments[i];
        if (!segment.symbol.isEmpty()) {
            const double side = 14;
            Symbols::paint(
                painter, segment.symbol,
                QRectF(area.center().x() - side / 2, area.center().y() - side / 2, side, side),
                color);
        } else {
            painter.setFont(font);
            painter.setPen(color);
            painter.drawText(area, Qt::AlignCenter, segment.text);
        }
    }
}

void SegmentedControl::mousePressEvent(QMouseEvent *event)
{
    const int index = segmentAt(event->position().toPoint());
    if (event->button() != Qt::LeftButton || index < 0) {
        QWidget::mousePressEvent(event);
        return;
    }
    setCurrentIndex(index);
    Q_EMIT activated(index);
}

bool SegmentedControl::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const int index = segmentAt(help->pos());
        const QString tip = index >= 0 && !m_segments[index].toolTip.isEmpty()
                                ? m_segments[index].toolTip
                                : toolTip();
        if (tip.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), tip, this, segmentRect(index));
        }
        return true;
    }
    return QWidget::event(event);
}
