#include "Services/Decoders/ImageScaling.h"

#include <QTest>

#include <future>

// Shrinking for a thumbnail: a large picture first sampled down to four times the target (into
// a block kept per thread), then smoothly. Whatever the format and shape, the result must look
// like a smooth scale of the whole picture, and never share memory with the kept block.
class tst_ImageScaling : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void looksLikeASmoothScale_data();
    void looksLikeASmoothScale();
    void resultsNeverShareTheScratch();
};

Q_DECLARE_METATYPE(QImage::Format)

namespace {

// Red across, green down, blue along the diagonal, alpha across from opaque: a sampled pixel
// off by one lands within a level of the exact one, a swapped channel or axis far from it.
QImage gradient(QSize size, QImage::Format format)
{
    QImage image(size, QImage::Format_ARGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const double u = double(x) / size.width(), v = double(y) / size.height();
            line[x] = qRgba(int(255 * u), int(255 * v), int(255 * (u + v) / 2), 255 - int(128 * u));
        }
    }
    return image.convertToFormat(format);
}

// The largest difference of any channel of any pixel, both taken as premultiplied ARGB.
int largestDifference(const QImage &a, const QImage &b)
{
    const QImage left = a.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage right = b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    int largest = 0;
    for (int y = 0; y < left.height(); ++y) {
        for (int x = 0; x < left.width(); ++x) {
            const QRgb p = left.pixel(x, y), q = right.pixel(x, y);
            largest = std::max({largest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
        }
    }
    return largest;
}

QImage filled(QColor colour)
{
    QImage image(4000, 2000, QImage::Format_RGB888);
    image.fill(colour);
    return image;
}

} // namespace

void tst_ImageScaling::looksLikeASmoothScale_data()
{
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("bound");

    const std::initializer_list<std::pair<const char *, QImage::Format>> formats = {
        {"RGB888", QImage::Format_RGB888}, // libheif's
        {"RGB32", QImage::Format_RGB32},
        {"ARGB32 premultiplied", QImage::Format_ARGB32_Premultiplied},
        {"RGBA8888", QImage::Format_RGBA8888},
        {"Grayscale8", QImage::Format_Grayscale8}, // left to Qt
    };
    for (const auto &[name, format] : formats) {
        QTest::addRow("%s, landscape", name) << format << QSize(2001, 1501) << 100;
        QTest::addRow("%s, portrait", name) << format << QSize(1499, 2003) << 97;
        QTest::addRow("%s, a strip", name) << format << QSize(5000, 3) << 100;
        QTest::addRow("%s, one smooth step", name) << format << QSize(390, 300) << 100;
    }
}

void tst_ImageScaling::looksLikeASmoothScale()
{
    QFETCH(QImage::Format, format);
    QFETCH(QSize, size);
    QFETCH(int, bound);
    const QImage image = gradient(size, format);
    const QImage shrunk = ImageScaling::shrunk(image, bound);
    const QSize expected = ImageScaling::bounded(size, bound);
    QCOMPARE(shrunk.size(), expected);
    QCOMPARE(shrunk.hasAlphaChannel(), image.hasAlphaChannel());
    const QImage exact = image.scaled(expected, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QVERIFY2(largestDifference(shrunk, exact) <= 4,
             qPrintable(QString::number(largestDifference(shrunk, exact))));
}

void tst_ImageScaling::resultsNeverShareTheScratch()
{
    // One after another on this thread: the first result survives the second shrink.
    const QImage red = ImageScaling::shrunk(filled(Qt::red), 300);
    const QImage green = ImageScaling::shrunk(filled(Qt::green), 300);
    QCOMPARE(red.pixelColor(150, 75), QColor(Qt::red));
    QCOMPARE(green.pixelColor(150, 75), QColor(Qt::green));

    // Two threads at once, each always its own colour.
    const auto shrinkMany = [](QColor colour) {
        const QImage picture = filled(colour);
        for (int i = 0; i < 100; ++i) {
            const QImage image = ImageScaling::shrunk(picture, 300);
            for (const QPoint at : {QPoint(0, 0), QPoint(150, 75), QPoint(299, 149)}) {
                if (image.pixelColor(at) != colour) {
                    return false;
                }
            }
        }
        return true;
    };
    std::future<bool> blue = std::async(std::launch::async, shrinkMany, QColor(Qt::blue));
    QVERIFY(shrinkMany(Qt::yellow));
    QVERIFY(blue.get());
}

QTEST_GUILESS_MAIN(tst_ImageScaling)
#include "tst_ImageScaling.moc"
