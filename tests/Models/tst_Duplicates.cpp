#include "Models/Duplicates.h"

#include <QRandomGenerator>
#include <QTest>

#include <bit>
#include <cmath>
#include <numeric>

using namespace Qt::StringLiterals;

using Candidates = QList<DuplicateCandidate>;

// Rows write a candidate as "id:bytes:digest:hash:sharpness", empty or trailing fields left out.
static Candidates parsed(const QString &text)
{
    Candidates candidates;
    for (const QString &item : text.split(u' ', Qt::SkipEmptyParts)) {
        const QStringList field = item.split(u':');
        DuplicateCandidate &candidate = candidates.emplaceBack();
        candidate.photoID = field[0];
        candidate.byteCount = field.value(1).toLongLong();
        candidate.digest = field.value(2).toLatin1();
        if (!field.value(3).isEmpty()) {
            candidate.hash = field[3].toULongLong(nullptr, 0);
        }
        candidate.sharpness = field.value(4, u"0"_s).toDouble();
    }
    return candidates;
}

// Groups as the rows write them: members split by " ", groups by " | ".
static QString described(const QList<QStringList> &groups)
{
    QStringList parts;
    for (const QStringList &group : groups) {
        parts.append(group.join(u' '));
    }
    return parts.join(u" | "_s);
}

// The grouping by comparing every pair, which the bucketed one must agree with. Each photo is
// labelled with the earliest member of its group, the order the groups come in.
static QList<QStringList> groupsComparingAllPairs(const Candidates &candidates)
{
    QList<qsizetype> earliest(candidates.size());
    std::iota(earliest.begin(), earliest.end(), 0);
    for (qsizetype b = 0; b < candidates.size(); ++b) {
        for (qsizetype a = 0; a < b; ++a) {
            const DuplicateCandidate &x = candidates[a];
            const DuplicateCandidate &y = candidates[b];
            if (((!x.digest.isEmpty() && x.byteCount == y.byteCount && x.digest == y.digest) ||
                 (x.hash && y.hash && std::popcount(*x.hash ^ *y.hash) <= 6)) &&
                earliest[a] != earliest[b]) {
                const qsizetype first = std::min(earliest[a], earliest[b]);
                const qsizetype later = std::max(earliest[a], earliest[b]);
                std::replace(earliest.begin(), earliest.end(), later, first);
            }
        }
    }
    QList<qsizetype> sharpestFirst(candidates.size());
    std::iota(sharpestFirst.begin(), sharpestFirst.end(), 0);
    std::stable_sort(sharpestFirst.begin(), sharpestFirst.end(), [&](qsizetype a, qsizetype b) {
        return candidates[a].sharpness > candidates[b].sharpness;
    });
    QMap<qsizetype, QStringList> groups;
    for (const qsizetype i : std::as_const(sharpestFirst)) {
        groups[earliest[i]].append(candidates[i].photoID);
    }
    groups.removeIf([](const auto &group) { return group.value().size() < 2; });
    return groups.values();
}

class tst_Duplicates : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void groups_data();
    void groups();
    void needingDigest_data();
    void needingDigest();
    void agreesWithAllPairs_data();
    void agreesWithAllPairs();
};

void tst_Duplicates::groups_data()
{
    QTest::addColumn<QString>("candidates");
    QTest::addColumn<QString>("groups");

    const auto row = [](const char *name, const QString &candidates, const QString &groups) {
        QTest::newRow(name) << candidates << groups;
    };
    row("exact pair", u"a:10:x b:10:x"_s, u"a b"_s);
    row("same size, other digest", u"a:10:x b:10:y"_s, QString());
    row("same digest, other size", u"a:10:x b:11:x"_s, QString());
    row("empty digests never match", u"a:10 b:10"_s, QString());
    row("near at 6 bits", u"a:1::0 b:2::0x3f"_s, u"a b"_s);
    row("6 bits across the word", u"a:1::0x8000000000000001 b:2::0x8100801008010081"_s, u"a b"_s);
    row("near at 6 bits beside a far one", u"a:1::0 b:2::0x3f c:3::0xff00"_s, u"a b"_s);
    row("not near at 7 bits", u"a:1::0 b:2::0x7f"_s, QString());
    row("a hash missing", u"a:1::0 b:2"_s, QString());
    row("chain a~b~c, a and c 12 bits apart", u"a:1::0 c:2::0xfff b:3::0x3f"_s, u"a c b"_s);
    row("exact and near join", u"a:10:x:0xffffffffffffffff b:10:x:0 c:20:y:1"_s, u"a b c"_s);
    row("identical hashes", u"a:1::0 b:2::0 c:3::0"_s, u"a b c"_s);
    row("sharpest first, a tie keeps input order", u"a:10:x::1 b:10:x::3 c:10:x::3"_s, u"b c a"_s);
    row("no sharpness ranks last", u"a:10:x::nan b:10:x::-1 c:10:x::2"_s, u"c b a"_s);
    row("groups by earliest member, singletons left out",
        u"a:10:x lone:10:z b:20:y c:20:y d:10:x::5"_s, u"d a | b c"_s);
    row("a photo listed twice is no duplicate of itself", u"a:10:x:0 a:10:x:0"_s, QString());
    row("nothing", QString(), QString());
}

void tst_Duplicates::groups()
{
    QFETCH(QString, candidates);
    QFETCH(QString, groups);
    QCOMPARE(described(Duplicates::groups(parsed(candidates))), groups);
}

void tst_Duplicates::needingDigest_data()
{
    QTest::addColumn<QString>("candidates");
    QTest::addColumn<QString>("needing");

    QTest::newRow("shared and unique sizes") << u"a:10 b:20 c:10"_s << u"a c"_s;
    QTest::newRow("a digest already known") << u"a:10:x b:10 c:10"_s << u"b c"_s;
    QTest::newRow("its only partner digested") << u"a:10:x b:10"_s << u"b"_s;
    QTest::newRow("every size unique") << u"a:10 b:11"_s << QString();
    QTest::newRow("a photo listed twice") << u"a:10 a:10"_s << QString();
}

void tst_Duplicates::needingDigest()
{
    QFETCH(QString, candidates);
    QFETCH(QString, needing);
    QCOMPARE(Duplicates::needingDigest(parsed(candidates)).join(u' '), needing);
}

void tst_Duplicates::agreesWithAllPairs_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("count");
    QTest::addColumn<quint64>("varyingBits"); // the rest are 0, as under a dark sky
    QTest::addColumn<int>("clusters");
    QTest::addColumn<int>("mostFlips"); // bits a member may differ in from its cluster's centre

    QTest::newRow("many small clusters") << 16u << 3000 << ~0ull << 1000 << 6;
    QTest::newRow("few wide clusters") << 2u << 3000 << ~0ull << 4 << 12;
    QTest::newRow("40 bits vary") << 3u << 3000 << 0xff'ffff'ffffull << 6 << 19;
    QTest::newRow("32 scattered bits vary") << 4u << 3000 << 0x5555'5555'5555'5555ull << 8 << 28;
}

// Clustered hashes (a picture and its edits) and sizes that collide, so that groups exist, are
// held to the grouping that compares every pair.
void tst_Duplicates::agreesWithAllPairs()
{
    QFETCH(quint32, seed);
    QFETCH(int, count);
    QFETCH(quint64, varyingBits);
    QFETCH(int, clusters);
    QFETCH(int, mostFlips);

    QRandomGenerator random(seed);
    QList<quint64> centers;
    for (int i = 0; i < clusters; ++i) {
        centers.append(random.generate64() & varyingBits);
    }
    Candidates candidates;
    for (int i = 0; i < count; ++i) {
        DuplicateCandidate candidate;
        candidate.photoID = u"p%1"_s.arg(i);
        candidate.byteCount = 1000 + random.bounded(40);
        if (random.bounded(3) != 0) {
            candidate.digest = QByteArray::number(random.bounded(5000));
        }
        if (random.bounded(10) != 0) {
            quint64 hash = centers[random.bounded(clusters)];
            for (int flips = random.bounded(2, mostFlips + 1); flips > 0; --flips) {
                hash ^= (1ull << random.bounded(64)) & varyingBits;
            }
            candidate.hash = hash;
        }
        candidate.sharpness = random.bounded(4);
        candidates.append(candidate);
    }

    const QList<QStringList> expected = groupsComparingAllPairs(candidates);
    QVERIFY2(expected.size() > 1, "the input should hold groups");
    QCOMPARE(Duplicates::groups(candidates), expected);
}

QTEST_APPLESS_MAIN(tst_Duplicates)
#include "tst_Duplicates.moc"
