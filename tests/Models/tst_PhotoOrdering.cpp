#include "Models/NaturalOrder.h"

#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_PhotoOrdering : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sorted_data();
    void sorted();
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

void tst_PhotoOrdering::sorted_data()
{
    QTest::addColumn<int>("order"); // a PhotoSortOrder
    QTest::addColumn<QString>("input"); // "id=name@time", the time 0 unless given, "-" for none
    QTest::addColumn<QString>("expected");

    const int byName = int(PhotoSortOrder::filename);
    const int byDate = int(PhotoSortOrder::modificationDate);
    QTest::newRow("digits by value") << byName << "a=IMG_10.jpg b=IMG_2.jpg" << "b a";
    QTest::newRow("letters without case") << byName << "a=b.jpg b=A.jpg" << "b a";
    QTest::newRow("same name ties by id") << byName << "9:2=x.jpg 9:1=x.jpg" << "9:1 9:2";
    QTest::newRow("case only breaks ties") << byName << "1=b.jpg 2=B.jpg 3=a.jpg" << "3 1 2";
    QTest::newRow("newest first") << byDate << "old=a.jpg@100 new=b.jpg@200" << "new old";
    QTest::newRow("same time by name") << byDate << "10=IMG_10.jpg@100 2=IMG_2.jpg@100" << "2 10";
    QTest::newRow("same time and name keep their order") << byDate << "z=a.jpg@100 y=a.jpg@100"
                                                         << "z y";
    QTest::newRow("no date sorts last") << byDate << "undated=c.jpg@- dated=d.jpg@-5"
                                        << "dated undated";
}

void tst_PhotoOrdering::sorted()
{
    QFETCH(int, order);
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QList<Photo> photos;
    for (const QString &entry : input.split(u' ')) {
        const QString time = entry.section(u'@', 1);
        photos.append(photo(entry.section(u'=', 0, 0), entry.section(u'=', 1).section(u'@', 0, 0),
                            time.toLongLong()));
        if (time == u"-"_s) {
            photos.last().modificationDate = FileTime::distantPast();
        }
    }
    sortPhotos(photos, PhotoSortOrder(order));
    QStringList ids;
    for (const Photo &p : std::as_const(photos)) {
        ids.append(p.id);
    }
    QCOMPARE(ids.join(u' '), expected);
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
