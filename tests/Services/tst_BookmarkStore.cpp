#include "Services/BookmarkStore.h"
#include "support/TestFolders.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

using Entry = BookmarkStore::Entry;

namespace QTest {
template<>
char *toString(const Entry &entry)
{
    return qstrdup(QStringLiteral("{%1, %2}")
                       .arg(entry.path, QString::fromUtf8(entry.bookmark.toHex()))
                       .toUtf8()
                       .constData());
}
} // namespace QTest

// One readable line per outcome, so a failed comparison shows what came back.
static QString outcome(const Result<std::optional<QUrl>> &result)
{
    if (!result) {
        return QStringLiteral("error: ") + result.error().message;
    }
    return *result ? (*result)->toLocalFile() : QStringLiteral("none");
}

class tst_BookmarkStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void saveRecordsEntry_data();
    void saveRecordsEntry();
    void keepsTwentyNewest();
    void resaveMovesToFront_data();
    void resaveMovesToFront();
    void saveRejects_data();
    void saveRejects();
    void unreadableListCountsAsEmpty_data();
    void unreadableListCountsAsEmpty();
    void resolveUnknownPathWritesNothing();
    void missingFolderFailsButStaysStored_data();
    void missingFolderFailsButStaysStored();
    void clearRecents_data();
    void clearRecents();

private:
    QString folder(const QString &name) const
    {
        return TestFolders::makeFolder(m_dir->path(), name);
    }
    QString iniPath() const { return m_dir->filePath(QStringLiteral("settings.ini")); }
    // What a later launch would read: pending writes are flushed, then the file is read.
    QByteArray onDisk() const
    {
        m_settings->sync();
        return TestFolders::readFile(iniPath());
    }
    QStringList storedPaths() const
    {
        QStringList paths;
        for (const Entry &entry : m_store->loadEntries()) {
            paths.append(entry.path);
        }
        return paths;
    }

    std::optional<QTemporaryDir> m_dir;
    std::shared_ptr<QSettings> m_settings;
    std::optional<BookmarkStore> m_store;
};

void tst_BookmarkStore::init()
{
    m_dir.emplace();
    QVERIFY(m_dir->isValid());
    m_settings = std::make_shared<QSettings>(iniPath(), QSettings::IniFormat);
    m_store.emplace(m_settings);
}

void tst_BookmarkStore::cleanup()
{
    m_store.reset();
    m_settings.reset();
    m_dir.reset();
}

void tst_BookmarkStore::saveRecordsEntry_data()
{
    QTest::addColumn<bool>("makeLast");
    QTest::newRow("becomes the last collection") << true;
    QTest::newRow("last collection unchanged") << false;
}

void tst_BookmarkStore::saveRecordsEntry()
{
    QFETCH(bool, makeLast);
    const QString earlier = folder(QStringLiteral("Earlier"));
    const QString trips = folder(QStringLiteral("Trips"));
    QVERIFY(m_store->save(QUrl::fromLocalFile(earlier), true));
    QVERIFY(m_store->save(QUrl::fromLocalFile(trips), makeLast));

    // A fresh settings object on the same file stands in for the next launch.
    onDisk();
    QSettings relaunched(iniPath(), QSettings::IniFormat);
    QCOMPARE(relaunched.value(BookmarkStore::lastPathKey).toString(), makeLast ? trips : earlier);

    const QByteArray raw = relaunched.value(BookmarkStore::entriesKey).toByteArray();
    const QCborArray array = QCborValue::fromCbor(raw).toArray();
    QCOMPARE(array.size(), 2);
    QCOMPARE(array.at(0).toMap().value(QStringLiteral("path")), QCborValue(trips));
    QCOMPARE(array.at(0).toMap().value(QStringLiteral("bookmark")), QCborValue(trips.toUtf8()));
    QCOMPARE(array.at(1).toMap().value(QStringLiteral("path")), QCborValue(earlier));

    const BookmarkStore later(std::make_shared<QSettings>(iniPath(), QSettings::IniFormat));
    QCOMPARE(later.resolvedRecentURLs(),
             (QList<QUrl>{QUrl::fromLocalFile(trips), QUrl::fromLocalFile(earlier)}));
    QCOMPARE(outcome(later.resolveLast()), makeLast ? trips : earlier);
}

void tst_BookmarkStore::keepsTwentyNewest()
{
    QStringList newestFirst;
    for (int i = 1; i <= 21; ++i) {
        const QString path = folder(QStringLiteral("Folder %1").arg(i));
        QVERIFY(m_store->save(QUrl::fromLocalFile(path), false));
        newestFirst.prepend(path);
    }
    newestFirst.removeLast(); // "Folder 1", the first saved
    QCOMPARE(storedPaths(), newestFirst);
    QCOMPARE(m_store->resolvedRecentURLs().size(), BookmarkStore::maxEntries);
}

void tst_BookmarkStore::resaveMovesToFront_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("again");
    QTest::addColumn<QString>("expected");

    const QString nfc = QStringLiteral("Caf\u00E9");
    const QString nfd = QStringLiteral("Cafe\u0301");
    QTest::newRow("same path") << QStringLiteral("Trips") << QStringLiteral("Trips")
                               << QStringLiteral("Trips");
    QTest::newRow("trailing slash and dot segments")
        << QStringLiteral("Trips") << QStringLiteral("Other/../Trips/./")
        << QStringLiteral("Trips");
    QTest::newRow("precomposed then decomposed") << nfc << nfd << nfd;
    QTest::newRow("decomposed then precomposed") << nfd << nfc << nfc;
}

void tst_BookmarkStore::resaveMovesToFront()
{
    QFETCH(QString, first);
    QFETCH(QString, again);
    QFETCH(QString, expected);
    QVERIFY(m_store->save(QUrl::fromLocalFile(folder(first)), false));
    const QString middle = folder(QStringLiteral("Middle"));
    QVERIFY(m_store->save(QUrl::fromLocalFile(middle), false));

    // On Linux the two Unicode forms name two folders; both must exist to be saved.
    QVERIFY(m_store->save(QUrl::fromLocalFile(folder(again)), true));
    const QString expectedPath = folder(expected);
    QCOMPARE(storedPaths(), (QStringList{expectedPath, middle}));
    QCOMPARE(m_store->loadEntries().constFirst().bookmark, expectedPath.toUtf8());
    QCOMPARE(m_settings->value(BookmarkStore::lastPathKey).toString(), expectedPath);
}

void tst_BookmarkStore::saveRejects_data()
{
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<QString>("messagePart");
    QTest::newRow("relative path") << QUrl::fromLocalFile(QStringLiteral("Trips/2024"))
                                   << QStringLiteral("isn\u2019t a folder on this computer");
    QTest::newRow("not a local file") << QUrl(QStringLiteral("https://example.com/Trips"))
                                      << QStringLiteral("isn\u2019t a folder on this computer");
    QTest::newRow("empty url") << QUrl() << QStringLiteral("isn\u2019t a folder on this computer");
    QTest::newRow("missing folder")
        << QUrl(QStringLiteral("Missing"))
        << QStringLiteral("The folder \u201CMissing\u201D can\u2019t be found.");
    QTest::newRow("a file") << QUrl(QStringLiteral("photo.jpg"))
                            << QStringLiteral("\u201Cphoto.jpg\u201D is not a folder.");
}

void tst_BookmarkStore::saveRejects()
{
    QFETCH(QUrl, url);
    QFETCH(QString, messagePart);
    TestFolders::writeFile(m_dir->path(), QStringLiteral("photo.jpg"));
    if (url.isRelative() && !url.isEmpty()) { // a name inside the temporary folder
        url = QUrl::fromLocalFile(m_dir->filePath(url.path()));
    }
    const QString kept = folder(QStringLiteral("Kept"));
    QVERIFY(m_store->save(QUrl::fromLocalFile(kept), true));
    const QByteArray before = onDisk();

    const Result<void> result = m_store->save(url, true);
    QVERIFY(!result);
    QVERIFY2(result.error().message.contains(messagePart), qPrintable(result.error().message));
    QCOMPARE(onDisk(), before);
    QCOMPARE(storedPaths(), QStringList{kept});
    QCOMPARE(m_settings->value(BookmarkStore::lastPathKey).toString(), kept);
}

void tst_BookmarkStore::unreadableListCountsAsEmpty_data()
{
    QTest::addColumn<QVariant>("stored");
    const QCborMap good{{QStringLiteral("path"), QStringLiteral("/a")},
                        {QStringLiteral("bookmark"), QByteArray("/a")}};
    const auto cbor = [](const QCborValue &value) { return QVariant(value.toCbor()); };

    QTest::newRow("garbage bytes") << QVariant(QByteArray("\xff\x00garbage", 9));
    QTest::newRow("truncated list") << QVariant(QCborValue(QCborArray{good}).toCbor().chopped(2));
    QTest::newRow("bytes after the list")
        << QVariant(QCborValue(QCborArray{good}).toCbor() + QByteArray("\x01", 1));
    QTest::newRow("a map, not a list") << cbor(good);
    QTest::newRow("entry without bookmark")
        << cbor(QCborArray{good, QCborMap{{QStringLiteral("path"), QStringLiteral("/b")}}});
    QTest::newRow("path stored as bytes")
        << cbor(QCborArray{QCborMap{{QStringLiteral("path"), QByteArray("/b")},
                                    {QStringLiteral("bookmark"), QByteArray("/b")}}});
    QTest::newRow("entry that is a string") << cbor(QCborArray{good, QStringLiteral("/b")});
    QTest::newRow("text instead of data") << QVariant(QStringLiteral("/a"));
}

void tst_BookmarkStore::unreadableListCountsAsEmpty()
{
    QFETCH(QVariant, stored);
    m_settings->setValue(BookmarkStore::entriesKey, stored);
    const QByteArray before = onDisk();

    QCOMPARE(m_store->loadEntries(), QList<Entry>{});
    QCOMPARE(m_store->resolvedRecentURLs(), QList<QUrl>{});
    QCOMPARE(onDisk(), before); // only a save replaces what is there

    const QString trips = folder(QStringLiteral("Trips"));
    QVERIFY(m_store->save(QUrl::fromLocalFile(trips), false));
    QCOMPARE(m_store->loadEntries(), (QList<Entry>{{trips, trips.toUtf8()}}));
}

void tst_BookmarkStore::resolveUnknownPathWritesNothing()
{
    QCOMPARE(outcome(m_store->resolveLast()), QStringLiteral("none")); // nothing saved yet

    const QString trips = folder(QStringLiteral("Trips"));
    QVERIFY(m_store->save(QUrl::fromLocalFile(trips), true));
    const QByteArray before = onDisk();
    for (const QString &path : {folder(QStringLiteral("Never saved")), QString()}) {
        QCOMPARE(outcome(m_store->resolve(path)), QStringLiteral("none"));
    }
    QCOMPARE(onDisk(), before);
}

void tst_BookmarkStore::missingFolderFailsButStaysStored_data()
{
    QTest::addColumn<bool>("replaceWithFile");
    QTest::addColumn<QString>("message");
    QTest::newRow("deleted") << false
                             << QStringLiteral("The folder \u201CTrips\u201D can\u2019t be found.");
    QTest::newRow("replaced by a file")
        << true << QStringLiteral("\u201CTrips\u201D is not a folder.");
}

void tst_BookmarkStore::missingFolderFailsButStaysStored()
{
    QFETCH(bool, replaceWithFile);
    QFETCH(QString, message);
    const QString trips = folder(QStringLiteral("Trips"));
    const QString home = folder(QStringLiteral("Home"));
    QVERIFY(m_store->save(QUrl::fromLocalFile(trips), true));
    QVERIFY(m_store->save(QUrl::fromLocalFile(home), false));
    QVERIFY(QDir(trips).removeRecursively());
    if (replaceWithFile) {
        TestFolders::writeFile(m_dir->path(), QStringLiteral("Trips"));
    }

    QCOMPARE(outcome(m_store->resolve(trips)), QStringLiteral("error: ") + message);
    QCOMPARE(outcome(m_store->resolveLast()), QStringLiteral("error: ") + message);
    QCOMPARE(m_store->resolvedRecentURLs(), QList<QUrl>{QUrl::fromLocalFile(home)});
    QCOMPARE(storedPaths(), (QStringList{home, trips}));
}

void tst_BookmarkStore::clearRecents_data()
{
    QTest::addColumn<bool>("keepingLast");
    QTest::addColumn<QString>("lastName"); // empty: no last collection
    QTest::addColumn<QStringList>("keptNames");
    QTest::addColumn<bool>("lastRemains");

    const QString middle = QStringLiteral("Middle");
    QTest::newRow("keeping last: only its entry") << true << middle << QStringList{middle} << true;
    QTest::newRow("keeping last without an entry: none")
        << true << QStringLiteral("Unsaved") << QStringList{} << true;
    QTest::newRow("keeping last, no last path: none")
        << true << QString() << QStringList{} << false;
    QTest::newRow("not keeping: none, last forgotten") << false << middle << QStringList{} << false;
}

void tst_BookmarkStore::clearRecents()
{
    QFETCH(bool, keepingLast);
    QFETCH(QString, lastName);
    QFETCH(QStringList, keptNames);
    QFETCH(bool, lastRemains);
    for (const QString &name :
         {QStringLiteral("Oldest"), QStringLiteral("Middle"), QStringLiteral("Newest")}) {
        QVERIFY(m_store->save(QUrl::fromLocalFile(folder(name)), false));
    }
    if (!lastName.isEmpty()) {
        m_settings->setValue(BookmarkStore::lastPathKey, folder(lastName));
    }

    m_store->clearRecents(keepingLast);
    onDisk();
    const BookmarkStore relaunched(std::make_shared<QSettings>(iniPath(), QSettings::IniFormat));
    QStringList kept;
    for (const Entry &entry : relaunched.loadEntries()) {
        kept.append(QFileInfo(entry.path).fileName());
    }
    QCOMPARE(kept, keptNames);
    QCOMPARE(m_settings->contains(BookmarkStore::lastPathKey), lastRemains);
}

QTEST_GUILESS_MAIN(tst_BookmarkStore)
#include "tst_BookmarkStore.moc"
