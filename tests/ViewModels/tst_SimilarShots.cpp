#include "ViewModels/SimilarShots.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// When the grouping of bursts starts. Whether it started is read from what it tells the
// similarity pass first: the collection's photos.
class tst_SimilarShots : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstChangeAtOnceThenOnePerInterval();
    void screensLastFactsGroupedAtOnce();
};

namespace {
// The photo of the file `name` in `folder`, written already.
Photo photoIn(const QTemporaryDir &folder, const QString &name)
{
    Photo photo;
    photo.id = photo.filename = name;
    photo.url = QUrl::fromLocalFile(folder.filePath(name));
    photo.byteCount = QFile(folder.filePath(name)).size();
    return photo;
}

// Two frames of one burst: the same picture twice, neither with a capture time.
std::optional<PhotoCollection> burstOfTwo(const QTemporaryDir &folder)
{
    PhotoCollection collection;
    collection.rootURL = QUrl::fromLocalFile(folder.path());
    collection.sections = {PhotoSection{}};
    QImage picture(256, 192, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            picture.setPixel(x, y, qRgb(x, y, (x * y) % 256));
        }
    }
    for (const QString &name : {u"a.jpg"_s, u"b.jpg"_s}) {
        if (!picture.save(folder.filePath(name), "JPG")) {
            return std::nullopt;
        }
        collection.sections[0].photos.append(photoIn(folder, name));
    }
    return collection;
}
} // namespace

void tst_SimilarShots::firstChangeAtOnceThenOnePerInterval()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    std::optional<PhotoCollection> collection = PhotoCollection{};
    collection->rootURL = QUrl::fromLocalFile(folder.path());
    collection->sections = {PhotoSection{}};
    const auto addPhoto = [&](const QString &name) {
        QFile file(folder.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("not a picture") > 0);
        file.close();
        collection->sections[0].photos.append(photoIn(folder, name));
    };
    addPhoto(u"a.jpg"_s);
    addPhoto(u"b.jpg"_s);
    SimilarShots shots(
        [&collection]() -> const std::optional<PhotoCollection> & { return collection; });
    // An interval no test outlives: only a grouping that starts at once is seen.
    shots.setRegroupInterval(3'600'000);

    shots.collectionChanged(SimilarShots::Change::any);
    QTRY_COMPARE_WITH_TIMEOUT(shots.index().totalCount(), qsizetype(2), 5'000);

    // A change right after waits out the interval.
    addPhoto(u"c.jpg"_s);
    shots.collectionChanged(SimilarShots::Change::any);
    QTest::qWait(200);
    QCOMPARE(shots.index().totalCount(), qsizetype(2));
}

// The marks of the photos on screen come with their last facts, not an interval later.
void tst_SimilarShots::screensLastFactsGroupedAtOnce()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const std::optional<PhotoCollection> collection = burstOfTwo(folder);
    QVERIFY(collection);
    SimilarShots shots(
        [&collection]() -> const std::optional<PhotoCollection> & { return collection; });
    shots.setRegroupInterval(3'600'000);
    const int holder = 0;
    shots.index().hold(&holder); // nothing is measured before the screen is known
    shots.collectionChanged(SimilarShots::Change::any);
    // The first grouping, at once, finds no facts yet and starts the interval.
    QTRY_COMPARE_WITH_TIMEOUT(shots.index().totalCount(), qsizetype(2), 5'000);
    QVERIFY(shots.bursts().groups().isEmpty());

    shots.index().prioritize(collection->sections[0].photos);
    shots.index().release(&holder);
    QTRY_COMPARE_WITH_TIMEOUT(shots.bursts().groups().size(), qsizetype(1), 5'000);
    QCOMPARE(shots.bursts().groups().first(), QStringList({u"a.jpg"_s, u"b.jpg"_s}));
}

QTEST_GUILESS_MAIN(tst_SimilarShots)
#include "tst_SimilarShots.moc"
