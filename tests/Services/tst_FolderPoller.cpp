#include "Services/FolderPoller.h"
#include "Services/Platform/LinuxFileSystem.h"
#include "support/TestRows.h"

#include <QTest>

#include <algorithm>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

// Folders held in memory: what a round reads of them, and how often it asks.
class FakeFolders : public LinuxFileSystem
{
public:
    struct Folder
    {
        bool exists = true;
        FileTime modified{1'000, 0};
        qint64 size = 4096;
        QList<EntryInfo> entries;
    };
    QHash<QString, Folder> folders;
    int calls = 0;

    Result<EntryInfo> stat(const QString &path, bool) override
    {
        ++calls;
        const auto folder = folders.constFind(path);
        if (folder == folders.cend() || !folder->exists) {
            return std::unexpected(FileSystemError::system(ENOENT, path));
        }
        EntryInfo info;
        info.name = path.section(u'/', -1);
        info.type = EntryType::directory;
        info.modificationTime = folder->modified;
        info.size = folder->size;
        return info;
    }
    Result<void> visit(const QString &path, const std::function<void(const EntryInfo &)> &visitor,
                       const ListingWatch &) override
    {
        ++calls;
        const auto folder = folders.constFind(path);
        if (folder == folders.cend() || !folder->exists) {
            return std::unexpected(FileSystemError::system(ENOENT, path));
        }
        std::for_each(folder->entries.cbegin(), folder->entries.cend(), visitor);
        return {};
    }
};

EntryInfo file(const QString &name, qint64 seconds, qint64 size = 100)
{
    EntryInfo entry;
    entry.name = name;
    entry.type = EntryType::regularFile;
    entry.modificationTime = FileTime{seconds, 0};
    entry.size = size;
    return entry;
}

} // namespace

// The poller's rounds against folders in memory and a clock of the test's own: which round
// notices which change, and that nothing is read while it should not look.
class tst_FolderPoller : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundsNoticeChanges_data()
    {
        QTest::addColumn<QString>("type");    // of the volume holding /v/Cats and /v/Dogs
        QTest::addColumn<QString>("changes"); // "2:add": after round 2, Cats gets a file
        QTest::addColumn<QString>("reported"); // "3:Cats": round 3 reports Cats
        // Round 0 notes what the folders hold; rounds 1 and 6 also hash the listing.
        row("unchanged: never", "fuse.bindfs", "", "");
        row("listed in another order: never", "fuse.bindfs", "2:shuffle", "");
        row("file added: the folder's time moves", "fuse.bindfs", "2:add", "3:Cats");
        row("file added on a share", "fuse.sshfs", "2:add", "3:Cats");
        row("file rewritten in place: the next listing", "fuse.bindfs", "2:rewrite", "6:Cats");
        row("added within the second of the first look", "fuse.bindfs", "0:addQuietly",
            "1:Cats");
        row("added within the second of a change", "fuse.bindfs", "2:add,3:addQuietly",
            "3:Cats,4:Cats");
        row("folder gone, then back", "fuse.bindfs", "2:remove,4:restore", "3:Cats,5:Cats");
        row("window hidden: no look", "fuse.bindfs", "1:hide,2:add,3:rewrite", "");
        row("window shown again: looks at once", "fuse.bindfs", "1:hide,2:add,7:show", "8:Cats");
        row("local volume: no look", "ext4", "2:add", "");
    }

    void roundsNoticeChanges()
    {
        QFETCH(QString, type);
        QFETCH(QString, changes);
        QFETCH(QString, reported);
        FakeFolders disk;
        for (const QString &name : {u"Cats"_s, u"Dogs"_s}) {
            disk.folders[u"/v/"_s + name].entries = {file(u"a.jpg"_s, 900), file(u"b.jpg"_s, 950)};
        }
        const Volume volume = Volume::describe({u"/v"_s, u"/"_s, type, u"source"_s});
        const bool polled = FolderPoller::pace(volume).has_value();
        FolderPoller poller(disk, [&](const QString &) { return volume; });
        auto now = FolderPoller::Clock::time_point{} + 1h;
        poller.setFolders({u"/v/Dogs"_s, u"/v/Cats"_s}, now);
        QCOMPARE(poller.polledFolders(), polled ? QStringList({u"/v/Cats"_s, u"/v/Dogs"_s})
                                                : QStringList());

        FakeFolders::Folder &cats = disk.folders[u"/v/Cats"_s];
        const FakeFolders::Folder kept = cats;
        QStringList seen;
        for (int round = 0; round <= 12; ++round) {
            const bool active = polled && !poller.isPaused();
            QCOMPARE(poller.nextRound().has_value(), active);
            if (active) {
                QVERIFY(*poller.nextRound() <= now);
                // Nothing is due before the round's time.
                const int before = disk.calls;
                QVERIFY(poller.poll(*poller.nextRound() - 1ms).isEmpty());
                QCOMPARE(disk.calls, before);
            }
            const int callsBefore = disk.calls;
            for (const QString &folder : poller.poll(now)) {
                seen.append(u"%1:%2"_s.arg(round).arg(folder.section(u'/', -1)));
            }
            QCOMPARE(disk.calls > callsBefore, active);
            now += polled ? FolderPoller::pace(volume)->interval : 2s;

            for (const QString &change : changes.split(u',', Qt::SkipEmptyParts)) {
                if (change.section(u':', 0, 0).toInt() != round) {
                    continue;
                }
                const QString what = change.section(u':', 1);
                if (what == "add"_L1) {
                    cats.entries.append(file(u"new%1.jpg"_s.arg(round), 2'000));
                    cats.modified.seconds += 10;
                } else if (what == "addQuietly"_L1) {
                    cats.entries.append(file(u"quiet.jpg"_s, 2'000));
                } else if (what == "rewrite"_L1) {
                    cats.entries[0].size += 1;
                    cats.entries[0].modificationTime.seconds += 10;
                } else if (what == "shuffle"_L1) {
                    std::reverse(cats.entries.begin(), cats.entries.end());
                } else if (what == "remove"_L1) {
                    cats.exists = false;
                } else if (what == "restore"_L1) {
                    cats = kept;
                } else {
                    poller.setPaused(what == "hide"_L1);
                }
            }
        }
        QCOMPARE(seen.join(u','), reported);
    }

    // Folders that stay keep what was seen of them; a new one is only noted on its first look.
    void foldersThatStayKeepTheirLook()
    {
        FakeFolders disk;
        disk.folders[u"/v/Cats"_s].entries = {file(u"a.jpg"_s, 900)};
        disk.folders[u"/v/Dogs"_s].entries = {file(u"b.jpg"_s, 900)};
        int volumesAsked = 0;
        FolderPoller poller(disk, [&](const QString &) {
            ++volumesAsked;
            return Volume::describe({u"/v"_s, u"/"_s, u"fuse.bindfs"_s, u"source"_s});
        });
        auto now = FolderPoller::Clock::time_point{} + 1h;
        poller.setFolders({u"/v/Cats"_s}, now);
        QVERIFY(poller.poll(now).isEmpty());
        disk.folders[u"/v/Cats"_s].modified.seconds += 10;
        disk.folders[u"/v/Dogs"_s].modified.seconds += 10;
        poller.setFolders({u"/v/Cats"_s, u"/v/Dogs"_s}, now);
        QCOMPARE(volumesAsked, 2);
        now += 2s;
        QCOMPARE(poller.poll(now), QStringList{u"/v/Cats"_s});
        poller.setFolders({u"/v/Dogs"_s}, now);
        QCOMPARE(poller.polledFolders(), QStringList{u"/v/Dogs"_s});
    }
};

QTEST_APPLESS_MAIN(tst_FolderPoller)
#include "tst_FolderPoller.moc"
