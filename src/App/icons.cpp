// Draws the application icon at the launcher's sizes from the brand mark, as PNGs:
//   calvenor-icons OUTPUT_FOLDER   writes OUTPUT_FOLDER/<n>x<n>/apps/com.calvenor.photo_sorter.png
// (the hicolor theme's layout)
// The same picture as data/com.calvenor.photo_sorter.svg: the mark on a dark rounded tile.

#include "Views/BrandMark.h"
#include "Views/DarkroomPalette.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen"); // runs during the build, without a display
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QString output = QFile::decodeName(argv[1]);
    for (const int side : {16, 22, 24, 32, 48, 64, 128, 256, 512}) {
        QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        // In the SVG's 48-unit box: the tile 1..47 with a radius of 10, the mark's 36 box at 6.
        const qreal unit = side / 48.0;
        painter.setPen(Qt::NoPen);
        painter.setBrush(DarkroomPalette::canvas());
        painter.drawRoundedRect(QRectF(unit, unit, 46 * unit, 46 * unit), 10 * unit, 10 * unit);
        BrandMark::paint(painter, QRectF(6 * unit, 6 * unit, 36 * unit, 36 * unit),
                         DarkroomPalette::paper());
        painter.end();
        const QString folder = output + QStringLiteral("/%1x%1/apps").arg(side);
        if (!QDir().mkpath(folder)
            || !image.save(folder + QStringLiteral("/com.calvenor.photo_sorter.png"))) {
            std::fprintf(stderr, "could not write %s\n", qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
