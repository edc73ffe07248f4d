#include "DarkroomButton.h"

#include "DarkroomPalette.h"
#include "Symbols.h"

#include <QPainter>
#include <QPixmap>

#include <cmath>

namespace {

constexpr int horizontalInset = 14;
constexpr int buttonHeight = 34;
constexpr qreal cornerRadius = 7;
constexpr int symbolSize = 13;
constexpr int symbolSpacing = 6;
constexpr qreal pressedOpacity = 0.72;
constexpr qreal disabledOpacity = 0.45;

} // namespace

DarkroomButton::DarkroomButton(const QString &text, bool prominent, QWidget *parent)
    : QPushButton(text, parent)
    , m_prominent(prominent)
{
    QFont labelFont = font();
    labelFont.setPixelSize(13);
    labelFont.setWeight(QFont::DemiBold);
    setFont(labelFont);
    setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
}

void DarkroomButton::setSymbol(const QString &name)
{
    if (name != m_symbol) {
        m_symbol = name;
        updateGeometry();
        update();
    }
}

QSize DarkroomButton::sizeHint() const
{
    // Rounded up, so the label is never elided at the hinted size.
    int contentWidth = int(std::ceil(QFontMetricsF(font()).horizontalAdvance(text())));
    if (!m_symbol.isEmpty()) {
        contentWidth += symbolSize + (text().isEmpty() ? 0 : symbolSpacing);
    }
    return {2 * horizontalInset + contentWidth, buttonHeight};
}

void DarkroomButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const qreal opacity = isDown() ? pressedOpacity : isEnabled() ? 1.0 : disabledOpacity;
    if (opacity == 1.0) {
        paintContent(painter);
        return;
    }
    // Fill, outline and label fade as one layer, so the outline does not show through the fill.
    const qreal ratio = devicePixelRatioF();
    QPixmap layer(size() * ratio);
    layer.setDevicePixelRatio(ratio);
    layer.fill(Qt::transparent);
    QPainter layerPainter(&layer);
    paintContent(layerPainter);
    layerPainter.end();
    painter.setOpacity(opacity);
    painter.drawPixmap(0, 0, layer);
}

void DarkroomButton::paintContent(QPainter &painter) const
{
    using namespace DarkroomPalette;
    painter.setRenderHint(QPainter::Antialiasing);

    // Half a pixel in, so the 1 px outline falls on whole pixels.
    const QRectF shape = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(m_prominent ? ember() : separator(), 1));
    painter.setBrush(m_prominent ? ember() : raised());
    painter.drawRoundedRect(shape, cornerRadius, cornerRadius);

    if (hasFocus()) {
        painter.setPen(QPen(m_prominent ? canvas() : paper(), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(shape.adjusted(2, 2, -2, -2), cornerRadius - 2, cornerRadius - 2);
    }

    const QColor &labelColor = m_prominent ? canvas() : paper();
    const QRect content = rect().adjusted(horizontalInset, 0, -horizontalInset, 0);
    const int symbolWidth = m_symbol.isEmpty() ? 0 : symbolSize + symbolSpacing;
    const QFontMetricsF metrics(font());
    const QString label =
        metrics.elidedText(text(), Qt::ElideRight, std::max(0, content.width() - symbolWidth));
    const int labelWidth = int(std::ceil(metrics.horizontalAdvance(label)));
    const int totalWidth =
        label.isEmpty() ? (m_symbol.isEmpty() ? 0 : symbolSize) : symbolWidth + labelWidth;
    int x = content.left() + std::max(0, (content.width() - totalWidth) / 2);

    if (!m_symbol.isEmpty()) {
        const QRectF symbolArea(x, (rect().height() - symbolSize) / 2.0, symbolSize, symbolSize);
        Symbols::paint(painter, m_symbol, symbolArea, labelColor, 1.1);
        x += symbolWidth;
    }
    painter.setPen(labelColor);
    painter.setFont(font());
    painter.drawText(QRect(x, 0, labelWidth, rect().height()), Qt::AlignLeft | Qt::AlignVCenter,
                     label);
}
