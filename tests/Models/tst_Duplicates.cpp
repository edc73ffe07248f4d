#include "Models/Duplicates.h"

#include <QRandomGenerator>
#include <QTest>

#include <bit>
#include <cmath>
#include <numeric>

using namespace Qt::StringLiterals;

using Candidates = QList<DuplicateCandidate>;

static DuplicateCandidate photo(const char *id,
                                qint64 bytes,
                                const char *digest,
                                std::optional<quint64> hash = std::nullopt,
                                double sharpness = 0)
{
    return {QString::fromLatin1(id), bytes, QByteArray(digest), hash, sharpness};
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

// The grouping by comparing every pair, which the bucketed one must agree with.
static QList<QStringList> groupsComparingAllPairs(const Candidates &candidates)
{
    std::vector<qsizetype> parent(candidates.size());
    std::iota(parent.begin(), parent.end(), qsizetype(0));
    const auto root = [&parent](qsizetype i) {
        while (parent[i] != i) {
            i = parent[i];
        }
        return i;
    };
    for (qsizetype a = 0; a < candidates.size(); ++a) {
        for (qsizetype b = a + 1; b < candidates.size(); ++b) {
            const DuplicateCandidate &x = candidates[a];
            const DuplicateCandidate &y = candidates[b];
            const bool exact =
                !x.digest.isEmpty() && x.byteCount == y.byteCount && x.digest == y.digest;
            const bool near =
                x.hash && y.hash && std::popcount(*x.hash ^ *y.hash) <= Duplicates::nearDistance;
            if (exact || near) {
                parent[root(b)] = root(a);
            }
        }
    }
    QList<QList<DuplicateCandidate>> sets;
    QHash<qsizetype, qsizetype> setOfRoot;
    for (qsizetype i = 0; i < candidates.size(); ++i) {
        const auto slot = setOfRoot.constFind(root(i));
        if (slot == setOfRoot.cend()) {
            setOfRoot.insert(root(i), sets.size());
            sets.append({candidates[i]});
        } else {
            sets[*slot].append(candidates[i]);
        }
    }
    QList<QStringList> groups;
    for (QList<DuplicateCandidate> &set : sets) {
        std::stable_sort(set.begin(), set.end(),
                         [](const auto &a, const auto &b) { return a.sharpness > b.sharpness; });
        if (set.size() > 1) {
            groups.append(QStringList());
            for (const DuplicateCandidate &member : std::as_const(set)) {
                groups.last().append(member.photoID);
            }
        }
    }
    return groups;
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
    QTest::addColumn<Candidates>("candidates");
    QTest::addColumn<QString>("groups");

    const double notANumber = std::nan("");
    QTest::newRow("exact pair") << Candidates{photo("a", 10, "x"), photo("b", 10, "x")} << u"a b"_s;
    QTest::newRow("same size, other digest")
        << Candidates{photo("a", 10, "x"), photo("b", 10, "y")} << QString();
    QTest::newRow("same digest, other size")
        << Candidates{photo("a", 10, "x"), photo("b", 11, "x")} << QString();
    QTest::newRow("empty digests never match")
        << Candidates{photo("a", 10, ""), photo("b", 10, "")} << QString();
    QTest::newRow("near at 6 bits")
        << Candidates{photo("a", 1, "", 0), photo("b", 2, "", 0x3f)} << u"a b"_s;
    QTest::newRow("6 bits across the word") << Candidates{photo("a", 1, "", 0x8000'0000'0000'0001),
                                                          photo("b", 2, "", 0x8100'8010'0801'0081)}
                                            << u"a b"_s;
    QTest::newRow("near at 6 bits beside a far one")
        << Candidates{photo("a", 1, "", 0), photo("b", 2, "", 0x3f), photo("c", 3, "", 0xff00)}
        << u"a b"_s;
    QTest::newRow("not near at 7 bits")
        << Candidates{photo("a", 1, "", 0), photo("b", 2, "", 0x7f)} << QString();
    QTest::newRow("a hash missing")
        << Candidates{photo("a", 1, "", 0), photo("b", 2, "")} << QString();
    QTest::newRow("chain a~b~c, a and c 12 bits apart")
        << Candidates{photo("a", 1, "", 0), photo("c", 2, "", 0xfff), photo("b", 3, "", 0x3f)}
        << u"a c b"_s;
    QTest::newRow("exact and near join")
        << Candidates{photo("a", 10, "x", ~0ull), photo("b", 10, "x", 0), photo("c", 20, "y", 1)}
        << u"a b c"_s;
    QTest::newRow("identical hashes")
        << Candidates{photo("a", 1, "", 0), photo("b", 2, "", 0), photo("c", 3, "", 0)}
        << u"a b c"_s;
    QTest::newRow("sharpest first, a tie keeps input order")
        << Candidates{photo("a", 10, "x", {}, 1), photo("b", 10, "x", {}, 3),
                      photo("c", 10, "x", {}, 3)}
        << u"b c a"_s;
    QTest::newRow("no sharpness ranks last")
        << Candidates{photo("a", 10, "x", {}, notANumber), photo("b", 10, "x", {}, -1),
                      photo("c", 10, "x", {}, 2)}
        << u"c b a"_s;
    QTest::newRow("groups by earliest member, singletons left out")
        << Candidates{photo("a", 10, "x"), photo("lone", 10, "z"), photo("b", 20, "y"),
                      photo("c", 20, "y"), photo("d", 10, "x", {}, 5)}
        << u"d a | b c"_s;
    QTest::newRow("a photo listed twice is no duplicate of itself")
        << Candidates{photo("a", 10, "x", 0), photo("a", 10, "x", 0)} << QString();
    QTest::newRow("nothing") << Candidates{} << QString();
}

void tst_Duplicates::groups()
{
    QFETCH(Candidates, candidates);
    QFETCH(QString, groups);
    QCOMPARE(described(Duplicates::groups(candidates)), groups);
}

void tst_Duplicates::needingDigest_data()
{
    QTest::addColumn<Candidates>("candidates");
    QTest::addColumn<QStringList>("needing");

    QTest::newRow("shared and unique sizes")
        << Candidates{photo("a", 10, ""), photo("b", 20, ""), photo("c", 10, "")}
        << QStringList{u"a"_s, u"c"_s};
    QTest::newRow("a digest already known")
        << Candidates{photo("a", 10, "x"), photo("b", 10, ""), photo("c", 10, "")}
        << QStringList{u"b"_s, u"c"_s};
    QTest::newRow("its only partner digested")
        << Candidates{photo("a", 10, "x"), photo("b", 10, "")} << QStringList{u"b"_s};
    QTest::newRow("every size unique")
        << Candidates{photo("a", 10, ""), photo("b", 11, "")} << QStringList{};
    QTest::newRow("a photo listed twice")
        << Candidates{photo("a", 10, ""), photo("a", 10, "")} << QStringList{};
}

void tst_Duplicates::needingDigest()
{
    QFETCH(Candidates, candidates);
    QFETCH(QStringList, needing);
    QCOMPARE(Duplicates::needingDigest(candidates), needing);
}

void tst_Duplicates::agreesWithAllPairs_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("count");
    QTest::addColumn<quint64>("varyingBits"); // the rest are 0, as under a dark sky
    QTest::addColumn<int>("clusters");
    QTest::addColumn<int>("mostFlips"); // bits a member differs from its cluster's centre

    QTest::newRow("many tight clusters") << 1u << 2000 << ~0ull << 150 << 8;
    QTest::newRow("few wide clusters") << 2u << 3000 << ~0ull << 4 << 12;
    QTest::newRow("40 bits vary") << 3u << 3000 << 0xff'ffff'ffffull << 6 << 12;
    QTest::newRow("32 scattered bits vary") << 4u << 3000 << 0x5555'5555'5555'5555ull << 8 << 14;
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
    const QList<int> varyingBitIndices = [varyingBits] {
        QList<int> indices;
        for (int bit = 0; bit < 64; ++bit) {
            if (varyingBits >> bit & 1) {
                indices.append(bit);
            }
        }
        return indices;
    }();
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
                hash ^= 1ull << varyingBitIndices[random.bounded(varyingBitIndices.size())];
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
