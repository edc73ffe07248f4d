#include "Models/NaturalOrder.h"

#include <QRandomGenerator>
#include <QTest>

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
    p.url = QUrl::fromLocalFile(QStringLiteral("/r/") + name);
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
        << QList<Photo>{photo(QStringLiteral("a"), QStringLiteral("IMG_10.jpg")),
                        photo(QStringLiteral("b"), QStringLiteral("IMG_2.jpg"))}
        << QStringList{QStringLiteral("b"), QStringLiteral("a")};
    QTest::newRow("letters without case")
        << QList<Photo>{photo(QStringLiteral("a"), QStringLiteral("b.jpg")),
                        photo(QStringLiteral("b"), QStringLiteral("A.jpg"))}
        << QStringList{QStringLiteral("b"), QStringLiteral("a")};
    QTest::newRow("same name ties by id")
        << QList<Photo>{photo(QStringLiteral("9:2"), QStringLiteral("x.jpg")),
                        photo(QStringLiteral("9:1"), QStringLiteral("x.jpg"))}
        << QStringList{QStringLiteral("9:1"), QStringLiteral("9:2")};
    QTest::newRow("case only breaks ties")
        << QList<Photo>{photo(QStringLiteral("1"), QStringLiteral("b.jpg")),
                        photo(QStringLiteral("2"), QStringLiteral("B.jpg")),
                        photo(QStringLiteral("3"), QStringLiteral("a.jpg"))}
        << QStringList{QStringLiteral("3"), QStringLiteral("1"), QStringLiteral("2")};
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

    QTest::newRow("newest first")
        << QList<Photo>{photo(QStringLiteral("old"), QStringLiteral("a.jpg"), 100),
                        photo(QStringLiteral("new"), QStringLiteral("b.jpg"), 200)}
        << QStringList{QStringLiteral("new"), QStringLiteral("old")};
    QTest::newRow("same time by name")
        << QList<Photo>{photo(QStringLiteral("10"), QStringLiteral("IMG_10.jpg"), 100),
                        photo(QStringLiteral("2"), QStringLiteral("IMG_2.jpg"), 100)}
        << QStringList{QStringLiteral("2"), QStringLiteral("10")};
    QTest::newRow("same time and name keep their order")
        << QList<Photo>{photo(QStringLiteral("z"), QStringLiteral("a.jpg"), 100),
                        photo(QStringLiteral("y"), QStringLiteral("a.jpg"), 100)}
        << QStringList{QStringLiteral("z"), QStringLiteral("y")};
    Photo undated = photo(QStringLiteral("undated"), QStringLiteral("c.jpg"));
    undated.modificationDate = FileTime::distantPast();
    QTest::newRow("no date sorts last")
        << QList<Photo>{undated, photo(QStringLiteral("dated"), QStringLiteral("d.jpg"), -5)}
        << QStringList{QStringLiteral("dated"), QStringLiteral("undated")};
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
    const QStringList stems{QStringLiteral("IMG_"), QStringLiteral("img_"), QStringLiteral("Été "),
                            QStringLiteral("ete "), QStringLiteral("b"), QStringLiteral("B")};
    for (int round = 0; round < rounds; ++round) {
        QList<Photo> photos;
        for (int i = 0; i < count; ++i) {
            const QString name = stems.at(random.bounded(int(stems.size())))
                                 + QString::number(random.bounded(count / 2)) + QStringLiteral(".jpg");
            photos.append(photo(QString::number(random.bounded(20)), name, random.bounded(4)));
        }
        for (const PhotoSortOrder order : allCases<PhotoSortOrder>()) {
            QList<Photo> sorted = photos;
            sortPhotos(sorted, order);
            for (qsizetype i = 1; i < sorted.size(); ++i) {
                if (photoPrecedes(sorted[i], sorted[i - 1], order)) {
                    QFAIL(qPrintable(QStringLiteral("seed %1: %2 sorted after %3")
                                         .arg(seed)
                                         .arg(sorted[i].filename, sorted[i - 1].filename)));
                }
            }
        }
    }
}

void tst_PhotoOrdering::namesSortInFileManagerOrder()
{
    QStringList names{QStringLiteral("Folder 10"), QStringLiteral("folder 2"),
                      QStringLiteral("Archive"), QStringLiteral("Folder 2")};
    sortNames(names);
    QCOMPARE(names, (QStringList{QStringLiteral("Archive"), QStringLiteral("folder 2"),
                                 QStringLiteral("Folder 2"), QStringLiteral("Folder 10")}));
}

QTEST_APPLESS_MAIN(tst_PhotoOrdering)
#include "tst_PhotoOrdering.moc"
