#include "Services/Decoders/ImageScaling.h"
#include "Services/Similarity/SimilarityIndex.h"
#include "Services/Similarity/ThumbnailFacts.h"
#include "support/HeifWriter.h"

#include <QBuffer>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// A thumbnail decoded from a whole HEIC leaves the similarity facts the pass would have measured
// with a second whole decode; the pass takes them once, and only from the file they came from.
class tst_ThumbnailFacts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void leftByWholeDecodesOnly_data();
    void leftByWholeDecodesOnly();
    void takenOnceFromTheSameFile();

private:
    QString written(const QString &name, const QByteArray &bytes);

    QTemporaryDir m_dir;
};

namespace {

// Detail for the hash and the sharpness to read: bands and a disc on a gradient.
QImage scene(QSize size, int shift)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, QColor(30, 60, 200));
    gradient.setColorAt(1, QColor(240, 200, 40));
    painter.fillRect(image.rect(), gradient);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QPoint(size.width() / 3 + shift, size.height() / 2), size.height() / 4,
                        size.height() / 4);
    for (int x = 0; x < size.width(); x += 40) {
        painter.fillRect(x + shift, 0, 12, size.height() / 5, Qt::black);
    }
    return image;
}

} // namespace

QString tst_ThumbnailFacts::written(const QString &name, const QByteArray &bytes)
{
    QFile file(m_dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        return {};
    }
    return file.fileName();
}

void tst_ThumbnailFacts::leftByWholeDecodesOnly_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("needed");
    QTest::addColumn<bool>("replacedAfter");
    QTest::addColumn<bool>("left");
    // The pass measures 800 × 600 at its whole size (sharpnessSide).
    QTest::newRow("HEIC without a thumbnail item") << u"bare"_s << 256 << false << true;
    QTest::newRow("HEIC whose thumbnail item serves") << u"thumbnail"_s << 256 << false << false;
    QTest::newRow("cell larger than the facts' picture") << u"bare"_s << 1000 << false << false;
    QTest::newRow("JPEG: shrinks while decoding") << u"jpeg"_s << 256 << false << false;
    QTest::newRow("file replaced after its thumbnail") << u"bare"_s << 256 << true << false;
}

void tst_ThumbnailFacts::leftByWholeDecodesOnly()
{
    QFETCH(QString, kind);
    QFETCH(int, needed);
    QFETCH(bool, replacedAfter);
    QFETCH(bool, left);
    if (!HeifWriter::canEncode(heif_compression_HEVC)) {
        QSKIP("libheif has no HEVC encoder here");
    }
    const QSize size(800, 600);
    const auto encoded = [&](int shift) {
        if (kind == u"jpeg"_s) {
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            scene(size, shift).save(&buffer, "JPEG", 90);
            return bytes;
        }
        HeifWriter::Fixture fixture;
        fixture.grid = false;
        fixture.picture = scene(size, shift);
        if (kind == u"thumbnail"_s) {
            fixture.thumbnails = {{scene(size, shift), 320}};
        }
        return HeifWriter::encoded(fixture);
    };
    const QString path = written(QString::fromUtf8(QTest::currentDataTag()).replace(u' ', u'_') +
                                     (kind == u"jpeg"_s ? u".jpg"_s : u".heic"_s),
                                 encoded(0));
    QVERIFY(!path.isEmpty());
    QVERIFY(!ThumbnailFacts::shared().take(path));
    const std::optional<SimilarityFacts> measured = SimilarityIndex::computeFacts(path);
    QVERIFY(measured && measured->hash != 0);

    const QImage thumbnail = ThumbnailFacts::decode(path, needed);
    QVERIFY(!thumbnail.isNull());
    QCOMPARE(ImageScaling::longestSide(thumbnail.size()), std::min(needed, 800));
    if (replacedAfter) {
        QVERIFY(!written(path.section(u'/', -1), encoded(37)).isEmpty());
    }
    const std::optional<SimilarityFacts> taken = ThumbnailFacts::shared().take(path);
    QCOMPARE(taken.has_value(), left);
    if (left) {
        QVERIFY(*taken == *measured); // to the bit, as the pass would have measured them
    }
    QCOMPARE(ThumbnailFacts::shared().size(), qsizetype(0));
}

void tst_ThumbnailFacts::takenOnceFromTheSameFile()
{
    const QString path = written(u"taken.jpg"_s, [] {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        scene({64, 48}, 0).save(&buffer, "JPEG");
        return bytes;
    }());
    struct stat status = {};
    QCOMPARE(::lstat(QFile::encodeName(path).constData(), &status), 0);
    const SimilarityFacts planted{0x5eed, 1.5, u"left"_s};

    // The pass takes what was left, once, then measures the file itself.
    ThumbnailFacts::shared().leave(path, status, planted);
    QVERIFY(SimilarityIndex::computeFacts(path) == planted);
    const std::optional<SimilarityFacts> measured = SimilarityIndex::computeFacts(path);
    QVERIFY(measured && *measured != planted);

    // Past its capacity the oldest facts go; leaving a path again replaces its facts.
    ThumbnailFacts few(2);
    const QString other = m_dir.filePath(u"other.jpg"_s);
    const QString third = m_dir.filePath(u"third.jpg"_s);
    few.leave(other, status, planted);
    few.leave(path, status, planted);
    few.leave(path, status, *measured);
    few.leave(third, status, planted);
    QCOMPARE(few.size(), qsizetype(2));
    QVERIFY(!few.take(other));
    QVERIFY(few.take(path) == measured);
}

QTEST_GUILESS_MAIN(tst_ThumbnailFacts)
#include "tst_ThumbnailFacts.moc"
