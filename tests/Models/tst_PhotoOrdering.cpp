#include "Models/NaturalOrder.h"

#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_PhotoOrdering : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void byFilename_data();
    void byFilename();
    void byDate_data();
    void byDate();
    void sortAgreesWithPairwiseRule_data();
    void sortAgreesWithPairwiseRule();
    void namesSortInFileManagerOrder();
};

static Photo photo(const QString &id, const QString &name, qint64 time = 0)
{
    Photo p;
    p.id = id;
    p.filename = name;
    p.url = QUrl::fromLocalFile(u"/r/"_s + name);
    p.modificationDate = {time, 0};
    return p;
}

static QStringList ids(const QList<Photo> &photos)
{
    QStringList result;
    for (const Photo &p : photos) {
        result.append(p.id);
    }
    return result;
}

void tst_PhotoOrdering::byFilename_data()
{
    QTest::addColumn<QList<Photo>>("input");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("digits by value")
        << QList<Photo>{photo(u"a"_s, u"IMG_10.jpg"_s), photo(u"b"_s, u"IMG_2.jpg"_s)}
        << QStringList{u"b"_s, u"a"_s};
    QTest::newRow("letters without case")
        << QList<Photo>{photo(u"a"_s, u"b.jpg"_s), photo(u"b"_s, u"A.jpg"_s)}
        << QStringList{u"b"_s, u"a"_s};
    QTest::newRow("same name ties by id")
        << QList<Photo>{photo(u"9:2"_s, u"x.jpg"_s), photo(u"9:1"_s, u"x.jpg"_s)}
        << QStringList{u"9:1"_s, u"9:2"_s};
    QTest::newRow("case only breaks ties")
        << QList<Photo>{photo(u"1"_s, u"b.jpg"_s), photo(u"2"_s, u"B.jpg"_s),
                        photo(u"3"_s, u"a.jpg"_s)}
        << QStringList{u"3"_s, u"1"_s, u"2"_s};
}

void tst_PhotoOrdering::byFilename()
{
    QFETCH(QList<Photo>, input);
    QFETCH(QStringList, expected);
    sortPhotos(input, PhotoSortOrder::filename);
    QCOMPARE(ids(input), expected);
}

void tst_PhotoOrdering::byDate_data()
{
    QTest::addColumn<QList<Photo>>("input");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("newest first") << QList<Photo>{photo(u"old"_s, u"a.jpg"_s, 100),
                                                  photo(u"new"_s, u"b.jpg"_s, 200)}
                                  << QStringList{u"new"_s, u"old"_s};
    QTest::newRow("same time by name")
        << QList<Photo>{photo(u"10"_s, u"IMG_10.jpg"_s, 100), photo(u"2"_s, u"IMG_2.jpg"_s, 100)}
        << QStringList{u"2"_s, u"10"_s};
    QTest::newRow("same time and name keep their order")
        << QList<Photo>{photo(u"z"_s, u"a.jpg"_s, 100), photo(u"y"_s, u"a.jpg"_s, 100)}
        << QStringList{u"z"_s, u"y"_s};
    Photo undated = photo(u"undated"_s, u"c.jpg"_s);
    undated.modificationDate = FileTime::distantPast();
    QTest::newRow("no date sorts last") << QList<Photo>{undated, photo(u"dated"_s, u"d.jpg"_s, -5)}
                                        << QStringList{u"dated"_s, u"undated"_s};
}

void tst_PhotoOrdering::byDate()
{
    QFETCH(QList<Photo>, input);
    QFETCH(QStringList, expected);
    sortPhotos(input, PhotoSortOrder::modificationDate);
    QCOMPARE(ids(input), expected);
}

void tst_PhotoOrdering::sortAgreesWithPairwiseRule_data()
{
    QTest::addColumn<int>("rounds");
    QTest::addColumn<int>("count");
    QTest::newRow("small lists") << 50 << 40;
    QTest::newRow("a list sorted in two halves") << 2 << 20'000;
}

// The fast key-based sort and the pairwise rule must never disagree, or the scanner and the
// store's re-sorts would order the same photos differently.
void tst_PhotoOrdering::sortAgreesWithPairwiseRule()
{
    QFETCH(int, rounds);
    QFETCH(int, count);
    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    const QStringList stems{u"IMG_"_s, u"img_"_s, u"Été "_s, u"ete "_s, u"b"_s, u"B"_s};
    for (int round = 0; round < rounds; ++round) {
        QList<Photo> photos;
        for (int i = 0; i < count; ++i) {
            const QString name = stems.at(random.bounded(int(stems.size()))) +
                                 QString::number(random.bounded(count / 2)) + u".jpg"_s;
            photos.append(photo(QString::number(random.bounded(20)), name, random.bounded(4)));
        }
        for (const PhotoSortOrder order : allCases<PhotoSortOrder>()) {
            QList<Photo> sorted = photos;
            sortPhotos(sorted, order);
            for (qsizetype i = 1; i < sorted.size(); ++i) {
                if (photoPrecedes(sorted[i], sorted[i - 1], order)) {
                    QFAIL(qPrintable(u"seed %1: %2 sorted after %3"_s.arg(seed).arg(
                        sorted[i].filename, sorted[i - 1].filename)));
                }
            }
        }
    }
}

void tst_PhotoOrdering::namesSortInFileManagerOrder()
{
    QStringList names{u"Folder 10"_s, u"folder 2"_s, u"Archive"_s, u"Folder 2"_s};
    sortNames(names);
    QCOMPARE(names, (QStringList{u"Archive"_s, u"folder 2"_s, u"Folder 2"_s, u"Folder 10"_s}));
}

QTEST_APPLESS_MAIN(tst_PhotoOrdering)
#include "tst_PhotoOrdering.moc"
