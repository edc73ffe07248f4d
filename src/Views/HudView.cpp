#include "HudView.h"

#include "DarkroomPalette.h"
#include "Typography.h"

#include <QGraphicsOpacityEffect>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>

namespace {

QFont hudFont()
{
    return Typography::monospaced(13, QFont::Bold);
}

constexpr int fadeMs = 150;
constexpr int inset = 16;
// A message naming a long file or category is shortened in its middle: the pill stays a
// glance wide and within the window instead of running off both of its sides.
constexpr int widestText = 480;

} // namespace

HudView::HudView(QWidget *parent)
    : QWidget(parent)
    , m_opacity(new QGraphicsOpacityEffect(this))
    , m_fade(new QPropertyAnimation(m_opacity, "opacity", this))
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
    setGraphicsEffect(m_opacity);
    m_opacity->setOpacity(0);
    m_fade->setDuration(fadeMs);
    m_fade->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_fade, &QPropertyAnimation::finished, this, [this] {
        if (!m_showing) {
            hide();
        }
    });
    hide();
}

QSize HudView::sizeHint() const
{
    const QFontMetrics metrics(hudFont());
    // A pixel or two more than the text's advance: eliding measures fractional widths (and the
    // arrow comes from a fallback font), so an exact fit would shorten "→ Category 01".
    return {qMin(metrics.horizontalAdvance(m_message) + 4, widestText) + 2 * inset, 36};
}

void HudView::setMessage(const std::optional<QString> &message, bool animate)
{
    m_fade->stop();
    m_showing = message.has_value();
    if (message) {
        m_message = Typography::displayName(*message); // it names files and categories
        resize(sizeHint());
        show();
        raise();
        update();
    }
    const double target = m_showing ? 1.0 : 0.0;
    if (!animate) {
        m_opacity->setOpacity(target);
        setVisible(m_showing);
        return;
    }
    m_fade->setStartValue(m_opacity->opacity());
    m_fade->setEndValue(target);
    m_fade->start();
}

void HudView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF pill = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QColor outline = DarkroomPalette::ember();
    outline.setAlphaF(0.65f);
    painter.setPen(QPen(outline, 1));
    painter.setBrush(DarkroomPalette::emberSoft());
    painter.drawRoundedRect(pill, 8, 8);
    painter.setFont(hudFont());
    painter.setPen(DarkroomPalette::paper());
    painter.drawText(
        rect(), Qt::AlignCenter,
        QFontMetrics(hudFont()).elidedText(m_message, Qt::ElideMiddle, width() - 2 * inset));
}
