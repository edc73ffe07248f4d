#include "ViewModels/SimilarShots.h"

#include <QFile>
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
};

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
        Photo photo;
        photo.id = photo.filename = name;
        photo.url = QUrl::fromLocalFile(file.fileName());
        photo.byteCount = file.size();
        collection->sections[0].photos.append(photo);
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

QTEST_GUILESS_MAIN(tst_SimilarShots)
#include "tst_SimilarShots.moc"
