#include "Services/JournalRecovery.h"
#include "Services/OperationJournal.h"
#include "Services/Platform/FileIdentity.h"
#include "Services/Platform/LinuxFileSystem.h"
#include "support/TestFolders.h"
#include "support/TestRows.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>

using namespace TestFolders;
using namespace Qt::StringLiterals;
using Outcome = OperationJournal::Outcome;

// Telling our file from one that took its place: how two identities compare, whose history a
// journal gives back, and what recovery does with a newcomer on the inode of our photo.
class tst_FileIdentity : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sameItem_data();
    void sameItem();
    void journalBelongsToItsRootOnly_data();
    void journalBelongsToItsRootOnly();
    void recoveryLeavesANewcomerOnOurInode();
};

void tst_FileIdentity::sameItem_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("same");
    row("same birth", "8:99:b100.000000005", "8:99:b100.000000005", true);
    row("inode reused, born later", "8:99:b100.000000005", "8:99:b100.000000006", false);
    row("other inode", "8:99:b100.0", "8:98:b100.0", false);
    row("other device", "8:99", "9:99", false);
    row("old record, born now", "8:99", "8:99:b100.0", true);
    row("old record, no birth time", "8:99", "8:99:m5.0:s10", true);
    row("same time and size", "8:99:m5.000000001:s10", "8:99:m5.000000001:s10", true);
    row("other time", "8:99:m5.000000001:s10", "8:99:m5.000000002:s10", false);
    row("other size", "8:99:m5.0:s10", "8:99:m5.0:s11", false);
    row("birth against time and size", "8:99:b1.0", "8:99:m5.0:s10", true);
    row("birth wins over time", "8:99:b1.0:m5.0:s10", "8:99:b1.0:m6.0:s11", true);
    // On a card the numbers change with every mount and reader; each reader keeps its own
    // share of the times.
    row("card remounted, same time and size", "1792:2:r1000:m5.0:s10", "0:52:7:r1000:m5.0:s10",
        true);
    row("card, other size", "1792:2:r1000:m5.0:s10", "1792:2:r1000:m5.0:s11", false);
    row("card, other second", "1792:2:r1000:m5.0:s10", "0:52:2:r1000:m6.0:s10", false);
    row("card in a reader keeping hundredths and in one keeping seconds",
        "2049:5:r10:m5.370000000:s10", "0:52:7:r1000:m5.0:s10", true);
    row("card, other hundredth", "2049:5:r10:m5.370000000:s10", "0:52:7:r10:m5.380000000:s10",
        false);
    row("card, birth time kept by one reader only", "2049:5:r10:b1.500000000:m5.0:s10",
        "0:52:7:r1000:m5.0:s10", true);
    row("card, other birth time", "2049:5:r10:b1.500000000:m5.0:s10",
        "0:52:7:r10:b1.600000000:m5.0:s10", false);
    row("card, birth time agrees but not the size", "2049:5:r10:b1.500000000:m5.0:s10",
        "0:52:7:r10:b1.500000000:m5.0:s12", false);
    row("card's root remounted", "1792:1:r1000", "0:52:1:r1000", true);
    row("old record on a card", "1792:2:m5.0:s10", "0:52:9:r1000:m5.0:s10", true);
    row("damaged resolution still ignores the numbers", "1792:2:rx:m5.0:s10", "0:52:9:m5.0:s10",
        true);
    row("card against nothing", "", "1792:1:r1000", false);
    row("nothing recorded", "", "", false);
    row("damaged record", "8", "8", false);
}

void tst_FileIdentity::sameItem()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, same);
    QCOMPARE(FileIdentity::sameItem(a, b), same);
    QCOMPARE(FileIdentity::sameItem(b, a), same);
}

void tst_FileIdentity::journalBelongsToItsRootOnly_data()
{
    // The root's identity at each opening; the first opening keeps one action.
    QTest::addColumn<QStringList>("openings");
    QTest::addColumn<bool>("kept");
    QTest::newRow("same root") << QStringList{u"8:99:b1.0"_s, u"8:99:b1.0"_s} << true;
    QTest::newRow("old journal, now with a birth time")
        << QStringList{u"8:99"_s, u"8:99:b1.0"_s} << true;
    QTest::newRow("new folder on the inode of a deleted root")
        << QStringList{u"8:99:b1.0"_s, u"8:99:b2.0"_s} << false;
    QTest::newRow("old journal upgraded, then a new folder on its inode")
        << QStringList{u"8:99"_s, u"8:99:b1.0"_s, u"8:99:b2.0"_s} << false;
    QTest::newRow("old journal upgraded and opened again")
        << QStringList{u"8:99"_s, u"8:99:b1.0"_s, u"8:99:b1.0"_s} << true;
}

void tst_FileIdentity::journalBelongsToItsRootOnly()
{
    QFETCH(QStringList, openings);
    QFETCH(bool, kept);
    QTemporaryDir state;
    qsizetype actions = -1;
    for (qsizetype i = 0; i < openings.size(); ++i) {
        Result<std::unique_ptr<OperationJournal>> journal =
            OperationJournal::open(state.path(), u"/photos"_s, openings[i]);
        QVERIFY2(journal, qPrintable(why(journal)));
        actions = (*journal)->history().actions.size();
        if (i == 0) {
            const FileMove move{QUrl::fromLocalFile(u"/photos/a.jpg"_s),
                                QUrl::fromLocalFile(u"/photos/Cats/a.jpg"_s), u"8:5:b3.0"_s};
            const qint64 batch = *(*journal)->beginBatch(OperationJournal::Role::action, u"Move"_s);
            QVERIFY((*journal)->intend(batch, move));
            QVERIFY((*journal)->endBatch(batch, Outcome::kept, {move}));
        }
    }
    QCOMPARE(actions, kept ? 1 : 0);
}

// A program deletes the filed photo and saves its own file under the photo's name before the
// interrupted batch is put back. Ext4 gives the new file the photo's inode at once; the records
// below name it so on any file system.
void tst_FileIdentity::recoveryLeavesANewcomerOnOurInode()
{
    QTemporaryDir root;
    QTemporaryDir state;
    LinuxFileSystem fs;
    const QString source = writeFile(root.path(), u"IMG_1.jpg"_s, "photo");
    const QString destination = makeFolder(root.path(), u"Cats"_s) + u"/IMG_1.jpg"_s;
    const QString photo = FileIdentity::of(*fs.stat(source));
    struct statx kernel;
    QCOMPARE(::statx(AT_FDCWD, QFile::encodeName(source).constData(), 0, STATX_BTIME, &kernel), 0);
    QCOMPARE(fs.stat(source)->birthTime.isDistantPast(), !(kernel.stx_mask & STATX_BTIME));
    QVERIFY(QFile::rename(source, destination));
    QVERIFY(QFile::remove(destination));
    writeFile(root.path(), u"Cats/IMG_1.jpg"_s, "their own file");
    const QString reused = FileIdentity::volumeKey(FileIdentity::of(*fs.stat(destination))) +
                           photo.mid(FileIdentity::volumeKey(photo).size());

    Result<std::unique_ptr<OperationJournal>> journal =
        OperationJournal::open(state.path(), root.path(), FileIdentity::of(*fs.stat(root.path())));
    QVERIFY(journal);
    const FileMove move{QUrl::fromLocalFile(source), QUrl::fromLocalFile(destination), reused};
    const qint64 batch = *(*journal)->beginBatch(OperationJournal::Role::action, u"Move"_s);
    QVERIFY((*journal)->intend(batch, move));
    QVERIFY((*journal)->performed(batch, move));
    const JournalRecovery::Report report = JournalRecovery::recover(fs, **journal);
    QCOMPARE(report.putBack, 0);
    QVERIFY2(report.note().contains(u"left as found: IMG_1.jpg"_s), qPrintable(report.note()));
    QCOMPARE(filesBelow(root.path()), QStringList{u"Cats/IMG_1.jpg"_s});
    QCOMPARE(readFile(destination), QByteArray("their own file"));
}

QTEST_GUILESS_MAIN(tst_FileIdentity)
#include "tst_FileIdentity.moc"
