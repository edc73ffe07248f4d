#include "Services/CollectionRescan.h"
#include "Services/FileSystemService.h"
#include "support/FaultyFileSystem.h"
#include "support/TestFolders.h"
#include "support/TestRows.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include <thread>

using namespace TestFolders;
using namespace Qt::StringLiterals;

namespace {

Result<PhotoCollection> scan(const QString &root,
                             PhotoSortOrder order = PhotoSortOrder::filename,
                             std::shared_ptr<PlatformFileSystem> fs = {})
{
    FileSystemService service(std::move(fs));
    return service.scan(QUrl::fromLocalFile(root), order).result();
}

QStringList names(const PhotoSection &section)
{
    QStringList result;
    for (const Photo &photo : section.photos) {
        result.append(photo.filename);
    }
    return result;
}

QStringList sectionNames(const PhotoCollection &collection)
{
    QStringList result;
    for (const PhotoSection &section : collection.sections) {
        result.append(section.name);
    }
    return result;
}

// Lays out one entry in `root`, given a JPEG outside it.
using Layout = std::function<void(const QString &root, const QString &jpeg)>;

} // namespace

class tst_FolderScanner : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The root's own folders are the categories, in natural order; hidden ones, nested ones
    // and links are not. A root reached through a link is opened under the link's name.
    void sectionsAreTheRootsFolders()
    {
        QTemporaryDir dir, elsewhere;
        for (const QString &name : {u"Folder 10"_s, u"Folder 2"_s, u"archive"_s, u".hidden"_s}) {
            makeFolder(dir.path(), name);
        }
        writeJpeg(dir.path(), u"Cats/a.jpg"_s);
        writeJpeg(dir.path(), u"Cats/Kittens/b.jpg"_s);
        writeJpeg(dir.path(), u"Cats/.c.jpg"_s);
        QVERIFY(QFile::link(makeFolder(dir.path(), u"Dogs"_s), dir.path() + u"/Link to Dogs"_s));
        QVERIFY(QFile::link(dir.path(), elsewhere.path() + u"/Alias"_s));
        for (const QString &root : {dir.path(), elsewhere.path() + u"/Alias/"_s}) {
            const Result<PhotoCollection> collection = scan(root);
            QVERIFY2(collection, qPrintable(why(collection)));
            QCOMPARE(collection->displayName, QDir(root).dirName());
            QCOMPARE(sectionNames(*collection),
                     (QStringList{u"Unsorted"_s, u"archive"_s, u"Cats"_s, u"Dogs"_s, u"Folder 2"_s,
                                  u"Folder 10"_s}));
            QCOMPARE(collection->categoryCount(), 5);
            const PhotoSection &unsorted = collection->sections.first();
            QCOMPARE(unsorted.kind, PhotoSectionKind::unsorted);
            QVERIFY(unsorted.id.startsWith(u"unsorted:"_s));
            QCOMPARE(unsorted.count(), 0);
            for (const PhotoSection &section : collection->sections.mid(1)) {
                QCOMPARE(section.kind, PhotoSectionKind::category);
                QVERIFY(section.id.startsWith(u"category:"_s));
                QCOMPARE(section.url.toLocalFile(), QDir::cleanPath(root) + u'/' + section.name);
            }
            QCOMPARE(names(collection->sections[2]), QStringList{u"a.jpg"_s});
        }
    }

    void whatBecomesAPhoto_data()
    {
        QTest::addColumn<Layout>("layout");
        QTest::addColumn<bool>("isPhoto");
        const auto text = [](const QString &name, const QByteArray &bytes = "just some words\n") {
            return Layout(
                [=](const QString &root, const QString &) { writeFile(root, name, bytes); });
        };
        const auto jpegAs = [](const QString &name) {
            return Layout([=](const QString &root, const QString &jpeg) {
                QCOMPARE(::rename(QFile::encodeName(jpeg).constData(),
                                  QFile::encodeName(root).append(name.toLatin1()).constData()),
                         0);
            });
        };
        row("jpeg", jpegAs(u"/a.jpg"_s), true);
        row("png without extension", Layout([](const QString &root, const QString &jpeg) {
                QVERIFY(
                    QFile::rename(writePng(QFileInfo(jpeg).path(), u"x.png"_s), root + u"/scan"_s));
            }),
            true);
        row("jpeg with unknown extension", jpegAs(u"/a.qqzz"_s), true);
        row("text named .jpg", text(u"notes.jpg"_s), true);
        row("zero bytes named .png", text(u"empty.png"_s, {}), true);
        row("text file", text(u"notes.txt"_s), false);
        row("text without extension", text(u"README"_s), false);
        row("hidden jpeg", jpegAs(u"/.a.jpg"_s), false);
        row("link to a jpeg", Layout([](const QString &root, const QString &jpeg) {
                QVERIFY(QFile::link(jpeg, root + u"/link.jpg"_s));
            }),
            false);
        row("fifo named .jpg", Layout([](const QString &root, const QString &) {
                QCOMPARE(::mkfifo(QFile::encodeName(root + u"/pipe.jpg"_s).constData(), 0600), 0);
            }),
            false);
        row("name not valid UTF-8", jpegAs(QString::fromLatin1("/caf\xE9.jpg")), false);
    }

    void whatBecomesAPhoto()
    {
        QFETCH(Layout, layout);
        QFETCH(bool, isPhoto);
        QTemporaryDir dir, elsewhere;
        layout(dir.path(), writeJpeg(elsewhere.path(), u"x.jpg"_s));
        const Result<PhotoCollection> collection = scan(dir.path());
        const QByteArray badName = QFile::encodeName(dir.path()) + "/caf\xE9.jpg";
        const bool badlyNamed = ::unlink(badName.constData()) == 0; // QTemporaryDir can't see it
        QVERIFY2(collection, qPrintable(why(collection)));
        QCOMPARE(collection->sections.first().count(), isPhoto ? 1 : 0);
        // Not shown, but counted, so the user learns it is there.
        QCOMPARE(collection->sections.first().unreadableNameCount, badlyNamed);
    }

    void rootErrors_data()
    {
        QTest::addColumn<QString>("relativeRoot");
        QTest::addColumn<QString>("message");
        row("file as root", u"notes.txt"_s, u"“notes.txt” is not a folder."_s);
        row("missing root", u"Gone"_s, u"Couldn’t read “Gone”: It is no longer there."_s);
    }

    void rootErrors()
    {
        QFETCH(QString, relativeRoot);
        QFETCH(QString, message);
        QTemporaryDir dir;
        writeFile(dir.path(), u"notes.txt"_s);
        const Result<PhotoCollection> collection = scan(dir.path() + u'/' + relativeRoot);
        QVERIFY(!collection);
        QCOMPARE(collection.error().message, message);
    }

    void unlistableFolders_data()
    {
        QTest::addColumn<QString>("failing"); // the folder whose listing fails
        QTest::addColumn<int>("error");
        QTest::addColumn<QStringList>("sections"); // empty: the whole scan fails
        QTest::addColumn<QStringList>("unreadable");
        QTest::addColumn<bool>("share"); // the categories are then listed together
        const QString cats = u"Cats"_s, lost = u"lost+found"_s, unsorted = u"Unsorted"_s;
        for (const bool share : {false, true}) {
            const auto on = [share](const char *name) {
                return QByteArray(name) + (share ? " (share)" : "");
            };
            row(on("category without permission"), lost, EACCES,
                QStringList{unsorted, u"Birds"_s, cats}, QStringList{lost}, share);
            row(on("category with an I/O error"), cats, EIO,
                QStringList{unsorted, u"Birds"_s, lost}, QStringList{cats}, share);
            row(on("category gone since the root was listed"), cats, ENOENT,
                QStringList{unsorted, u"Birds"_s, lost}, QStringList(), share);
            row(on("unreadable root"), QString(), EACCES, QStringList(), QStringList(), share);
        }
    }

    void unlistableFolders()
    {
        QFETCH(QString, failing);
        QFETCH(int, error);
        QFETCH(QStringList, sections);
        QFETCH(QStringList, unreadable);
        QFETCH(bool, share);
        QTemporaryDir dir;
        writeJpeg(dir.path(), u"a.jpg"_s);
        writeJpeg(dir.path(), u"Cats/b.jpg"_s);
        writeJpeg(dir.path(), u"Birds/c.jpg"_s);
        makeFolder(dir.path(), u"lost+found"_s);
        const QString failingPath = failing.isEmpty() ? dir.path() : dir.path() + u'/' + failing;
        auto fs = std::make_shared<FaultyFileSystem>();
        fs->volumeLookup = [share](const QString &) {
            CollectionVolumes volumes;
            volumes.root.kind = share ? Volume::Kind::share : Volume::Kind::local;
            return volumes;
        };
        fs->hook = [&](FaultyFileSystem::Call call, const QString &path,
                       const QString &) -> std::optional<int> {
            if (call == FaultyFileSystem::Call::list && path == failingPath) {
                return error;
            }
            return std::nullopt;
        };
        const Result<PhotoCollection> collection = scan(dir.path(), PhotoSortOrder::filename, fs);
        if (sections.isEmpty()) {
            QVERIFY(!collection);
            QCOMPARE(collection.error().systemError, error);
            return;
        }
        QVERIFY2(collection, qPrintable(why(collection)));
        QCOMPARE(sectionNames(*collection), sections);
        QCOMPARE(collection->unreadableFolders, unreadable);
        QCOMPARE(collection->photoCount(), failing == "Cats"_L1 ? 2 : 3);
        QCOMPARE(names(collection->sections[1]), QStringList{u"c.jpg"_s});
    }

    void listingLanes_data()
    {
        QTest::addColumn<int>("root");   // a Volume::Kind
        QTest::addColumn<int>("inside"); // of a category that is a mount of its own
        QTest::addColumn<int>("lanes");
        const int local = int(Volume::Kind::local), card = int(Volume::Kind::removable),
                  share = int(Volume::Kind::share), fuse = int(Volume::Kind::fuse);
        row("home disk", local, local, 1);
        row("memory card", card, card, 1);
        row("network share", share, local, 4);
        row("FUSE mirror", fuse, local, 4);
        row("a share mounted on a category", local, share, 4);
    }

    void listingLanes()
    {
        QFETCH(int, root);
        QFETCH(int, inside);
        QFETCH(int, lanes);
        CollectionVolumes volumes;
        volumes.root.kind = Volume::Kind(root);
        volumes.inside.append(Volume());
        volumes.inside.last().kind = Volume::Kind(inside);
        QCOMPARE(FolderScanner::listingLanes(volumes), lanes);
    }

    // On a share the categories' listings wait on the network together, not one after another.
    void shareListsCategoriesTogether()
    {
        QTemporaryDir dir;
        for (const QString &name : {u"A/a.jpg"_s, u"B/b.jpg"_s, u"C/c.jpg"_s}) {
            writeJpeg(dir.path(), name);
        }
        auto fs = std::make_shared<FaultyFileSystem>();
        fs->volumeLookup = [](const QString &) {
            CollectionVolumes volumes;
            volumes.root.kind = Volume::Kind::share;
            return volumes;
        };
        std::atomic<int> inFlight = 0, mostAtOnce = 0;
        fs->hook = [&](FaultyFileSystem::Call call, const QString &path,
                       const QString &) -> std::optional<int> {
            if (call == FaultyFileSystem::Call::list && path != dir.path()) {
                ++inFlight;
                QDeadlineTimer patience(5000);
                while (inFlight < 2 && !patience.hasExpired()) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
                mostAtOnce = std::max(mostAtOnce.load(), inFlight.load());
                --inFlight;
            }
            return std::nullopt;
        };
        const Result<PhotoCollection> collection = scan(dir.path(), PhotoSortOrder::filename, fs);
        QVERIFY2(collection, qPrintable(why(collection)));
        QVERIFY2(mostAtOnce >= 2, "the categories were listed one after another");
        QCOMPARE(sectionNames(*collection), (QStringList{u"Unsorted"_s, u"A"_s, u"B"_s, u"C"_s}));
        for (qsizetype i = 1; i < collection->sections.size(); ++i) {
            QCOMPARE(names(collection->sections[i]),
                     QStringList{collection->sections[i].name.toLower() + u".jpg"_s});
        }
    }

    void idsSurviveRenameAndMove()
    {
        QTemporaryDir dir;
        writeJpeg(dir.path(), u"a.jpg"_s);
        makeFolder(dir.path(), u"Cats"_s);
        const Result<PhotoCollection> before = scan(dir.path());
        QVERIFY(before);
        QVERIFY(QDir(dir.path()).rename(u"Cats"_s, u"Felines"_s));
        QVERIFY(QDir(dir.path()).rename(u"a.jpg"_s, u"Felines/b.jpg"_s));
        const Result<PhotoCollection> after = scan(dir.path());
        QVERIFY(after);
        QCOMPARE(after->sections[1].name, u"Felines"_s);
        QCOMPARE(after->sections[1].id, before->sections[1].id);
        QCOMPARE(after->sections[1].photos[0].id, before->sections[0].photos[0].id);
        QCOMPARE(after->sections[1].photos[0].filename, u"b.jpg"_s);
        QCOMPARE(after->sections[0].id, before->sections[0].id);
    }

    void sectionsComeOutInRuleOrder_data()
    {
        QTest::addColumn<PhotoSortOrder>("order");
        QTest::addColumn<QStringList>("unsorted");
        QTest::addColumn<QStringList>("cats");
        const QStringList cats{u"Z 01.jpg"_s, u"z 2.jpg"_s};
        row("filename", PhotoSortOrder::filename,
            QStringList{u"A.jpg"_s, u"b.jpg"_s, u"IMG_2.jpg"_s, u"IMG_10.jpg"_s}, cats);
        row("newest first, equal times by name", PhotoSortOrder::modificationDate,
            QStringList{u"b.jpg"_s, u"IMG_2.jpg"_s, u"IMG_10.jpg"_s, u"A.jpg"_s}, cats);
    }

    void sectionsComeOutInRuleOrder()
    {
        QFETCH(PhotoSortOrder, order);
        QFETCH(QStringList, unsorted);
        QFETCH(QStringList, cats);
        QTemporaryDir dir;
        for (const auto &[file, time] : {std::pair{"IMG_10.jpg", 0}, {"IMG_2.jpg", 0},
                                         {"b.jpg", 100}, {"A.jpg", -100}, {"Cats/z 2.jpg", 0},
                                         {"Cats/Z 01.jpg", 0}}) {
            setModificationTime(writeJpeg(dir.path(), QString::fromUtf8(file)), 1700000000 + time);
        }
        const Result<PhotoCollection> collection = scan(dir.path(), order);
        QVERIFY(collection);
        QCOMPARE(names(collection->sections[0]), unsorted);
        QCOMPARE(names(collection->sections[1]), cats);
    }

    void cancellationStopsAtCheckPoints_data()
    {
        QTest::addColumn<int>("checksBeforeCancel");
        // Check points: start, every 16 names read (the first included), every 16 entries'
        // attributes read, every 64 root entries examined, after the root, before each category,
        // then its listing's and every 64 of its entries examined.
        QTest::newRow("at the start") << 0;
        QTest::newRow("reading the root's names") << 2;
        QTest::newRow("reading the root's attributes") << 12;
        QTest::newRow("examining the root's entries") << 19;
        QTest::newRow("after the root listing") << 21;
        QTest::newRow("before the first category") << 22;
        QTest::newRow("inside a category listing") << 23;
    }

    void cancellationStopsAtCheckPoints()
    {
        QFETCH(int, checksBeforeCancel);
        QTemporaryDir dir;
        for (int i = 0; i < 130; ++i) {
            writeFile(dir.path(), u"f%1.txt"_s.arg(i));
        }
        writeFile(dir.path(), u"Cats/a.txt"_s);
        FolderScanner scanner(std::make_shared<LinuxFileSystem>());
        const QUrl root = QUrl::fromLocalFile(dir.path());
        int checks = 0;
        const Result<PhotoCollection> cancelled = scanner.scan(
            root, PhotoSortOrder::filename, [&] { return checks++ >= checksBeforeCancel; });
        QVERIFY(!cancelled);
        QCOMPARE(cancelled.error().code, FileSystemError::Code::cancelled);
        QCOMPARE(checks, checksBeforeCancel + 1);
        int total = 0;
        QVERIFY(scanner.scan(root, PhotoSortOrder::filename, [&] { return ++total < 0; }));
        QCOMPARE(total, 25); // so every row above stopped inside the scan, not after it
    }

    // A RAW+JPEG pair with sidecars is one photo shown by its JPEG, whose dimensions it takes; a
    // link or a hidden file never joins a shot.
    void shotsShowTheirBestMember()
    {
        QTemporaryDir dir;
        const QString root = dir.path();
        writeFile(root, u"IMG_1.CR3"_s, "not really a RAW");
        const qint64 jpeg = QFileInfo(writeJpeg(root, u"IMG_1.JPG"_s, {8, 6})).size();
        writeFile(root, u"IMG_1.xmp"_s, "<xmp/>");
        // A camera's thumbnail: a sidecar.
        const qint64 thumbnail = QFileInfo(writeJpeg(root, u"IMG_1.THM"_s, {4, 3})).size();
        writeFile(root, u".IMG_1.pp3"_s, "hidden");
        QVERIFY(QFile::link(root + u"/IMG_1.xmp"_s, root + u"/IMG_1.dop"_s));
        writeFile(root, u"Cats/a.dng"_s, "raw");
        writeFile(root, u"Cats/a.dng.xmp"_s, "edits");
        const Result<PhotoCollection> collection = scan(root);
        QVERIFY(collection);
        QCOMPARE(names(collection->sections[0]), QStringList{u"IMG_1.JPG"_s});
        const Photo &pair = collection->sections[0].photos[0];
        QCOMPARE(pair.memberNames(),
                 (QStringList{u"IMG_1.JPG"_s, u"IMG_1.CR3"_s, u"IMG_1.THM"_s, u"IMG_1.xmp"_s}));
        QCOMPARE(pair.dimensionsLabel(), u"8 × 6"_s);
        QCOMPARE(pair.companions[0].kind, ImageKind::raw);
        QCOMPARE(pair.shotByteCount(), jpeg + 16 + 6 + thumbnail);
        QVERIFY(pair.companions[2].id.contains(u':'));
        QCOMPARE(collection->sections[1].photos[0].memberNames(),
                 (QStringList{u"a.dng"_s, u"a.dng.xmp"_s}));
    }

    // A folder large enough to be shared out between threads: every shot is made once, whole,
    // in order.
    void largeFolderMakesEveryShot()
    {
        QTemporaryDir dir;
        constexpr int shots = 9000;
        for (int i = 0; i < shots; ++i) {
            writeFile(dir.path(), u"IMG_%1.JPG"_s.arg(i), "not decoded");
            if (i % 3 == 0) {
                writeFile(dir.path(), u"IMG_%1.xmp"_s.arg(i), "<xmp/>");
            }
        }
        const FolderScanner scanner(std::make_shared<LinuxFileSystem>()); // no headers read
        const Result<PhotoCollection> collection =
            scanner.scan(QUrl::fromLocalFile(dir.path()), PhotoSortOrder::filename);
        QVERIFY(collection);
        const QList<Photo> &photos = collection->sections.first().photos;
        QCOMPARE(photos.size(), shots);
        for (int i = 0; i < shots; ++i) {
            QCOMPARE(photos[i].filename, u"IMG_%1.JPG"_s.arg(i));
            QCOMPARE(photos[i].url, QUrl::fromLocalFile(dir.path() + u'/' + photos[i].filename));
            QCOMPARE(photos[i].companions.size(), i % 3 == 0 ? 1 : 0);
        }
    }

    void rescanChecksBeforeItScans_data()
    {
        QTest::addColumn<QStringList>("before"); // in Cats beside b.jpg when it is shown
        QTest::addColumn<QString>("change");     // a file written into Cats, or none
        QTest::addColumn<bool>("together");
        QTest::addColumn<bool>("changed");
        const QStringList none;
        // Orphan sidecars make no photo, and Takeout's metadata names are never a shot's.
        const QStringList orphans{u"lonely.xmp"_s, u"b.jpg.supplemental-metadata.json"_s};
        const QStringList twoImages{u"b.png"_s, u"b.xmp"_s};
        row("as shown", none, QString(), true, false);
        row("a file added", none, u"c.jpg"_s, true, true);
        row("a file rewritten", none, u"b.jpg"_s, true, true);
        row("orphan sidecars, as shown", orphans, QString(), true, false);
        row("orphans, apart, as shown", orphans, QString(), false, false);
        row("an orphan added", orphans, u"c.json"_s, true, false);
        row("an orphan finds its image", orphans, u"lonely.png"_s, true, true);
        row("a sidecar added", orphans, u"b.pp3"_s, true, true);
        row("apart: stem sidecar of two images", twoImages, QString(), false, false);
        row("apart: stem sidecar rewritten", twoImages, u"b.xmp"_s, false, false);
        row("together: stem sidecar rewritten", twoImages, u"b.xmp"_s, true, true);
    }

    // A check names the folders that changed, and lets go of the shown photos before it lists a
    // folder: the window's next key may then move a photo without copying the whole list. A scan
    // of a changed folder brings its new photos.
    void rescanChecksBeforeItScans()
    {
        QFETCH(QStringList, before);
        QFETCH(QString, change);
        QFETCH(bool, together);
        QFETCH(bool, changed);
        const CompanionRule rule = together ? CompanionRule::together : CompanionRule::apart;
        const PhotoSortOrder order = PhotoSortOrder::filename;
        QTemporaryDir dir;
        writeJpeg(dir.path(), u"a.jpg"_s);
        for (const QString &name : before + QStringList{u"b.jpg"_s}) {
            writeJpeg(dir.path(), u"Cats/"_s + name);
        }
        FileSystemService service;
        const QUrl root = QUrl::fromLocalFile(dir.path());
        const Result<PhotoCollection> shown = service.scan(root, order, rule).result();
        QVERIFY(shown);
        if (!change.isEmpty()) {
            writeJpeg(dir.path(), u"Cats/"_s + change, {40, 30}); // another size
        }
        const QString cats = dir.path() + u"/Cats"_s;
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
            CollectionRescan::run(scanner, *shown, {cats}, RescanScope::check, order, rule);
        QVERIFY(checked);
        QCOMPARE(sharedWhileListing, QList<bool>{false});
        QCOMPARE(checked->changedFolders, changed ? QSet<QString>{cats} : QSet<QString>());
        QVERIFY(checked->sections.isEmpty());

        const Result<CollectionUpdate> scanned = CollectionRescan::run(
            scanner, *shown, checked->changedFolders, RescanScope::scan, order, rule);
        QVERIFY(scanned);
        QCOMPARE(scanned->sections.size(), changed ? 1 : 0);
        if (changed) {
            const auto describe = [](const PhotoSection &section) {
                QStringList photos;
                for (const Photo &photo : section.photos) {
                    photos.append(photo.filename + u' ' + QString::number(photo.byteCount));
                    for (const Companion &companion : photo.companions) {
                        photos.last() +=
                            u' ' + companion.filename + u' ' + QString::number(companion.byteCount);
                    }
                }
                return photos;
            };
            const Result<PhotoCollection> now = service.list(root, order, rule).result();
            QVERIFY(now);
            QCOMPARE(describe(scanned->sections.first()), describe(now->sections[1]));
        }
    }
};

QTEST_GUILESS_MAIN(tst_FolderScanner)
#include "tst_FolderScanner.moc"
