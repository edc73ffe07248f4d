#include "Models/NaturalOrder.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_PhotoOrdering : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Photos without an offset are taken to be in the local zone: fixed here at UTC+1.
    void initTestCase() { qputenv("TZ", "CET-1"); }
    void sorted_data();
    void sorted();
    void sortAgreesWithPairwiseRule_data();
    void sortAgreesWithPairwiseRule();
    void namesSortInFileManagerOrder();
};

// "2024-05-03T10:00:00", with ".25" of sub-seconds and a "+02:00" offset when given.
static CaptureTime capture(const QString &text)
{
    static const QRegularExpression form(
        u"^(\\d{4}-\\d\\d-\\d\\d)T(\\d\\d:\\d\\d:\\d\\d)(?:\\.(\\d+))?(?:([+-])(\\d\\d):(\\d\\d))?$"_s);
    const QRegularExpressionMatch match = form.match(text);
    Q_ASSERT(match.hasMatch());
    std::optional<qint16> offset;
    if (match.hasCaptured(4)) {
        offset = qint16((match.captured(4) == u"-"_s ? -1 : 1) *
                        (match.captured(5).toInt() * 60 + match.captured(6).toInt()));
    }
    return *CaptureTime::make(QDate::fromString(match.captured(1), Qt::ISODate),
                              QTime::fromString(match.captured(2), Qt::ISODate),
                              match.captured(3).leftJustified(9, u'0').toInt(), offset);
}

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
    // "id=name@time#taken": the file time 0 unless given, "-" for none; no capture time unless
    // given.
    QTest::addColumn<QString>("input");
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

    // 2024-05-03 09:00:00 UTC is 1714726800, 10:00 on the local clock.
    const int byTaken = int(PhotoSortOrder::dateTaken);
    QTest::newRow("taken: oldest first, whatever the file times")
        << byTaken << "b=b.jpg@900#2024-05-03T10:00:01 a=a.jpg@100#2024-05-03T10:00:02"
        << "b a";
    QTest::newRow("taken: a photo without one goes by its file time among the others")
        << byTaken
        << "late=a.jpg#2024-05-03T10:00:01 file=b.jpg@1714726800 early=c.jpg#2024-05-03T09:59:59"
        << "early file late";
    QTest::newRow("taken: same time, by name, digits by value")
        << byTaken << "10=IMG_10.jpg#2024-05-03T10:00:00 2=IMG_2.jpg#2024-05-03T10:00:00"
        << "2 10";
    QTest::newRow("taken: same time and name, by id")
        << byTaken << "9:2=x.jpg#2024-05-03T10:00:00 9:1=x.jpg#2024-05-03T10:00:00"
        << "9:1 9:2";
    QTest::newRow("taken: a burst, by sub-seconds")
        << byTaken
        << "c=c.jpg#2024-05-03T10:00:00.5 a=a.jpg#2024-05-03T10:00:00.25 "
           "b=b.jpg#2024-05-03T10:00:00.3"
        << "a b c";
    QTest::newRow("taken: an offset compares in UTC, a clock without one as local time")
        << byTaken << "local=a.jpg#2024-05-03T10:00:00 paris=b.jpg#2024-05-03T10:30:00+02:00"
        << "paris local";
    QTest::newRow("taken: two zones, the earlier moment first")
        << byTaken << "paris=a.jpg#2024-05-03T08:00:00+01:00 tokyo=b.jpg#2024-05-03T09:00:00+09:00"
        << "tokyo paris";
    QTest::newRow("taken: neither capture nor file time goes last")
        << byTaken << "none=a.jpg@- old=b.jpg@-5"
        << "old none";
}

void tst_PhotoOrdering::sorted()
{
    QFETCH(int, order);
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QList<Photo> photos;
    for (const QString &entry : input.split(u' ')) {
        const QString taken = entry.section(u'#', 1);
        const QString rest = entry.section(u'#', 0, 0);
        const QString time = rest.section(u'@', 1);
        photos.append(photo(rest.section(u'=', 0, 0), rest.section(u'=', 1).section(u'@', 0, 0),
                            time.toLongLong()));
        if (time == u"-"_s) {
            photos.last().modificationDate = FileTime::distantPast();
        }
        if (!taken.isEmpty()) {
            photos.last().captureTime = capture(taken);
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
            // Capture times near the file times, some with an offset, so every kind of tie
            // and mix comes up.
            if (random.bounded(2)) {
                const std::optional<qint16> offset =
                    random.bounded(2) ? std::optional<qint16>(qint16(60 * random.bounded(3)))
                                      : std::nullopt;
                photos.last().captureTime =
                    CaptureTime::make(QDate(1970, 1, 1), QTime(1, 0, random.bounded(4)),
                                      random.bounded(2) * 500'000'000, offset);
            }
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
