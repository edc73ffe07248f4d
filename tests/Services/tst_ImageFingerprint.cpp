#include "Services/Similarity/ImageFingerprint.h"

#include <QBuffer>
#include <QPainter>
#include <QRandomGenerator>
#include <QTest>

using Focus = std::optional<QPointF>;
Q_DECLARE_METATYPE(Focus)

// Generated scenes: a copy changed as a burst's next frame or a re-saved file changes it must
// hash near the original, another scene far; a softer copy must score less sharp, and detail
// where the subject is (the centre, or the recorded focus point) must outweigh detail elsewhere.
class tst_ImageFingerprint : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void knownHashes_data();
    void knownHashes();
    void hashDistance_data();
    void hashDistance();
    void sharperFirst_data();
    void sharperFirst();
};

namespace {

// Seeded rectangles, soft blobs or strokes (by `kind`) over a gradient, drawn in a 320 × 240
// frame scaled to `size` and moved by `shift` of it. The background runs past the edges, so a
// moved copy shows more of it, not a blank strip.
QImage scene(int kind, quint32 seed, QSize size = {320, 240}, QPointF shift = {})
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size.width() / 320.0, size.height() / 240.0);
    painter.translate(shift.x() * 320, shift.y() * 240);
    QRandomGenerator random(seed);
    const auto colour = [&random] { return QColor::fromRgb(random.generate() | 0xff000000); };
    QLinearGradient background(random.bounded(320), 0, random.bounded(320), 240);
    background.setStops({{0, colour()}, {1, colour()}});
    painter.fillRect(QRect(-100, -100, 520, 440), background);
    for (int i = 0; i < 14; ++i) {
        const QRectF place(random.bounded(320) - 30, random.bounded(240) - 30,
                           20 + random.bounded(120), 20 + random.bounded(100));
        if (kind == 0) {
            painter.fillRect(place, colour());
        } else if (kind == 1) {
            QRadialGradient blob(place.center(), place.width() / 2);
            blob.setStops({{0, colour()}, {1, Qt::transparent}});
            painter.fillRect(place, blob);
        } else {
            painter.setPen(QPen(colour(), 1 + random.bounded(8)));
            painter.drawLine(place.topLeft(), place.bottomRight());
        }
    }
    return image;
}

// Each channel scaled and raised, plus seeded noise of up to `noise` levels either way.
QImage retouched(QImage image, double scale, int raise, int noise = 0)
{
    QRandomGenerator random(7);
    const auto channel = [&](int value) {
        const int jitter = noise ? random.bounded(2 * noise + 1) - noise : 0;
        return std::clamp(int(value * scale) + raise + jitter, 0, 255);
    };
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            line[x] =
                qRgb(channel(qRed(line[x])), channel(qGreen(line[x])), channel(qBlue(line[x])));
        }
    }
    return image;
}

QImage recompressed(const QImage &image, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", quality);
    return QImage::fromData(bytes, "JPG");
}

// Softened: shrunk by `factor`, averaging, and enlarged back smoothly.
QImage blurred(const QImage &image, int factor)
{
    return image.scaled(image.size() / factor, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .scaled(image.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// Fine seeded noise, softened everywhere but in `sharp`.
QImage sharpOnlyIn(QRect sharp)
{
    QImage texture(320, 240, QImage::Format_RGB32);
    texture.fill(Qt::gray);
    texture = retouched(texture, 1.0, 0, 90);
    QImage image = blurred(texture, 4);
    QPainter(&image).drawImage(sharp, texture, sharp);
    return image;
}

} // namespace

void tst_ImageFingerprint::knownHashes_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<quint64>("hash");

    const auto painted = [](QRect bright, QColor colour = Qt::white, QColor ground = Qt::black,
                            QImage::Format format = QImage::Format_RGB32) {
        QImage image(90, 80, format);
        image.fill(ground);
        QPainter(&image).fillRect(bright, colour);
        return image;
    };
    QTest::newRow("null") << QImage() << quint64(0);
    QTest::newRow("flat") << painted({}) << quint64(0);
    // Bright in the first four ninths: the fourth pair of each row, across the edge, is set.
    QTest::newRow("bright left") << painted({0, 0, 40, 80}) << 0x1010101010101010ULL;
    QTest::newRow("bright right") << painted({50, 0, 40, 80}) << quint64(0);
    QTest::newRow("bright top left") << painted({0, 0, 40, 40}) << 0x1010101000000000ULL;
    // An edge a pixel into the fourth cell: averaged, that cell is brighter than the fifth.
    QTest::newRow("yellow over 31 columns")
        << painted({0, 0, 31, 80}, Qt::yellow) << 0x3030303030303030ULL;
    // Red is the brighter of red and blue, read from three bytes a pixel.
    QTest::newRow("red beside blue")
        << painted({0, 0, 40, 80}, Qt::red, Qt::blue, QImage::Format_RGB888)
        << 0x1010101010101010ULL;
    // Transparent pixels are black, whatever colour they hide.
    for (const QImage::Format format : {QImage::Format_ARGB32, QImage::Format_RGBA8888}) {
        QImage hidden = painted({40, 0, 50, 80}, Qt::black, QColor(255, 255, 255, 0), format);
        QTest::addRow("white hidden by transparency, format %d", int(format))
            << hidden << quint64(0);
    }
    // Three pixels, white, grey and black, over nine cells: each pixel fills three.
    QImage three(3, 1, QImage::Format_Grayscale8);
    three.scanLine(0)[0] = 255, three.scanLine(0)[1] = 128, three.scanLine(0)[2] = 0;
    QTest::newRow("three pixels") << three << 0x2424242424242424ULL;
}

void tst_ImageFingerprint::knownHashes()
{
    QFETCH(QImage, image);
    QFETCH(quint64, hash);
    QCOMPARE(QString::number(ImageFingerprint::differenceHash(image), 16),
             QString::number(hash, 16));
}

void tst_ImageFingerprint::hashDistance_data()
{
    QTest::addColumn<QImage>("first");
    QTest::addColumn<QImage>("second");
    QTest::addColumn<int>("least");
    QTest::addColumn<int>("most");

    const char *kinds[] = {"rectangles", "blobs", "strokes"};
    for (int kind = 0; kind < 3; ++kind) {
        for (quint32 seed : {1u, 2u}) {
            const QImage original = scene(kind, seed);
            const auto near = [&](const char *change, const QImage &copy, int most) {
                QTest::addRow("%s %u, %s", kinds[kind], seed, change)
                    << original << copy << 0 << most;
            };
            near("shifted 2 %", scene(kind, seed, original.size(), {0.02, 0.02}), 12);
            near("brighter", retouched(original, 1.0, 40), 6);
            near("darker", retouched(original, 0.6, 0), 6);
            near("mild noise", retouched(original, 1.0, 0, 12), 6);
            near("JPEG of quality 60", recompressed(original, 60), 6);
            near("scaled to 200 px",
                 original.scaled(200, 150, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), 6);
            near("drawn at 1024 px", scene(kind, seed, {1024, 768}), 6);
            for (int other = 0; other < 3; ++other) {
                QTest::addRow("%s %u, unlike %s 3", kinds[kind], seed, kinds[other])
                    << original << scene(other, 3) << 13 << 64;
            }
            // Every format reads as the same grey (a grey picture: no weighting of colours), rows
            // padded to whole words or not.
            const QImage grey =
                original.copy(0, 0, 317, 240).convertToFormat(QImage::Format_Grayscale8);
            for (const QImage::Format format :
                 {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied, QImage::Format_RGB888,
                  QImage::Format_RGBA64, QImage::Format_Indexed8}) {
                QTest::addRow("%s %u, grey as format %d", kinds[kind], seed, int(format))
                    << grey << grey.convertToFormat(format) << 0 << 1;
            }
        }
    }
}

void tst_ImageFingerprint::hashDistance()
{
    QFETCH(QImage, first);
    QFETCH(QImage, second);
    QFETCH(int, least);
    QFETCH(int, most);
    const int distance = ImageFingerprint::distance(ImageFingerprint::differenceHash(first),
                                                    ImageFingerprint::differenceHash(second));
    QVERIFY2(distance >= least && distance <= most, qPrintable(QString::number(distance)));
}

void tst_ImageFingerprint::sharperFirst_data()
{
    QTest::addColumn<QImage>("sharper");
    QTest::addColumn<Focus>("sharperFocus");
    QTest::addColumn<QImage>("softer");
    QTest::addColumn<Focus>("softerFocus");

    // Blobs are left out: soft already, they differ from their blur by rounding only.
    const std::pair<const char *, QImage> scenes[] = {{"rectangles", scene(0, 5)},
                                                      {"strokes", scene(2, 5)},
                                                      {"noise", sharpOnlyIn({0, 0, 320, 240})}};
    for (const auto &[name, original] : scenes) {
        QTest::addRow("%s over its blur", name)
            << original << Focus() << blurred(original, 2) << Focus();
        QTest::addRow("%s blurred by 2 over by 4", name)
            << blurred(original, 2) << Focus() << blurred(original, 4) << Focus();
        QTest::addRow("%s in grey over its blur", name)
            << original.convertToFormat(QImage::Format_Grayscale8) << Focus()
            << blurred(original, 2).convertToFormat(QImage::Format_RGB888) << Focus();
    }
    const QImage centre = sharpOnlyIn({120, 90, 80, 60});
    const QImage border = sharpOnlyIn({0, 90, 80, 60});
    const QImage topRight = sharpOnlyIn({240, 0, 80, 60});
    const Focus atBorder = QPointF(0.125, 0.5);
    QTest::newRow("sharp centre over sharp border") << centre << Focus() << border << Focus();
    QTest::newRow("focus on the sharp border over none") << border << atBorder << border << Focus();
    QTest::newRow("focus at the border: sharp border over sharp centre")
        << border << atBorder << centre << atBorder;
    QTest::newRow("focus on the sharp top right over the bottom left")
        << topRight << Focus({0.875, 0.125}) << topRight << Focus({0.125, 0.875});
    QTest::newRow("focus not a number weighs the centre")
        << centre << Focus({qQNaN(), 0.5}) << centre << atBorder;
    QTest::newRow("focus past the edge weighs the edge")
        << border << Focus({-3, 0.5}) << border << Focus();
    // Contrast is not sharpness: a faint crisp texture over a strong smooth gradient.
    QImage gradient(320, 240, QImage::Format_RGB32);
    QPainter(&gradient).fillRect(gradient.rect(), QLinearGradient(0, 0, 320, 0));
    QTest::newRow("faint detail over a strong gradient")
        << retouched(gradient, 0.1, 100, 20) << Focus() << gradient << Focus();
    QTest::newRow("detail over null") << border << Focus() << QImage() << Focus();
    QTest::newRow("detail over 2 px tall")
        << border << Focus() << border.copy(0, 0, 320, 2) << Focus();
}

void tst_ImageFingerprint::sharperFirst()
{
    QFETCH(QImage, sharper);
    QFETCH(Focus, sharperFocus);
    QFETCH(QImage, softer);
    QFETCH(Focus, softerFocus);
    const double high = ImageFingerprint::sharpness(sharper, sharperFocus);
    const double low = ImageFingerprint::sharpness(softer, softerFocus);
    QVERIFY2(high > low, qPrintable(QStringLiteral("%1 <= %2").arg(high).arg(low)));
    if (softer.height() < 3) {
        QCOMPARE(low, 0.0); // nothing to score
    }
}

QTEST_GUILESS_MAIN(tst_ImageFingerprint)
#include "tst_ImageFingerprint.moc"
