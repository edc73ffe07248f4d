#include "Services/Platform/FileIdentity.h"
#include "Services/VolumeLoss.h"
#include "support/TestRows.h"

#include <QTest>

#include <cerrno>

using namespace Qt::StringLiterals;

// Telling a volume that is gone from one file that failed, by the errno and, where that leaves
// it open, by what the root folder stats as now.
class tst_VolumeLoss : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void isLost_data();
    void isLost();
};

namespace {

EntryInfo folder(const QString &identity, bool stableInodes = true)
{
    EntryInfo info;
    info.type = EntryType::directory;
    info.identity = identity;
    info.stableInodes = stableInodes;
    info.timeResolutionMs = stableInodes ? 0 : 1000;
    if (stableInodes) {
        info.birthTime = {1700000000, 42};
    }
    return info;
}

// The root as it stats now, by name.
Result<EntryInfo> rootNow(const QString &state)
{
    if (state.startsWith("errno "_L1)) {
        return std::unexpected(FileSystemError::system(state.mid(6).toInt(), u"stat"_s));
    }
    static const QHash<QString, EntryInfo> states{
        {u"same"_s, folder(u"2049:77"_s)},
        {u"mount point left behind"_s, folder(u"2050:77"_s)},
        {u"another folder in its place"_s,
         [] {
             EntryInfo info = folder(u"2049:77"_s);
             info.birthTime = {1700000500, 0};
             return info;
         }()},
        {u"a file in its place"_s,
         [] {
             EntryInfo info = folder(u"2049:77"_s);
             info.type = EntryType::regularFile;
             return info;
         }()},
        {u"card, looked up anew"_s, folder(u"1792:9"_s, false)},
        {u"card reader's mount point"_s, folder(u"2049:12"_s)},
    };
    return states.value(state);
}

} // namespace

void tst_VolumeLoss::isLost_data()
{
    QTest::addColumn<int>("errnum");
    QTest::addColumn<bool>("onCard");  // inode numbers that do not last
    QTest::addColumn<QString>("root"); // how it stats now; empty: its identity is unknown
    QTest::addColumn<bool>("examined");
    QTest::addColumn<bool>("lost");

    row("no permission: one file", EACCES, false, u"errno 5"_s, false, false);
    row("disk full: one file", ENOSPC, false, u"errno 5"_s, false, false);
    row("name taken: one file", EEXIST, false, u"errno 5"_s, false, false);
    row("read-only: one file", EROFS, false, u"errno 5"_s, false, false);
    row("no errno (a category's name): one file", 0, false, u"errno 5"_s, false, false);
    row("device gone", ENODEV, false, u"same"_s, false, true);
    row("no such device", ENXIO, false, u"same"_s, false, true);
    row("no medium in the reader", ENOMEDIUM, false, u"same"_s, false, true);
    row("FUSE daemon gone", ENOTCONN, false, u"same"_s, false, true);
    row("gone, root unknown", ENOTCONN, false, QString(), false, true);
    row("I/O error, root as it was: a bad sector", EIO, false, u"same"_s, true, false);
    row("I/O error, root unreadable", EIO, false, u"errno 5"_s, true, true);
    row("I/O error, root unknown", EIO, false, QString(), false, false);
    row("file gone, root as it was", ENOENT, false, u"same"_s, true, false);
    row("root removed", ENOENT, false, u"errno 2"_s, true, true);
    row("lazily unmounted: the mount point left", ENOENT, false, u"mount point left behind"_s, true,
        true);
    row("another folder on the root's inode", ENOENT, false, u"another folder in its place"_s, true,
        true);
    row("a file in the root's place", ENOENT, false, u"a file in its place"_s, true, true);
    row("stale handle, root as it was", ESTALE, false, u"same"_s, true, false);
    row("stale handle, share gone", ESTALE, false, u"errno 116"_s, true, true);
    row("share timed out, root as it was", ETIMEDOUT, false, u"same"_s, true, false);
    row("share unreachable", EHOSTUNREACH, false, u"errno 113"_s, true, true);
    row("card: root found again under another inode", EIO, true, u"card, looked up anew"_s, true,
        false);
    row("card: the reader's mount point left", ENOENT, true, u"card reader's mount point"_s, true,
        true);
}

void tst_VolumeLoss::isLost()
{
    QFETCH(int, errnum);
    QFETCH(bool, onCard);
    QFETCH(QString, root);
    QFETCH(bool, examined);
    QFETCH(bool, lost);

    const QString identity = root.isEmpty() ? QString()
                                            : FileIdentity::of(onCard ? folder(u"1792:1"_s, false)
                                                                      : folder(u"2049:77"_s));
    int examinations = 0;
    const auto examine = [&] {
        ++examinations;
        return rootNow(root);
    };
    const FileSystemError failure = FileSystemError::system(errnum, u"Couldn\u2019t move"_s);
    QCOMPARE(VolumeLoss::isLost(failure, identity, examine), lost);
    QCOMPARE(examinations, examined ? 1 : 0);
    // A loss once told is a loss, whatever the root says now.
    QVERIFY(VolumeLoss::isLost(FileSystemError::volumeLost(failure), identity, examine));
}

QTEST_APPLESS_MAIN(tst_VolumeLoss)
#include "tst_VolumeLoss.moc"
