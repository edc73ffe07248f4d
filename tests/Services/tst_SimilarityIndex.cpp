#include "Services/Similarity/SimilarityIndex.h"
#include "support/LockHolder.h"

#include <QAtomicInt>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// Photos over real files (the digest reads them); the facts are made up from the name, and
// every computation is counted.
class tst_SimilarityIndex : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cachedAcrossSessions();
    void heldUntilReleasedThenScreenFirst_data();
    void heldUntilReleasedThenScreenFirst();
    void digestsOnlyWhereSizesMatch();
    void photoFiledBeforeItIsRead();
    void learntOnceTheSnapshotIsLetGo();

private:
    Photo photo(const QString &name, const QByteArray &content, qint64 seconds = 1'000);
    SimilarityIndex::Compute counting();
    static bool waitComplete(const SimilarityIndex &index)
    {
        return QTest::qWaitFor([&index] { return index.isComplete(); }, 10'000);
    }

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<QTemporaryDir> m_cache;
    QMutex m_mutex;
    QStringList m_computed;
};

void tst_SimilarityIndex::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    m_cache = std::make_unique<QTemporaryDir>();
    m_computed.clear();
}

Photo tst_SimilarityIndex::photo(const QString &name, const QByteArray &content, qint64 seconds)
{
    QFile file(m_folder->filePath(name));
    if (!file.exists()) {
        file.open(QIODevice::WriteOnly);
        file.write(content);
    }
    Photo photo;
    photo.id = name; // stands for the identity
    photo.filename = name;
    photo.url = QUrl::fromLocalFile(file.fileName());
    photo.byteCount = content.size();
    photo.modificationDate = {seconds, 0};
    photo.kind = ImageKind::jpeg;
    return photo;
}

SimilarityIndex::Compute tst_SimilarityIndex::counting()
{
    return [this](const QString &path) -> std::optional<SimilarityFacts> {
        const QString name = path.section(u'/', -1);
        const QMutexLocker locker(&m_mutex);
        m_computed.append(name);
        if (name.startsWith(u"broken"_s)) {
            return std::nullopt;
        }
        return SimilarityFacts{quint64(name.size()), double(name.size()), u"cam "_s + name};
    };
}

void tst_SimilarityIndex::cachedAcrossSessions()
{
    QList<Photo> photos{photo(u"a.jpg"_s, "1"), photo(u"bb.jpg"_s, "2"),
                        photo(u"broken.jpg"_s, "3")};
    {
        SimilarityIndex index(counting());
        index.setCacheFolder(m_cache->path());
        index.setPhotos(m_folder->path(), photos);
        QVERIFY(waitComplete(index));
        QCOMPARE(index.doneCount(), 3);
        QCOMPARE(*index.facts(photos[1]), (SimilarityFacts{6, 6, u"cam bb.jpg"_s}));
        QCOMPARE(index.facts(photos[2]), nullptr); // unreadable: known to be so, never a burst
    }
    QCOMPARE(m_computed.size(), 3);

    // Reopened: everything comes from the cache file; an edited file alone is read again.
    m_computed.clear();
    photos[0].modificationDate.seconds += 60;
    {
        SimilarityIndex index(counting());
        index.setCacheFolder(m_cache->path());
        index.setPhotos(m_folder->path(), photos);
        QVERIFY(waitComplete(index));
        QCOMPARE(m_computed, QStringList{u"a.jpg"_s});
        QCOMPARE(index.facts(photos[1])->camera, u"cam bb.jpg"_s);
        QCOMPARE(index.facts(photos[2]), nullptr);
    }

    // A damaged cache file is a cold start, not a crash nor wrong facts.
    const QString file = SimilarityCache::fileFor(m_cache->path(), m_folder->path());
    QVERIFY(QFile::exists(file));
    QFile damaged(file);
    QVERIFY(damaged.open(QIODevice::ReadWrite));
    QVERIFY(damaged.resize(damaged.size() - 5));
    damaged.close();
    QVERIFY(SimilarityCache::load(file).isEmpty());
    m_computed.clear();
    SimilarityIndex index(counting());
    index.setCacheFolder(m_cache->path());
    index.setPhotos(m_folder->path(), photos);
    QVERIFY(waitComplete(index));
    QCOMPARE(m_computed.size(), 3);
}

void tst_SimilarityIndex::heldUntilReleasedThenScreenFirst_data()
{
    QTest::addColumn<bool>("lockTaken");
    QTest::newRow("the workers' lock free") << false;
    // A worker preempted inside its lock: the window's calls return all the same, and are done
    // once it lets go.
    QTest::newRow("a worker holding the lock") << true;
}

void tst_SimilarityIndex::heldUntilReleasedThenScreenFirst()
{
    QFETCH(bool, lockTaken);
    QList<Photo> photos;
    for (int i = 0; i < 6; ++i) {
        photos.append(photo(u"p%1.jpg"_s.arg(i), QByteArray(i + 1, 'x')));
    }
    SimilarityIndex index(counting(), SimilarityIndex::contentDigest, 1);
    std::optional<LockHolder> worker;
    if (lockTaken) {
        worker.emplace(index.workersLock());
    }
    index.hold(this); // a view waits for its first screen of thumbnails
    QSignalSpy progress(&index, &SimilarityIndex::progressChanged);
    index.setPhotos(m_folder->path(), photos);
    index.prioritize({photos[4]}); // on screen
    QTest::qWait(3 * SimilarityIndex::deliveryIntervalMs);
    QVERIFY(m_computed.isEmpty());
    QVERIFY(!index.isComplete());
    if (worker) {
        QVERIFY2(worker->letGo(), "the window's thread waited for the workers' lock");
    }
    index.release(this);
    QVERIFY(waitComplete(index));
    QCOMPARE(m_computed.size(), 6);
    QCOMPARE(m_computed.first(), u"p4.jpg"_s);
    QVERIFY(progress.size() >= 2);

    // The facts of the photos on screen come back as soon as they are known, not with the
    // next delivery: here none comes before the test ends.
    m_computed.clear();
    SimilarityIndex prompt(counting(), SimilarityIndex::contentDigest, 1);
    prompt.setDeliveryInterval(3'600'000);
    prompt.hold(this);
    prompt.setPhotos(m_folder->path(), photos);
    prompt.prioritize({photos[1], photos[3]});
    prompt.release(this);
    QVERIFY(QTest::qWaitFor([&] { return prompt.facts(photos[1]) && prompt.facts(photos[3]); },
                            10'000));

    // A collection is queued whole, a few photos per turn of the event loop when a turn may
    // spend nothing, across lists of any size.
    QList<Photo> many;
    for (qsizetype i = 0; i < 1'000; ++i) {
        Photo unread = photos[0];
        unread.id = unread.filename = u"m%1.jpg"_s.arg(i);
        unread.byteCount = 100 + i; // no two alike: no digests
        many.append(unread);
    }
    m_computed.clear();
    SimilarityIndex large(counting(), SimilarityIndex::contentDigest, 2);
    large.setQueueTurnBudget({});
    large.setPhotos(m_folder->path(), {many.first(300), {}, many.sliced(300)});
    QVERIFY(waitComplete(large));
    QCOMPARE(large.doneCount(), many.size());
    QCOMPARE(m_computed.size(), many.size());

    // A hold that is never let go lets go by itself.
    SimilarityIndex stuck(counting());
    stuck.hold(this);
    stuck.setPhotos(m_folder->path(), {photo(u"late.jpg"_s, "y")});
    QVERIFY(QTest::qWaitFor([&stuck] { return stuck.isComplete(); },
                            SimilarityIndex::holdLimitMs + 5'000));
}

void tst_SimilarityIndex::digestsOnlyWhereSizesMatch()
{
    QList<Photo> photos{photo(u"a.jpg"_s, "same bytes"), photo(u"copy.jpg"_s, "same bytes"),
                        photo(u"other.jpg"_s, "diff bytes"), photo(u"lone.jpg"_s, "lone")};
    QAtomicInt digests = 0;
    SimilarityIndex index(counting(), [&digests](const QString &path) {
        ++digests;
        return SimilarityIndex::contentDigest(path);
    });
    index.setPhotos(m_folder->path(), photos);
    QVERIFY(waitComplete(index));
    QCOMPARE(digests.loadRelaxed(), 3);
    QCOMPARE(index.digest(photos[0]), index.digest(photos[1]));
    QVERIFY(!index.digest(photos[0]).isEmpty());
    QVERIFY(index.digest(photos[2]) != index.digest(photos[0]));
    QVERIFY(index.digest(photos[3]).isEmpty());
}

// A photo filed while its job waited is read where it went, not kept as a file without facts.
void tst_SimilarityIndex::photoFiledBeforeItIsRead()
{
    const Photo queued = photo(u"a.jpg"_s, "aa");
    SimilarityIndex index(
        [this](const QString &path) -> std::optional<SimilarityFacts> {
            if (!QFileInfo::exists(path)) {
                return std::nullopt; // as the real reading fails on a missing file
            }
            return counting()(path);
        },
        SimilarityIndex::contentDigest, 1);
    index.hold(this);
    index.setPhotos(m_folder->path(), {queued});
    QVERIFY(QDir(m_folder->path()).mkdir(u"Cats"_s));
    QVERIFY(QFile::rename(m_folder->filePath(u"a.jpg"_s), m_folder->filePath(u"Cats/a.jpg"_s)));
    Photo filed = queued;
    filed.url = QUrl::fromLocalFile(m_folder->filePath(u"Cats/a.jpg"_s));
    index.setPhotos(m_folder->path(), {filed}, false);
    index.release(this);
    QVERIFY(waitComplete(index));
    QVERIFY(index.facts(filed));
    QCOMPARE(index.doneCount(), 1);
}

// While a snapshot is out (a grouping reads it on its thread) what the pass learns waits, so
// that the window's thread never copies the whole table to add to it.
void tst_SimilarityIndex::learntOnceTheSnapshotIsLetGo()
{
    const Photo first = photo(u"first.jpg"_s, "1");
    SimilarityIndex index(counting());
    index.setPhotos(m_folder->path(), {first});
    QVERIFY(waitComplete(index));
    std::optional<SimilarityIndex::Snapshot> snapshot = index.snapshot();
    const Photo later = photo(u"later.jpg"_s, "22");
    index.setPhotos(m_folder->path(), {first, later});
    QVERIFY(QTest::qWaitFor(
        [this] {
            const QMutexLocker locker(&m_mutex);
            return m_computed.contains(u"later.jpg"_s);
        },
        10'000));
    QTest::qWait(3 * SimilarityIndex::deliveryIntervalMs);
    QVERIFY(!index.facts(later));
    QVERIFY(snapshot->facts(first));
    snapshot.reset();
    QVERIFY(QTest::qWaitFor([&] { return index.facts(later) != nullptr; }, 10'000));
    QVERIFY(waitComplete(index));
}

QTEST_GUILESS_MAIN(tst_SimilarityIndex)
#include "tst_SimilarityIndex.moc"
