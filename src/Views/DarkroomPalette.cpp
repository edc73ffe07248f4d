#include "DarkroomPalette.h"

#include <QWidget>

namespace DarkroomPalette {

#define CALVENOR_COLOR(name, r, g, b)                                                              \
    const QColor &name()                                                                           \
    {                                                                                              \
        static const QColor color = QColor::fromRgbF(r, g, b);                                     \
        return color;                                                                              \
    }

CALVENOR_COLOR(canvas, 0.047f, 0.045f, 0.043f)
CALVENOR_COLOR(raised, 0.078f, 0.074f, 0.07f)
CALVENOR_COLOR(paper, 0.918f, 0.886f, 0.82f)
CALVENOR_COLOR(mutedPaper, 0.635f, 0.608f, 0.557f)
CALVENOR_COLOR(quiet, 0.39f, 0.376f, 0.352f)
CALVENOR_COLOR(ember, 0.935f, 0.298f, 0.188f)
CALVENOR_COLOR(emberSoft, 0.35f, 0.12f, 0.08f)
CALVENOR_COLOR(separator, 0.165f, 0.157f, 0.145f)

#undef CALVENOR_COLOR

QPalette applicationPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Window, canvas());
    palette.setColor(QPalette::WindowText, paper());
    palette.setColor(QPalette::Base, raised());
    palette.setColor(QPalette::AlternateBase, canvas());
    palette.setColor(QPalette::Text, paper());
    palette.setColor(QPalette::PlaceholderText, quiet());
    palette.setColor(QPalette::Button, raised());
    palette.setColor(QPalette::ButtonText, paper());
    palette.setColor(QPalette::BrightText, paper());
    palette.setColor(QPalette::Highlight, ember());
    palette.setColor(QPalette::HighlightedText, canvas());
    palette.setColor(QPalette::ToolTipBase, raised());
    palette.setColor(QPalette::ToolTipText, paper());
    palette.setColor(QPalette::Light, separator());
    palette.setColor(QPalette::Midlight, separator());
    palette.setColor(QPalette::Mid, quiet());
    palette.setColor(QPalette::Dark, canvas());
    palette.setColor(QPalette::Shadow, canvas());
    palette.setColor(QPalette::Link, ember());
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        palette.setColor(QPalette::Disabled, role, quiet());
    }
    return palette;
}

} // namespace DarkroomPalette

QString DarkroomPalette::scrollBarStyleSheet()
{
    return QStringLiteral(
               "QScrollBar:vertical { background: %1; width: 12px; margin: 0; }"
               "QScrollBar::handle:vertical { background: %2; border-radius: 4px;"
               " min-height: 32px; margin: 2px 3px; }"
               "QScrollBar::handle:vertical:hover { background: %3; }"
               "QScrollBar:horizontal { background: %1; height: 12px; margin: 0; }"
               "QScrollBar::handle:horizontal { background: %2; border-radius: 4px;"
               " min-width: 32px; margin: 3px 2px; }"
               "QScrollBar::handle:horizontal:hover { background: %3; }"
               "QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; }"
               "QScrollBar::add-page, QScrollBar::sub-page { background: none; }")
        .arg(canvas().name(), separator().lighter(150).name(), quiet().name());
}

void DarkroomPalette::fillBackground(QWidget *widget, const QColor &color)
{
    widget->setAutoFillBackground(true);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    widget->setPalette(palette);
}
