#include "Models/NaturalOrder.h"
#include "Services/FileSystemService.h"
#include "Services/CollectionRescan.h"
#include "support/FaultyFileSystem.h"
#include "support/TestFolders.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace TestFolders;

class tst_FolderScanner : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void emptyRoot();
    void onlyFoldersInNaturalOrder();
    void whatBecomesAPhoto_data();
    void whatBecomesAPhoto();
    void nestedFoldersAreIgnored();
    void rootErrors_data();
    void rootErrors();
    void unlistableFolders_data();
    void unlistableFolders();
    void idsSurviveRenameAndMove();
    void sectionsComeOutInRuleOrder_data();
    void sectionsComeOutInRuleOrder();
    void rootReachedThroughLinkIsOpened();
    void cancellationStopsAtCheckPoints_data();
    void cancellationStopsAtCheckPoints();
    void shotsShowTheirBestMember();
    void largeFolderMakesEveryShot();
    void rescanChecksBeforeItScans_data();
    void rescanChecksBeforeItScans();

private:
    static Result<PhotoCollection> scan(const QString &root,
                                        PhotoSortOrder order = PhotoSortOrder::filename,
                                        std::shared_ptr<PlatformFileSystem> fs = {})
    {
        FileSystemService service(std::move(fs));
        return service.scan(QUrl::fromLocalFile(root), order).result();
    }
    static QStringList names(const PhotoSection &section)
    {
        QStringList result;
        for (const Photo &photo : section.photos) {
            result.append(photo.filename);
        }
        return result;
    }
};

void tst_FolderScanner::emptyRoot()
{
    QTemporaryDir dir;
    const Result<PhotoCollection> collection = scan(dir.path());
    QVERIFY(collection.has_value());
    QCOMPARE(collection->sections.size(), 1);
    const PhotoSection &unsorted = collection->sections.first();
    QCOMPARE(unsorted.kind, PhotoSectionKind::unsorted);
    QCOMPARE(unsorted.name, QStringLiteral("Unsorted"));
    QVERIFY(unsorted.id.startsWith(QStringLiteral("unsorted:")));
    QCOMPARE(unsorted.count(), 0);
    QCOMPARE(collection->displayName, QDir(dir.path()).dirName());
}

void tst_FolderScanner::onlyFoldersInNaturalOrder()
{
    QTemporaryDir dir;
    for (const char *name : {"Folder 10", "Folder 2", "archive", ".hidden"}) {
        makeFolder(dir.path(), QString::fromUtf8(name));
    }
    const Result<PhotoCollection> collection = scan(dir.path());
    QVERIFY(collection.has_value());
    QStringList sectionNames;
    for (const PhotoSection &section : collection->sections) {
        sectionNames.append(section.name);
        if (section.kind == PhotoSectionKind::category) {
            QVERIFY(section.id.startsWith(QStringLiteral("category:")));
            QCOMPARE(section.url.toLocalFile(), dir.path() + QLatin1Char('/') + section.name);
        }
    }
    QCOMPARE(sectionNames, (QStringList{QStringLiteral("Unsorted"), QStringLiteral("archive"),
                                        QStringLiteral("Folder 2"), QStringLiteral("Folder 10")}));
    QCOMPARE(collection->categoryCount(), 3);
}

void tst_FolderScanner::whatBecomesAPhoto_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("isPhoto");
    QTest::newRow("jpeg") << QStringLiteral("jpeg") << true;
    QTest::newRow("png without extension") << QStringLiteral("png-no-extension") << true;
    QTest::newRow("jpeg with unknown extension") << QStringLiteral("jpeg-unknown-extension") << true;
    QTest::newRow("text named .jpg") << QStringLiteral("text-as-jpg") << true;
    QTest::newRow("zero bytes named .png") << QStringLiteral("empty-png") << true;
    QTest::newRow("text file") << QStringLiteral("text") << false;
    QTest::newRow("text without extension") << QStringLiteral("text-no-extension") << false;
    QTest::newRow("hidden jpeg") << QStringLiteral("hidden") << false;
    QTest::newRow("link to a jpeg") << QStringLiteral("link") << false;
    QTest::newRow("fifo named .jpg") << QStringLiteral("fifo") << false;
    QTest::newRow("name not valid UTF-8") << QStringLiteral("bad-name") << false;
}

void tst_FolderScanner::whatBecomesAPhoto()
{
    QFETCH(QString, kind);
    QFETCH(bool, isPhoto);
    QTemporaryDir dir;
    QTemporaryDir elsewhere;
    const QString root = dir.path();
    const QByteArray rootBytes = QFile::encodeName(root);
    if (kind == QLatin1String("jpeg")) {
        writeJpeg(root, QStringLiteral("a.jpg"));
    } else if (kind == QLatin1String("png-no-extension")) {
        writePng(elsewhere.path(), QStringLiteral("x.png"));
        QFile::rename(elsewhere.path() + QStringLiteral("/x.png"), root + QStringLiteral("/scan"));
    } else if (kind == QLatin1String("jpeg-unknown-extension")) {
        writeJpeg(elsewhere.path(), QStringLiteral("x.jpg"));
        QFile::rename(elsewhere.path() + QStringLiteral("/x.jpg"), root + QStringLiteral("/a.qqzz"));
    } else if (kind == QLatin1String("text-as-jpg")) {
        writeFile(root, QStringLiteral("notes.jpg"), "just some words\n");
    } else if (kind == QLatin1String("empty-png")) {
        writeFile(root, QStringLiteral("empty.png"), QByteArray());
    } else if (kind == QLatin1String("text")) {
        writeFile(root, QStringLiteral("notes.txt"), "just some words\n");
    } else if (kind == QLatin1String("text-no-extension")) {
        writeFile(root, QStringLiteral("README"), "just some words\n");
    } else if (kind == QLatin1String("hidden")) {
        writeJpeg(root, QStringLiteral(".a.jpg"));
    } else if (kind == QLatin1String("link")) {
        const QString target = writeJpeg(elsewhere.path(), QStringLiteral("x.jpg"));
        QVERIFY(QFile::link(target, root + QStringLiteral("/link.jpg")));
    } else if (kind == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo((rootBytes + "/pipe.jpg").constData(), 0600), 0);
    } else if (kind == QLatin1String("bad-name")) {
        const QByteArray jpeg = TestFolders::readFile(writeJpeg(elsewhere.path(), QStringLiteral("x.jpg")));
        FILE *raw = ::fopen((rootBytes + "/caf\xE9.jpg").constData(), "wb");
        QVERIFY(raw);
        ::fwrite(jpeg.constData(), 1, size_t(jpeg.size()), raw);
        ::fclose(raw);
    }
    const Result<PhotoCollection> collection = scan(root);
    QVERIFY2(collection.has_value(), qPrintable(collection ? QString() : collection.error().message));
    QCOMPARE(collection->sections.first().count(), isPhoto ? 1 : 0);
    // Not shown, but counted, so the user learns it is there.
    QCOMPARE(collection->sections.first().unreadableNameCount, kind == QLatin1String("bad-name"));
    ::unlink((rootBytes + "/caf\xE9.jpg").constData()); // invisible to QTemporaryDir's cleanup
}

void tst_FolderScanner::nestedFoldersAreIgnored()
{
    QTemporaryDir dir;
    writeJpeg(dir.path(), QStringLiteral("Cats/a.jpg"));
    writeJpeg(dir.path(), QStringLiteral("Cats/Kittens/b.jpg"));
    writeJpeg(dir.path(), QStringLiteral("Cats/.c.jpg"));
    const QString elsewhere = makeFolder(dir.path(), QStringLiteral("Dogs"));
    QVERIFY(QFile::link(elsewhere, dir.path() + QStringLiteral("/Link to Dogs")));
    const Result<PhotoCollection> collection = scan(dir.path());
    QVERIFY(collection.has_value());
    QCOMPARE(collection->sections.size(), 3); // Unsorted, Cats, Dogs; the link is nothing
    QCOMPARE(names(collection->sections[1]), QStringList{QStringLiteral("a.jpg")});
}

void tst_FolderScanner::rootErrors_data()
{
    QTest::addColumn<QString>("relativeRoot");
    QTest::addColumn<QString>("message");
    QTest::newRow("file as root") << QStringLiteral("notes.txt")
                                  << QStringLiteral("“notes.txt” is not a folder.");
    QTest::newRow("missing root")
        << QStringLiteral("Gone")
        << QStringLiteral("Couldn’t read “Gone”: It is no longer there.");
}

void tst_FolderScanner::rootErrors()
{
    QFETCH(QString, relativeRoot);
    QFETCH(QString, message);
    QTemporaryDir dir;
    writeFile(dir.path(), QStringLiteral("notes.txt"));
    const Result<PhotoCollection> collection = scan(dir.path() + QLatin1Char('/') + relativeRoot);
    QVERIFY(!collection.has_value());
    QCOMPARE(collection.error().message, message);
}

void tst_FolderScanner::unlistableFolders_data()
{
    QTest::addColumn<QString>("failing");    // the folder whose listing fails
    QTest::addColumn<int>("error");
    QTest::addColumn<QStringList>("sections"); // empty: the whole scan fails
    QTest::addColumn<QStringList>("unreadable");
    QTest::newRow("category without permission")
        << QStringLiteral("lost+found") << EACCES
        << QStringList{QStringLiteral("Unsorted"), QStringLiteral("Cats")}
        << QStringList{QStringLiteral("lost+found")};
    QTest::newRow("category with an I/O error")
        << QStringLiteral("Cats") << EIO
        << QStringList{QStringLiteral("Unsorted"), QStringLiteral("lost+found")}
        << QStringList{QStringLiteral("Cats")};
    QTest::newRow("category gone since the root was listed")
        << QStringLiteral("Cats") << ENOENT
        << QStringList{QStringLiteral("Unsorted"), QStringLiteral("lost+found")} << QStringList();
    QTest::newRow("unreadable root") << QString() << EACCES << QStringList() << QStringList();
}

void tst_FolderScanner::unlistableFolders()
{
    QFETCH(QString, failing);
    QFETCH(int, error);
    QFETCH(QStringList, sections);
    QFETCH(QStringList, unreadable);
    QTemporaryDir dir;
    writeJpeg(dir.path(), QStringLiteral("a.jpg"));
    writeJpeg(dir.path(), QStringLiteral("Cats/b.jpg"));
    makeFolder(dir.path(), QStringLiteral("lost+found"));
    const QString failingPath =
        failing.isEmpty() ? dir.path() : dir.path() + QLatin1Char('/') + failing;
    auto fs = std::make_shared<FaultyFileSystem>();
    fs->hook = [&](FaultyFileSystem::Call call, const QString &path,
                   const QString &) -> std::optional<int> {
        if (call == FaultyFileSystem::Call::list && path == failingPath) {
            return error;
        }
        return std::nullopt;
    };
    const Result<PhotoCollection> collection = scan(dir.path(), PhotoSortOrder::filename, fs);
    if (sections.isEmpty()) {
        QVERIFY(!collection.has_value());
        QCOMPARE(collection.error().systemError, error);
        return;
    }
    QVERIFY2(collection.has_value(), qPrintable(collection ? QString() : collection.error().message));
    QStringList shown;
    for (const PhotoSection &section : collection->sections) {
        shown.append(section.name);
    }
    QCOMPARE(shown, sections);
    QCOMPARE(collection->unreadableFolders, unreadable);
    QCOMPARE(collection->photoCount(), failing == QLatin1String("Cats") ? 1 : 2);
}

void tst_FolderScanner::idsSurviveRenameAndMove()
{
    QTemporaryDir dir;
    writeJpeg(dir.path(), QStringLiteral("a.jpg"));
    makeFolder(dir.path(), QStringLiteral("Cats"));
    const Result<PhotoCollection> before = scan(dir.path());
    QVERIFY(before.has_value());
    const QString photoID = before->sections[0].photos[0].id;
    const QString sectionID = before->sections[1].id;

    QVERIFY(QDir(dir.path()).rename(QStringLiteral("Cats"), QStringLiteral("Felines")));
    QVERIFY(QDir(dir.path()).rename(QStringLiteral("a.jpg"), QStringLiteral("Felines/b.jpg")));
    const Result<PhotoCollection> after = scan(dir.path());
    QVERIFY(after.has_value());
    QCOMPARE(after->sections[1].name, QStringLiteral("Felines"));
    QCOMPARE(after->sections[1].id, sectionID);
    QCOMPARE(after->sections[1].photos[0].id, photoID);
    QCOMPARE(after->sections[1].photos[0].filename, QStringLiteral("b.jpg"));
    QCOMPARE(after->sections[0].id, before->sections[0].id);
}

void tst_FolderScanner::sectionsComeOutInRuleOrder_data()
{
    QTest::addColumn<PhotoSortOrder>("order");
    QTest::newRow("filename") << PhotoSortOrder::filename;
    QTest::newRow("modificationDate") << PhotoSortOrder::modificationDate;
}

void tst_FolderScanner::sectionsComeOutInRuleOrder()
{
    QFETCH(PhotoSortOrder, order);
    QTemporaryDir dir;
    const char *files[] = {"IMG_10.jpg", "IMG_2.jpg", "b.jpg", "A.jpg", "Cats/z 1.jpg", "Cats/Z 01.jpg"};
    qint64 time = 1700000000;
    for (const char *file : files) {
        setModificationTime(writeJpeg(dir.path(), QString::fromUtf8(file)), time);
        time -= (time % 2) ? 0 : 100; // some equal times, some different
    }
    const Result<PhotoCollection> collection = scan(dir.path(), order);
    QVERIFY(collection.has_value());
    for (const PhotoSection &section : collection->sections) {
        QList<Photo> resorted = section.photos;
        std::reverse(resorted.begin(), resorted.end());
        sortPhotos(resorted, order);
        QCOMPARE(names(PhotoSection{{}, {}, {}, {}, resorted}), names(section));
    }
    if (order == PhotoSortOrder::filename) {
        QCOMPARE(names(collection->sections[0]),
                 (QStringList{QStringLiteral("A.jpg"), QStringLiteral("b.jpg"),
                              QStringLiteral("IMG_2.jpg"), QStringLiteral("IMG_10.jpg")}));
    }
}

void tst_FolderScanner::rootReachedThroughLinkIsOpened()
{
    QTemporaryDir dir;
    writeJpeg(dir.path(), QStringLiteral("Real/a.jpg"));
    QVERIFY(QFile::link(dir.path() + QStringLiteral("/Real"), dir.path() + QStringLiteral("/Alias")));
    const Result<PhotoCollection> collection = scan(dir.path() + QStringLiteral("/Alias/"));
    QVERIFY(collection.has_value());
    QCOMPARE(collection->displayName, QStringLiteral("Alias"));
    QCOMPARE(collection->sections[0].count(), 1);
}

void tst_FolderScanner::cancellationStopsAtCheckPoints_data()
{
    QTest::addColumn<int>("checksBeforeCancel");
    // Check points: start, every 16 names read (the first included), every 16 entries' attributes
    // read, every 64 root entries examined, after the root, before each category, then its
    // listing's and every 64 of its entries examined.
    QTest::newRow("at the start") << 0;
    QTest::newRow("reading the root's names") << 2;
    QTest::newRow("reading the root's attributes") << 12;
    QTest::newRow("examining the root's entries") << 19;
    QTest::newRow("after the root listing") << 21;
    QTest::newRow("before the first category") << 22;
    QTest::newRow("inside a category listing") << 23;
}

void tst_FolderScanner::cancellationStopsAtCheckPoints()
{
    QFETCH(int, checksBeforeCancel);
    QTemporaryDir dir;
    for (int i = 0; i < 130; ++i) {
        writeFile(dir.path(), QStringLiteral("f%1.txt").arg(i));
    }
    writeFile(dir.path(), QStringLiteral("Cats/a.txt"));
    FolderScanner scanner(std::make_shared<LinuxFileSystem>());
    int checks = 0;
    const Result<PhotoCollection> cancelled =
        scanner.scan(QUrl::fromLocalFile(dir.path()), PhotoSortOrder::filename,
                     [&] { return checks++ >= checksBeforeCancel; });
    QVERIFY(!cancelled.has_value());
    QCOMPARE(cancelled.error().code, FileSystemError::Code::cancelled);
    QCOMPARE(checks, checksBeforeCancel + 1);

    int total = 0;
    QVERIFY(scanner.scan(QUrl::fromLocalFile(dir.path()), PhotoSortOrder::filename, [&] {
        ++total;
        return false;
    }));
    QCOMPARE(total, 25); // so every row above stopped inside the scan, not after it
}

// A RAW+JPEG pair with sidecars is one photo shown by its JPEG, whose dimensions it takes; a
// link or a hidden file never joins a shot.
void tst_FolderScanner::shotsShowTheirBestMember()
{
    QTemporaryDir dir;
    const QString root = dir.path();
    writeFile(root, QStringLiteral("IMG_1.CR3"), "not really a RAW");
    writeJpeg(root, QStringLiteral("IMG_1.JPG"), {8, 6});
    writeFile(root, QStringLiteral("IMG_1.xmp"), "<xmp/>");
    writeJpeg(root, QStringLiteral("IMG_1.THM"), {4, 3}); // a camera's thumbnail: a sidecar
    writeFile(root, QStringLiteral(".IMG_1.pp3"), "hidden");
    QVERIFY(QFile::link(root + QStringLiteral("/IMG_1.xmp"), root + QStringLiteral("/IMG_1.dop")));
    writeFile(root, QStringLiteral("Cats/a.dng"), "raw");
    writeFile(root, QStringLiteral("Cats/a.dng.xmp"), "edits");
    const Result<PhotoCollection> collection = scan(root);
    QVERIFY(collection.has_value());
    const PhotoSection &unsorted = collection->sections[0];
    QCOMPARE(names(unsorted), QStringList{QStringLiteral("IMG_1.JPG")});
    const Photo &pair = unsorted.photos[0];
    QCOMPARE(pair.memberNames(), (QStringList{QStringLiteral("IMG_1.JPG"),
                                              QStringLiteral("IMG_1.CR3"),
                                              QStringLiteral("IMG_1.THM"),
                                              QStringLiteral("IMG_1.xmp")}));
    QCOMPARE(pair.dimensionsLabel(), QStringLiteral("8 × 6"));
    QCOMPARE(pair.companions[0].kind, ImageKind::raw);
    QCOMPARE(pair.shotByteCount(),
             QFileInfo(root + QStringLiteral("/IMG_1.JPG")).size() + 16 + 6
                 + QFileInfo(root + QStringLiteral("/IMG_1.THM")).size());
    QVERIFY(pair.companions[2].id.contains(QLatin1Char(':')));
    QCOMPARE(collection->sections[1].photos[0].memberNames(),
             (QStringList{QStringLiteral("a.dng"), QStringLiteral("a.dng.xmp")}));
}

// A folder large enough to be shared out between threads: every shot is made once, whole,
// in order.
void tst_FolderScanner::largeFolderMakesEveryShot()
{
    QTemporaryDir dir;
    constexpr int shots = 9000;
    for (int i = 0; i < shots; ++i) {
        writeFile(dir.path(), QStringLiteral("IMG_%1.JPG").arg(i), "not decoded");
        if (i % 3 == 0) {
            writeFile(dir.path(), QStringLiteral("IMG_%1.xmp").arg(i), "<xmp/>");
        }
    }
    const FolderScanner scanner(std::make_shared<LinuxFileSystem>()); // no headers read
    const Result<PhotoCollection> collection =
        scanner.scan(QUrl::fromLocalFile(dir.path()), PhotoSortOrder::filename);
    QVERIFY(collection);
    const QList<Photo> &photos = collection->sections.first().photos;
    QCOMPARE(photos.size(), shots);
    for (int i = 0; i < shots; ++i) {
        QCOMPARE(photos[i].filename, QStringLiteral("IMG_%1.JPG").arg(i));
        QCOMPARE(photos[i].url, QUrl::fromLocalFile(dir.path() + QLatin1Char('/') + photos[i].filename));
        QCOMPARE(photos[i].companions.size(), i % 3 == 0 ? 1 : 0);
    }
}

void tst_FolderScanner::rescanChecksBeforeItScans_data()
{
    QTest::addColumn<QStringList>("before"); // in Cats beside b.jpg when it is shown
    QTest::addColumn<QString>("change");     // a file written into Cats, or none
    QTest::addColumn<bool>("together");
    QTest::addColumn<bool>("changed");
    const QStringList none;
    // Orphan sidecars make no photo, and Takeout's metadata names are never a shot's.
    const QStringList orphans{QStringLiteral("lonely.xmp"), QStringLiteral("b.jpg.supplemental-metadata.json")};
    const QStringList twoImages{QStringLiteral("b.png"), QStringLiteral("b.xmp")};
    QTest::newRow("as shown") << none << QString() << true << false;
    QTest::newRow("a file added") << none << QStringLiteral("c.jpg") << true << true;
    QTest::newRow("a file rewritten") << none << QStringLiteral("b.jpg") << true << true;
    QTest::newRow("orphan sidecars, as shown") << orphans << QString() << true << false;
    QTest::newRow("orphans, apart, as shown") << orphans << QString() << false << false;
    QTest::newRow("an orphan added") << orphans << QStringLiteral("c.json") << true << false;
    QTest::newRow("an orphan finds its image") << orphans << QStringLiteral("lonely.png") << true << true;
    QTest::newRow("a sidecar added") << orphans << QStringLiteral("b.pp3") << true << true;
    QTest::newRow("apart: stem sidecar of two images") << twoImages << QString() << false << false;
    QTest::newRow("apart: stem sidecar rewritten") << twoImages << QStringLiteral("b.xmp") << false << false;
    QTest::newRow("together: stem sidecar rewritten") << twoImages << QStringLiteral("b.xmp") << true << true;
}

// A check names the folders that changed, and lets go of the shown photos before it lists a
// folder: the window's next key may then move a photo without copying the whole list. A scan
// of a changed folder brings its new photos.
void tst_FolderScanner::rescanChecksBeforeItScans()
{
    QFETCH(QStringList, before);
    QFETCH(QString, change);
    QFETCH(bool, together);
    QFETCH(bool, changed);
    const CompanionRule rule = together ? CompanionRule::together : CompanionRule::apart;
    QTemporaryDir dir;
    writeJpeg(dir.path(), QStringLiteral("a.jpg"));
    writeJpeg(dir.path(), QStringLiteral("Cats/b.jpg"));
    for (const QString &name : before) {
        writeJpeg(dir.path(), QStringLiteral("Cats/") + name);
    }
    FileSystemService service;
    const Result<PhotoCollection> shown =
        service.scan(QUrl::fromLocalFile(dir.path()), PhotoSortOrder::filename, rule).result();
    QVERIFY(shown);
    if (!change.isEmpty()) {
        writeJpeg(dir.path(), QStringLiteral("Cats/") + change, {40, 30}); // another size
    }
    const QString cats = dir.path() + QStringLiteral("/Cats");
    auto fs = std::make_shared<FaultyFileSystem>();
    QList<bool> sharedWhileListing;
    fs->hook = [&](FaultyFileSystem::Call call, const QString &, const QString &) {
        if (call == FaultyFileSystem::Call::list) {
            sharedWhileListing.append(!shown->sections[1].photos.isDetached());
        }
        return std::optional<int>();
    };
    FolderScanner scanner(fs);
    const Result<CollectionUpdate> checked =
        CollectionRescan::run(scanner, *shown, {cats}, RescanScope::check,
                              PhotoSortOrder::filename, rule);
    QVERIFY(checked);
    QCOMPARE(sharedWhileListing, QList<bool>{false});
    QCOMPARE(checked->changedFolders, changed ? QSet<QString>{cats} : QSet<QString>());
    QVERIFY(checked->sections.isEmpty());

    const Result<CollectionUpdate> scanned =
        CollectionRescan::run(scanner, *shown, checked->changedFolders, RescanScope::scan,
                              PhotoSortOrder::filename, rule);
    QVERIFY(scanned);
    QCOMPARE(scanned->sections.size(), changed ? 1 : 0);
    if (changed) {
        const auto describe = [](const PhotoSection &section) {
            QStringList photos;
            for (const Photo &photo : section.photos) {
                photos.append(photo.filename + QLatin1Char(' ') + QString::number(photo.byteCount));
                for (const Companion &companion : photo.companions) {
                    photos.last() += QLatin1Char(' ') + companion.filename + QLatin1Char(' ')
                                     + QString::number(companion.byteCount);
                }
            }
            return photos;
        };
        const Result<PhotoCollection> now =
            service.list(QUrl::fromLocalFile(dir.path()), PhotoSortOrder::filename, rule).result();
        QVERIFY(now);
        QCOMPARE(describe(scanned->sections.first()), describe(now->sections[1]));
    }
}

QTEST_GUILESS_MAIN(tst_FolderScanner)
#include "tst_FolderScanner.moc"
