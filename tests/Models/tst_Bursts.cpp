#include "Models/Bursts.h"

#include <QTest>

using namespace Qt::StringLiterals;

// One photo of a row: its section, when it was taken (ms), its camera, a hash whose lowest
// `bits` bits are set (so two frames differ in |bits1 - bits2| bits) and its sharpness.
struct Frame
{
    QString id;
    int section = 0;
    qint64 ms = 0;
    QString camera = u"A"_s;
    int bits = 0;
    double sharpness = 1;
    bool known = true; // facts computed
};
Q_DECLARE_METATYPE(QList<Frame>)

class tst_Bursts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void group_data();
    void group();
    void captureTimeBeforeFileTime();
};

void tst_Bursts::group_data()
{
    QTest::addColumn<QList<Frame>>("frames");
    QTest::addColumn<QString>("groups"); // bursts split by " | ", ids by " "
    QTest::addColumn<QString>("best");   // one id per burst, " | " between

    const auto f = [](const char *id, qint64 ms, int bits = 0, double sharpness = 1) {
        return Frame{QString::fromLatin1(id), 0, ms, u"A"_s, bits, sharpness};
    };
    QTest::newRow("three frames, sharpest marked")
        << QList{f("a", 0, 0, 3), f("b", 400, 2, 9), f("c", 900, 4, 5)} << u"a b c"_s << u"b"_s;
    QTest::newRow("2 s apart joins, 2.001 s does not")
        << QList{f("a", 0), f("b", 2000), f("c", 4001)} << u"a b"_s << u"a"_s;
    QTest::newRow("out of order in time still counts the gap")
        << QList{f("a", 5000), f("b", 3500), f("c", 9000)} << u"a b"_s << u"a"_s;
    QTest::newRow("12 bits apart joins, 13 does not")
        << QList{f("a", 0, 0), f("b", 100, 12), f("c", 200, 25)} << u"a b"_s << u"a"_s;
    QTest::newRow("distance counts from the previous frame, not the first")
        << QList{f("a", 0, 0), f("b", 100, 10), f("c", 200, 20)} << u"a b c"_s << u"a"_s;
    QTest::newRow("ties go to the earliest")
        << QList{f("a", 0, 0, 2), f("b", 100, 0, 7), f("c", 200, 0, 7)} << u"a b c"_s << u"b"_s;
    QTest::newRow("a lone frame is no burst")
        << QList{f("a", 0), f("b", 5000)} << QString() << QString();
    QTest::newRow("two bursts back to back")
        << QList{f("a", 0), f("b", 300), f("c", 600, 40), f("d", 900, 40, 2)} << u"a b | c d"_s
        << u"a | d"_s;

    Frame b = f("b", 200);
    b.camera = u"B"_s;
    Frame d = f("d", 600);
    d.camera = u"B"_s;
    QTest::newRow("two cameras interleaved: each has its burst")
        << QList{f("a", 0), b, f("c", 400), d} << u"a c | b d"_s << u"a | b"_s;
    Frame unknownCamera = f("c", 400);
    unknownCamera.camera.clear();
    QTest::newRow("a camera that does not say is another camera")
        << QList{f("a", 0), f("b", 200), unknownCamera} << u"a b"_s << u"a"_s;

    Frame next = f("c", 400);
    next.section = 1;
    Frame after = f("d", 600);
    after.section = 1;
    QTest::newRow("a burst stays within its section")
        << QList{f("a", 0), f("b", 200), next, after} << u"a b | c d"_s << u"a | c"_s;
    Frame unread = f("b", 200);
    unread.known = false;
    QTest::newRow("a frame not hashed (a clip) is passed over")
        << QList{f("a", 0), unread, f("c", 400), f("d", 600)} << u"a c d"_s << u"a"_s;
}

void tst_Bursts::group()
{
    QFETCH(QList<Frame>, frames);
    QFETCH(QString, groups);
    QFETCH(QString, best);

    QList<PhotoSection> sections;
    QHash<QString, SimilarityFacts> facts;
    for (const Frame &frame : frames) {
        while (sections.size() <= frame.section) {
            sections.append(PhotoSection{});
        }
        Photo photo;
        photo.id = frame.id;
        photo.modificationDate = {frame.ms / 1000, qint32(frame.ms % 1000) * 1'000'000};
        sections[frame.section].photos.append(photo);
        if (frame.known) {
            const quint64 hash = frame.bits >= 64 ? ~0ULL : (1ULL << frame.bits) - 1;
            facts.insert(frame.id, {hash, frame.sharpness, frame.camera});
        }
    }
    const Bursts bursts = Bursts::group(sections, [&facts](const Photo &photo) {
        const auto it = facts.constFind(photo.id);
        return it == facts.constEnd() ? nullptr : &*it;
    });

    QStringList gotGroups;
    QStringList gotBest;
    for (qsizetype i = 0; i < bursts.groups().size(); ++i) {
        gotGroups.append(bursts.groups()[i].join(u' '));
        gotBest.append(bursts.best(i));
        // Every frame knows its place: the band, Ctrl+B and the star read these.
        for (qsizetype at = 0; at < bursts.groups()[i].size(); ++at) {
            const QString &id = bursts.groups()[i][at];
            QCOMPARE(bursts.mark(id),
                     (Bursts::Mark{i, at, bursts.groups()[i].size(), id == bursts.best(i)}));
            QCOMPARE(bursts.groupOf(id), bursts.groups()[i]);
        }
    }
    QCOMPARE(gotGroups.join(u" | "_s), groups);
    QCOMPARE(gotBest.join(u" | "_s), best);
}

void tst_Bursts::captureTimeBeforeFileTime()
{
    // Files copied off a card all carry the copy's time; the camera's clock tells the frames
    // apart. Here the file times are a minute apart and the capture times half a second.
    QList<PhotoSection> sections{PhotoSection{}};
    for (int i = 0; i < 3; ++i) {
        Photo photo;
        photo.id = QString::number(i);
        photo.modificationDate = {1'700'000'000 + 60 * i, 0};
        if (i < 2) {
            photo.captureTime =
                CaptureTime::make(QDate(2024, 5, 3), QTime(14, 22, 7), 500'000'000 * i, 0);
        }
        sections[0].photos.append(photo);
    }
    const SimilarityFacts same{0, 1, u"A"_s};
    const Bursts bursts = Bursts::group(sections, [&same](const Photo &) { return &same; });
    QCOMPARE(bursts.groups(), QList<QStringList>{(QStringList{u"0"_s, u"1"_s})});
    QCOMPARE(Bursts::momentMs(sections[0].photos[1]) - Bursts::momentMs(sections[0].photos[0]),
             500);

    // Duplicate groups are marked the same way, their first photo being the best.
    const Bursts duplicates = Bursts::fromGroups({{u"x"_s, u"y"_s}, {u"lone"_s}});
    QCOMPARE(duplicates.groups().size(), 1);
    QCOMPARE(duplicates.mark(u"y"_s), (Bursts::Mark{0, 1, 2, false}));
    QCOMPARE(duplicates.best(0), u"x"_s);
}

QTEST_GUILESS_MAIN(tst_Bursts)
#include "tst_Bursts.moc"
