#include "Models/Companions.h"
#include "Models/PhotoLookup.h"

#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

Photo photo(int number, bool withRaw)
{
    Photo shot;
    shot.id = u"2049:"_s + QString::number(100'000 + number);
    shot.filename = u"DSC%1.JPG"_s.arg(number, 5, 10, QLatin1Char('0'));
    if (withRaw) {
        shot.companions.append({u"dsc%1.arw"_s.arg(number, 5, 10, QLatin1Char('0')),
                                u"2049:"_s + QString::number(900'000 + number), {}, 0,
                                ImageKind::raw});
    }
    return shot;
}

} // namespace

class tst_PhotoLookup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void followsMoves_data();
    void followsMoves();
    void nameHash_data();
    void nameHash();
};

void tst_PhotoLookup::followsMoves_data()
{
    QTest::addColumn<int>("photoCount");
    QTest::addColumn<int>("sectionCount");
    QTest::addColumn<int>("moves");
    QTest::addColumn<int>("replaceEvery"); // a change the lookup is not told of, 0 for none

    QTest::newRow("a few moves") << 60 << 3 << 40 << 0;
    QTest::newRow("moves past the rebuild") << 300 << 4 << 1300 << 0;
    QTest::newRow("one section") << 30 << 1 << 50 << 0;
    QTest::newRow("collection replaced between moves") << 80 << 3 << 60 << 7;
}

// Single-photo moves, as the store makes them: asked for the photo's place, the photo taken out
// there and put in at a place of another section, each edit told to the lookup. After each move
// every photo is found where it is, and every name is held where it lies.
void tst_PhotoLookup::followsMoves()
{
    QFETCH(int, photoCount);
    QFETCH(int, sectionCount);
    QFETCH(int, moves);
    QFETCH(int, replaceEvery);

    QRandomGenerator random(photoCount * 7 + moves);
    PhotoCollection collection;
    collection.sections.resize(sectionCount);
    QList<QString> ids;
    for (int i = 0; i < photoCount; ++i) {
        collection.sections[i % sectionCount].photos.append(photo(i, i % 3 == 0));
        ids.append(collection.sections[i % sectionCount].photos.last().id);
    }
    PhotoLookup lookup;
    quint64 revision = 1;
    for (int move = 0; move < moves; ++move) {
        lookup.sync(collection, revision);
        const QString &id = ids[random.bounded(photoCount)];
        const std::optional<PhotoLookup::Place> from = lookup.find(collection, id);
        QVERIFY(from);
        const Photo moving = collection.sections[from->first].photos.takeAt(from->second);
        QCOMPARE(moving.id, id);
        lookup.noteRemoved(*from, moving);
        const qsizetype to = (from->first + 1 + random.bounded(sectionCount)) % sectionCount;
        QList<Photo> &target = collection.sections[to].photos;
        const qsizetype at = random.bounded(target.size() + 1);
        target.insert(at, moving);
        lookup.noteInserted({to, at}, moving);
        ++revision;
        if (replaceEvery > 0 && move % replaceEvery == 0) {
            // Reversed behind the lookup's back, as a rescan may reorder a section.
            std::reverse(target.begin(), target.end());
        } else {
            lookup.advance(revision);
        }

        lookup.sync(collection, revision);
        for (qsizetype s = 0; s < sectionCount; ++s) {
            const QList<Photo> &photos = collection.sections[s].photos;
            for (qsizetype i = 0; i < photos.size(); ++i) {
                QCOMPARE(lookup.find(collection, photos[i].id), PhotoLookup::Place(s, i));
                for (const QString &name : photos[i].memberNames()) {
                    QVERIFY2(lookup.mayHoldName(s, name.toLower()), qPrintable(name));
                }
            }
            // A name that left: held only where it lies now.
            for (const QString &name : moving.memberNames()) {
                QCOMPARE(lookup.mayHoldName(s, name), s == to);
            }
        }
    }
    QCOMPARE(lookup.longWalks(), 0); // every photo found where the lookup had it
    QCOMPARE(lookup.find(collection, u"2049:1"_s), std::nullopt);
    QCOMPARE(lookup.longWalks(), 1);
}

void tst_PhotoLookup::nameHash_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("same");

    QTest::newRow("letter case") << u"IMG_0001.JPG"_s << u"img_0001.jpg"_s << true;
    QTest::newRow("last digit") << u"IMG_0001.JPG"_s << u"IMG_0002.JPG"_s << false;
    QTest::newRow("accented, letter case") << u"Été.jpg"_s << u"éTÉ.JPG"_s << true;
    QTest::newRow("accented, normalization")
        << u"Été.jpg"_s << u"Été.jpg"_s.normalized(QString::NormalizationForm_D) << true;
    QTest::newRow("accent against none") << u"ete.jpg"_s << u"été.jpg"_s << false;
    QTest::newRow("long names, letter case") << QString(200, u'A') << QString(200, u'a') << true;
}

// Names the file system takes as one hash alike, so the lookup never calls a taken name free.
void tst_PhotoLookup::nameHash()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, same);
    QCOMPARE(Companions::nameHash(a) == Companions::nameHash(b), same);
}

QTEST_GUILESS_MAIN(tst_PhotoLookup)
#include "tst_PhotoLookup.moc"
