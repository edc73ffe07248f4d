#include "Services/BookmarkStore.h"
#include "support/TestFolders.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;

using namespace TestFolders;
using Entry = BookmarkStore::Entry;

namespace QTest {
template<>
char *toString(const Entry &entry)
{
    return qstrdup(u"{%1, %2}"_s.arg(entry.path, QString::fromUtf8(entry.bookmark.toHex()))
                       .toUtf8()
                       .constData());
}
} // namespace QTest

// One readable line per outcome, so a failed comparison shows what came back.
static QString outcome(const Result<std::optional<QUrl>> &result)
{
    if (!result) {
        return u"error: "_s + result.error().message;
    }
    return *result ? (*result)->toLocalFile() : u"none"_s;
}

class tst_BookmarkStore : public QObject
{
    Q_OBJECT

    QString folder(const QString &name) const { return makeFolder(m_dir->path(), name); }
    QString iniPath() const { return m_dir->filePath(u"settings.ini"_s); }
    // What a later launch would read: pending writes are flushed, then the file is read.
    QByteArray onDisk() const
    {
        m_settings->sync();
        return readFile(iniPath());
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

private Q_SLOTS:
    void init()
    {
        m_dir.emplace();
        QVERIFY(m_dir->isValid());
        m_settings = std::make_shared<QSettings>(iniPath(), QSettings::IniFormat);
        m_store.emplace(m_settings);
    }

    void cleanup()
    {
        m_store.reset();
        m_settings.reset();
        m_dir.reset();
    }

    void saveRecordsEntry_data()
    {
        QTest::addColumn<bool>("makeLast");
        QTest::newRow("becomes the last collection") << true;
        QTest::newRow("last collection unchanged") << false;
    }

    void saveRecordsEntry()
    {
        QFETCH(bool, makeLast);
        const QString earlier = folder(u"Earlier"_s);
        const QString trips = folder(u"Trips"_s);
        QVERIFY(m_store->save(QUrl::fromLocalFile(earlier), true));
        QVERIFY(m_store->save(QUrl::fromLocalFile(trips), makeLast));

        onDisk();
        // A fresh settings object on the same file stands in for the next launch; the stored
        // list's layout is what earlier versions wrote and read.
        const auto cbor = [](const QString &path) {
            return QCborMap{{u"path"_s, path}, {u"bookmark"_s, path.toUtf8()}};
        };
        QCOMPARE(QCborValue::fromCbor(QSettings(iniPath(), QSettings::IniFormat)
                                          .value(BookmarkStore::entriesKey)
                                          .toByteArray()),
                 QCborValue(QCborArray{cbor(trips), cbor(earlier)}));
        const BookmarkStore later(std::make_shared<QSettings>(iniPath(), QSettings::IniFormat));
        QCOMPARE(later.resolvedRecentURLs(),
                 (QList<QUrl>{QUrl::fromLocalFile(trips), QUrl::fromLocalFile(earlier)}));
        QCOMPARE(later.resolveRecentURLsInBackground().result(), later.resolvedRecentURLs());
        QCOMPARE(outcome(later.resolveLast()), makeLast ? trips : earlier);
    }

    void keepsTwentyNewest()
    {
        QStringList newestFirst;
        for (int i = 1; i <= 21; ++i) {
            const QString path = folder(u"Folder %1"_s.arg(i));
            QVERIFY(m_store->save(QUrl::fromLocalFile(path), false));
            newestFirst.prepend(path);
        }
        newestFirst.removeLast(); // "Folder 1", the first saved
        QCOMPARE(storedPaths(), newestFirst);
    }

    void resaveMovesToFront_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("again");
        QTest::addColumn<QString>("expected");

        const QString nfc = u"Caf\u00E9"_s;
        const QString nfd = u"Cafe\u0301"_s;
        QTest::newRow("same path") << u"Trips"_s << u"Trips"_s << u"Trips"_s;
        QTest::newRow("trailing slash and dot segments")
            << u"Trips"_s << u"Other/../Trips/./"_s << u"Trips"_s;
        QTest::newRow("precomposed then decomposed") << nfc << nfd << nfd;
        QTest::newRow("decomposed then precomposed") << nfd << nfc << nfc;
    }

    void resaveMovesToFront()
    {
        QFETCH(QString, first);
        QFETCH(QString, again);
        QFETCH(QString, expected);
        QVERIFY(m_store->save(QUrl::fromLocalFile(folder(first)), false));
        const QString middle = folder(u"Middle"_s);
        QVERIFY(m_store->save(QUrl::fromLocalFile(middle), false));

        // On Linux the two Unicode forms name two folders; both must exist to be saved.
        QVERIFY(m_store->save(QUrl::fromLocalFile(folder(again)), true));
        const QString expectedPath = folder(expected);
        QCOMPARE(m_store->loadEntries(),
                 (QList<Entry>{{expectedPath, expectedPath.toUtf8()}, {middle, middle.toUtf8()}}));
        QCOMPARE(outcome(m_store->resolveLast()), expectedPath);
    }

    void saveRejects_data()
    {
        QTest::addColumn<QUrl>("url");
        QTest::addColumn<QString>("messagePart");
        const QString notLocal = u"isn\u2019t a folder on this computer"_s;
        QTest::newRow("relative path") << QUrl::fromLocalFile(u"Trips/2024"_s) << notLocal;
        QTest::newRow("not a local file") << QUrl(u"https://example.com/Trips"_s) << notLocal;
        QTest::newRow("empty url") << QUrl() << notLocal;
        QTest::newRow("missing folder")
            << QUrl(u"Missing"_s) << u"The folder \u201CMissing\u201D can\u2019t be found."_s;
        QTest::newRow("a file") << QUrl(u"photo.jpg"_s)
                                << u"\u201Cphoto.jpg\u201D is not a folder."_s;
    }

    void saveRejects()
    {
        QFETCH(QUrl, url);
        QFETCH(QString, messagePart);
        writeFile(m_dir->path(), u"photo.jpg"_s);
        if (url.isRelative() && !url.isEmpty()) { // a name inside the temporary folder
            url = QUrl::fromLocalFile(m_dir->filePath(url.path()));
        }
        const QString kept = folder(u"Kept"_s);
        QVERIFY(m_store->save(QUrl::fromLocalFile(kept), true));
        const QByteArray before = onDisk();

        const Result<void> result = m_store->save(url, true);
        QVERIFY(!result);
        QVERIFY2(result.error().message.contains(messagePart), qPrintable(result.error().message));
        QCOMPARE(onDisk(), before); // nothing stored, the last collection unchanged
    }

    void unreadableListCountsAsEmpty_data()
    {
        QTest::addColumn<QVariant>("stored");
        const QCborMap good{{u"path"_s, u"/a"_s}, {u"bookmark"_s, QByteArray("/a")}};
        const auto cbor = [](const QCborValue &value) { return QVariant(value.toCbor()); };

        QTest::newRow("garbage bytes") << QVariant(QByteArray("\xff\x00garbage", 9));
        QTest::newRow("truncated list")
            << QVariant(QCborValue(QCborArray{good}).toCbor().chopped(2));
        QTest::newRow("bytes after the list")
            << QVariant(QCborValue(QCborArray{good}).toCbor() + QByteArray("\x01", 1));
        QTest::newRow("a map, not a list") << cbor(good);
        QTest::newRow("entry without bookmark")
            << cbor(QCborArray{good, QCborMap{{u"path"_s, u"/b"_s}}});
        QTest::newRow("path stored as bytes") << cbor(
            QCborArray{QCborMap{{u"path"_s, QByteArray("/b")}, {u"bookmark"_s, QByteArray("/b")}}});
        QTest::newRow("entry that is a string") << cbor(QCborArray{good, u"/b"_s});
        QTest::newRow("text instead of data") << QVariant(u"/a"_s);
    }

    void unreadableListCountsAsEmpty()
    {
        QFETCH(QVariant, stored);
        m_settings->setValue(BookmarkStore::entriesKey, stored);
        const QByteArray before = onDisk();

        QCOMPARE(m_store->loadEntries(), QList<Entry>{});
        QCOMPARE(onDisk(), before); // only a save replaces what is there

        const QString trips = folder(u"Trips"_s);
        QVERIFY(m_store->save(QUrl::fromLocalFile(trips), false));
        QCOMPARE(m_store->loadEntries(), (QList<Entry>{{trips, trips.toUtf8()}}));
    }

    void missingFolderFailsButStaysStored_data()
    {
        QTest::addColumn<bool>("replaceWithFile");
        QTest::addColumn<QString>("message");
        QTest::newRow("deleted") << false << u"The folder \u201CTrips\u201D can\u2019t be found."_s;
        QTest::newRow("replaced by a file") << true << u"\u201CTrips\u201D is not a folder."_s;
    }

    void missingFolderFailsButStaysStored()
    {
        QFETCH(bool, replaceWithFile);
        QFETCH(QString, message);
        const QString trips = folder(u"Trips"_s);
        const QString home = folder(u"Home"_s);
        QVERIFY(m_store->save(QUrl::fromLocalFile(trips), true));
        QVERIFY(m_store->save(QUrl::fromLocalFile(home), false));
        QVERIFY(QDir(trips).removeRecursively());
        if (replaceWithFile) {
            writeFile(m_dir->path(), u"Trips"_s);
        }
        const QByteArray before = onDisk();

        QCOMPARE(outcome(m_store->resolveLast()), u"error: "_s + message);
        QCOMPARE(m_store->resolvedRecentURLs(), QList<QUrl>{QUrl::fromLocalFile(home)});
        QCOMPARE(storedPaths(), (QStringList{home, trips}));
        // A path never saved resolves to nothing.
        for (const QString &path : {folder(u"Never saved"_s), QString()}) {
            QCOMPARE(outcome(m_store->resolve(path)), u"none"_s);
        }
        QCOMPARE(onDisk(), before); // resolving writes nothing
    }

    void clearRecents_data()
    {
        QTest::addColumn<bool>("keepingLast");
        QTest::addColumn<QString>("lastName"); // empty: no last collection
        QTest::addColumn<QStringList>("keptNames");
        QTest::addColumn<bool>("lastRemains");

        const QString middle = u"Middle"_s;
        QTest::newRow("keeping last: only its entry")
            << true << middle << QStringList{middle} << true;
        QTest::newRow("keeping last without an entry: none")
            << true << u"Unsaved"_s << QStringList{} << true;
        QTest::newRow("keeping last, no last path: none")
            << true << QString() << QStringList{} << false;
        QTest::newRow("not keeping: none, last forgotten")
            << false << middle << QStringList{} << false;
    }

    void clearRecents()
    {
        QFETCH(bool, keepingLast);
        QFETCH(QString, lastName);
        QFETCH(QStringList, keptNames);
        QFETCH(bool, lastRemains);
        for (const QString &name : {u"Oldest"_s, u"Middle"_s, u"Newest"_s}) {
            QVERIFY(m_store->save(QUrl::fromLocalFile(folder(name)), false));
        }
        if (!lastName.isEmpty()) {
            m_settings->setValue(BookmarkStore::lastPathKey, folder(lastName));
        }

        m_store->clearRecents(keepingLast);
        QStringList kept;
        for (const QString &path : storedPaths()) {
            kept.append(QFileInfo(path).fileName());
        }
        QCOMPARE(kept, keptNames);
        QCOMPARE(m_settings->contains(BookmarkStore::lastPathKey), lastRemains);
    }
};

QTEST_GUILESS_MAIN(tst_BookmarkStore)
#include "tst_BookmarkStore.moc"
