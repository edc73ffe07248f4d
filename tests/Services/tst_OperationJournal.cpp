#include "Services/OperationJournal.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

using Role = OperationJournal::Role;
using Kind = OperationJournal::ActionKind;
using Outcome = OperationJournal::Outcome;

static FileMove move(const char *from, const char *to, int shot = -1)
{
    return {QUrl::fromLocalFile(QString::fromUtf8(from)), QUrl::fromLocalFile(QString::fromUtf8(to)),
            u"1:2"_s, shot};
}

// The journal file itself: what survives a reopen, what a torn or damaged file gives back,
// the lock, and compaction.
class tst_OperationJournal : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void historyOfActionsUndoAndRedo();
    void eachKindIsUndoneAndRedone_data();
    void eachKindIsUndoneAndRedone();
    void damagedFilesGiveBackWhatIsIntact_data();
    void damagedFilesGiveBackWhatIsIntact();
    void tornAtEveryByteOfTheLastRecord();
    void secondOpenIsRefused();
    void compactionKeepsHistory();
    void renamedRootIsFollowed();

private:
    std::unique_ptr<OperationJournal> open(qint64 compactAfter = 20000,
                                           const QString &root = u"/photos"_s)
    {
        Result<std::unique_ptr<OperationJournal>> journal =
            OperationJournal::open(m_dir->path(), root, u"8:99"_s, compactAfter);
        if (!journal) {
            qWarning() << journal.error().message;
            return nullptr;
        }
        return std::move(*journal);
    }
    // A batch of `kind` ending as `outcome` with `moves`, as the file operations write it.
    static void batch(OperationJournal &journal, Role role, Kind kind, Outcome outcome,
                      const QList<FileMove> &moves, const QUrl &folder = {}, qint64 of = 0)
    {
        const qint64 id = *journal.beginBatch(role, u"Move Photo"_s, kind, of);
        for (const FileMove &m : moves) {
            QVERIFY(journal.intend(id, m));
            QVERIFY(journal.performed(id, m));
        }
        QVERIFY(journal.endBatch(id, outcome, moves, folder));
    }
    // One kept action of one move.
    static void act(OperationJournal &journal, const FileMove &m, Role role = Role::action,
                    qint64 of = 0)
    {
        batch(journal, role, Kind::moves, Outcome::kept, {m}, {}, of);
    }
    // A closed journal of two filed photos, its path in open_path.
    void writeTwoActions()
    {
        std::unique_ptr<OperationJournal> journal = open();
        QVERIFY(journal);
        open_path = journal->path();
        act(*journal, move("/photos/a.jpg", "/photos/Cats/a.jpg"));
        act(*journal, move("/photos/b.jpg", "/photos/Cats/b.jpg"));
    }
    QByteArray bytes() const
    {
        QFile file(open_path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void write(const QByteArray &data) const
    {
        QFile file(open_path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(data);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString open_path;
};

void tst_OperationJournal::historyOfActionsUndoAndRedo()
{
    {
        std::unique_ptr<OperationJournal> journal = open();
        QVERIFY(journal);
        act(*journal, move("/photos/a.jpg", "/photos/Cats/a.jpg"));
        act(*journal, move("/photos/b.jpg", "/photos/Dogs/b.jpg"));
        const qint64 second = journal->history().actions[1].id;
        // Undone: the record holds the moves as performed backwards.
        act(*journal, move("/photos/Dogs/b.jpg", "/photos/b 2.jpg"), Role::undo, second);
        // A batch put back changes nothing.
        const qint64 failed = *journal->beginBatch(Role::action, u"Move Photo"_s);
        QVERIFY(journal->endBatch(failed, Outcome::failed));
    }
    std::unique_ptr<OperationJournal> journal = open();
    QVERIFY(journal);
    OperationJournal::History history = journal->history();
    QCOMPARE(history.actions.size(), 2);
    QCOMPARE(history.index, 1);
    QCOMPARE(history.actions[1].moves[0].itemIdentity, u"1:2"_s);
    // Redo, then a new action after an undo drops the undone one.
    act(*journal, move("/photos/b 2.jpg", "/photos/Dogs/b.jpg"), Role::redo, history.actions[1].id);
    act(*journal, move("/photos/Dogs/b.jpg", "/photos/b.jpg"), Role::undo, history.actions[1].id);
    act(*journal, move("/photos/c.jpg", "/photos/Cats/c.jpg", 0));
    history = journal->history();
    QCOMPARE(history.actions.size(), 2);
    QCOMPARE(history.index, 2);
    QCOMPARE(history.actions[1].moves[0].shot, 0);
    // An undo that names another action than the last done one is not applied.
    act(*journal, move("/x", "/y"), Role::undo, 12345);
    QCOMPARE(journal->history().index, 2);
    // An undo that failed still counts as done, as on the window's undo stack, and keeps the
    // action's moves; one put back after a crash never reached the window and counts for nothing.
    batch(*journal, Role::undo, Kind::moves, Outcome::abandoned, {});
    QCOMPARE(journal->history().index, 2);
    batch(*journal, Role::undo, Kind::moves, Outcome::failed, {});
    journal.reset();
    journal = open();
    QCOMPARE(journal->history().actions.size(), 2);
    QCOMPARE(journal->history().index, 1);
    QCOMPARE(journal->history().actions[1].moves[0].source.toLocalFile(), u"/photos/c.jpg"_s);
}

static QList<FileMove> moves(std::initializer_list<std::pair<const char *, const char *>> pairs)
{
    QList<FileMove> list;
    for (const auto &[from, to] : pairs) {
        list.append(move(from, to));
    }
    return list;
}

void tst_OperationJournal::eachKindIsUndoneAndRedone_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QList<FileMove>>("done");
    QTest::addColumn<QList<FileMove>>("undoMoves");
    QTest::addColumn<QList<FileMove>>("heldAfterUndo");
    QTest::addColumn<Kind>("kindAfterUndo");
    QTest::addColumn<QList<FileMove>>("redoMoves");
    const QList<FileMove> none;
    QTest::newRow("filing, back under another name")
        << Kind::moves << moves({{"/p/a", "/p/Cats/a"}}) << moves({{"/p/Cats/a", "/p/a 2"}})
        << moves({{"/p/a 2", "/p/Cats/a"}}) << Kind::moves << moves({{"/p/a 2", "/p/Cats/a"}});
    QTest::newRow("copy in: undone into the trash, then a move out of it")
        << Kind::copy << moves({{"/out/a", "/p/a"}}) << moves({{"/p/a", "/t/files/a"}})
        << moves({{"/t/files/a", "/p/a"}}) << Kind::moves << moves({{"/t/files/a", "/p/a"}});
    QTest::newRow("new category")
        << Kind::newCategory << none << none << none << Kind::newCategory << none;
    QTest::newRow("rename category")
        << Kind::renameCategory << moves({{"/p/Cats", "/p/Pets"}}) << moves({{"/p/Pets", "/p/Cats"}})
        << moves({{"/p/Cats", "/p/Pets"}}) << Kind::renameCategory << moves({{"/p/Cats", "/p/Pets"}});
    QTest::newRow("delete category: a redo keeps the names of its own deletion")
        << Kind::deleteCategory << moves({{"/p/Cats/a", "/p/a"}}) << moves({{"/p/a", "/p/Cats/a"}})
        << moves({{"/p/Cats/a", "/p/a"}}) << Kind::deleteCategory << moves({{"/p/Cats/a", "/p/a 2"}});
}

// Each kind of action read back after a reopen, plain and compacted.
void tst_OperationJournal::eachKindIsUndoneAndRedone()
{
    QFETCH(Kind, kind);
    QFETCH(QList<FileMove>, done);
    QFETCH(QList<FileMove>, undoMoves);
    QFETCH(QList<FileMove>, heldAfterUndo);
    QFETCH(Kind, kindAfterUndo);
    QFETCH(QList<FileMove>, redoMoves);
    const QUrl folder = QUrl::fromLocalFile(u"/p/Cats"_s);
    for (const qint64 compactAfter : {qint64(20000), qint64(2)}) {
        m_dir = std::make_unique<QTemporaryDir>();
        const auto reopened = [&](std::unique_ptr<OperationJournal> &journal) {
            journal.reset();
            journal = open(compactAfter);
            QVERIFY(journal);
            QCOMPARE(journal->history().actions.size(), 1);
            QCOMPARE(journal->history().actions[0].folder, folder);
        };
        std::unique_ptr<OperationJournal> journal = open(compactAfter);
        batch(*journal, Role::action, kind, Outcome::kept, done, folder);
        reopened(journal);
        QCOMPARE(journal->history().actions[0].kind, kind);
        QCOMPARE(journal->history().actions[0].moves, done);
        batch(*journal, Role::undo, kind, Outcome::kept, undoMoves);
        reopened(journal);
        QCOMPARE(journal->history().index, 0);
        QCOMPARE(journal->history().actions[0].kind, kindAfterUndo);
        QCOMPARE(journal->history().actions[0].moves, heldAfterUndo);
        batch(*journal, Role::redo, kind, Outcome::kept, redoMoves);
        reopened(journal);
        QCOMPARE(journal->history().index, 1);
        QCOMPARE(journal->history().actions[0].moves, redoMoves);
    }
}

void tst_OperationJournal::damagedFilesGiveBackWhatIsIntact_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<int>("actions"); // kept actions read back
    QTest::addColumn<int>("pending"); // batches left without an end
    QTest::newRow("intact") << "none" << 2 << 0;
    QTest::newRow("checksum byte flipped in the last record") << "last-checksum" << 1 << 1;
    QTest::newRow("text byte flipped in the last record") << "last-text" << 1 << 1;
    QTest::newRow("garbage line in the middle") << "garbage" << 2 << 0;
    QTest::newRow("another collection's journal") << "foreign" << 0 << 0;
    QTest::newRow("empty file") << "empty" << 0 << 0;
}

void tst_OperationJournal::damagedFilesGiveBackWhatIsIntact()
{
    QFETCH(QString, damage);
    QFETCH(int, actions);
    QFETCH(int, pending);
    writeTwoActions();
    QByteArray data = bytes();
    const qsizetype lastLine = data.lastIndexOf('\n', data.size() - 2) + 1;
    if (damage == "last-checksum"_L1) {
        data[lastLine + 3] = data[lastLine + 3] == 'a' ? 'b' : 'a';
    } else if (damage == "last-text"_L1) {
        data[data.size() - 3] = data[data.size() - 3] == '1' ? '2' : '1';
    } else if (damage == "garbage"_L1) {
        data.insert(lastLine, "0123456789abcdef {\"t\":\"end\"}\n\xff\xfe\n");
    } else if (damage == "foreign"_L1) {
        QTemporaryDir other;
        Result<std::unique_ptr<OperationJournal>> foreign = OperationJournal::open(
            other.path(), u"/elsewhere"_s, u"8:98"_s);
        QVERIFY(foreign);
        act(**foreign, move("/elsewhere/x.jpg", "/elsewhere/Cats/x.jpg"));
        const QString foreignPath = (*foreign)->path();
        foreign->reset();
        QFile file(foreignPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        data = file.readAll();
    } else if (damage == "empty"_L1) {
        data.clear();
    }
    write(data);
    std::unique_ptr<OperationJournal> journal = open();
    QVERIFY(journal);
    QCOMPARE(journal->history().actions.size(), actions);
    QCOMPARE(journal->pendingBatches().size(), pending);
    // Whatever was read, the journal goes on working and keeps what it writes next.
    act(*journal, move("/photos/c.jpg", "/photos/Cats/c.jpg"));
    journal.reset();
    journal = open();
    QCOMPARE(journal->history().actions.size(), actions + 1);
    QCOMPARE(journal->history().actions.last().moves[0].source.toLocalFile(), u"/photos/c.jpg"_s);
    QCOMPARE(QFile::exists(open_path + u".foreign"_s), damage == "foreign"_L1);
}

// Power lost while the last record was written: any prefix of it reads as the record missing.
void tst_OperationJournal::tornAtEveryByteOfTheLastRecord()
{
    writeTwoActions();
    const QByteArray whole = bytes();
    const qsizetype lastLine = whole.lastIndexOf('\n', whole.size() - 2) + 1;
    for (qsizetype cut = lastLine; cut < whole.size(); ++cut) {
        write(whole.left(cut));
        std::unique_ptr<OperationJournal> journal = open();
        QVERIFY(journal);
        QCOMPARE(journal->history().actions.size(), 1);
        QCOMPARE(journal->pendingBatches().size(), 1); // the second batch lost its end
        QCOMPARE(journal->pendingBatches()[0].moves.size(), 1);
        QVERIFY(journal->pendingBatches()[0].moves[0].reportedDone);
        QVERIFY(bytes().endsWith('\n')); // the torn bytes are gone before anything is added
    }
}

void tst_OperationJournal::secondOpenIsRefused()
{
    std::unique_ptr<OperationJournal> first = open();
    QVERIFY(first);
    const Result<std::unique_ptr<OperationJournal>> second =
        OperationJournal::open(m_dir->path(), u"/photos"_s, u"8:99"_s);
    QVERIFY(!second);
    QCOMPARE(second.error().systemError, EWOULDBLOCK);
    QVERIFY(second.error().message.contains(u"another"_s));
    first.reset();
    QVERIFY(open());
}

void tst_OperationJournal::compactionKeepsHistory()
{
    std::unique_ptr<OperationJournal> journal = open(/*compactAfter=*/40);
    open_path = journal->path();
    for (int i = 0; i < 12; ++i) {
        const QByteArray from = "/photos/" + QByteArray::number(i) + ".jpg";
        act(*journal, move(from.constData(), "/photos/Cats/x.jpg"));
    }
    const qint64 last = journal->history().actions.last().id;
    act(*journal, move("/photos/Cats/x.jpg", "/photos/11.jpg"), Role::undo, last);
    QVERIFY(bytes().count('\n') < 40);
    const OperationJournal::History before = journal->history();
    journal.reset();
    journal = open(40);
    QCOMPARE(journal->history().actions.size(), before.actions.size());
    QCOMPARE(journal->history().index, before.index);
    // Ids go on growing after a compaction, so a redo still names its action.
    act(*journal, move("/photos/11.jpg", "/photos/Cats/x.jpg"), Role::redo, last);
    QCOMPARE(journal->history().index, before.index + 1);
}

// The root folder renamed while the app was closed: the journal is found by the folder's
// identity and its paths follow the folder, except those outside it (the trash).
void tst_OperationJournal::renamedRootIsFollowed()
{
    std::unique_ptr<OperationJournal> journal = open();
    act(*journal, move("/photos/a.jpg", "/photos/Cats/a.jpg"));
    act(*journal, move("/photos/b.jpg", "/trash/files/b.jpg"));
    batch(*journal, Role::action, Kind::newCategory, Outcome::kept, {},
          QUrl::fromLocalFile(u"/photos/New"_s));
    const qint64 pending = *journal->beginBatch(Role::action, u"Move Photo"_s);
    QVERIFY(journal->intend(pending, move("/photos/c.jpg", "/photos/Cats/c.jpg")));
    journal.reset();
    for (const char *root : {"/photos 2024", "/photos 2024", "/photos"}) {
        journal = open(20000, QString::fromUtf8(root));
        QVERIFY(journal);
        const QString at = QString::fromUtf8(root);
        const OperationJournal::History history = journal->history();
        QCOMPARE(history.actions.size(), 3);
        QCOMPARE(history.actions[0].moves[0].source.toLocalFile(), at + u"/a.jpg"_s);
        QCOMPARE(history.actions[0].moves[0].destination.toLocalFile(),
                 at + u"/Cats/a.jpg"_s);
        QCOMPARE(history.actions[1].moves[0].destination.toLocalFile(),
                 u"/trash/files/b.jpg"_s);
        QCOMPARE(history.actions[2].folder.toLocalFile(), at + u"/New"_s);
        QCOMPARE(journal->pendingBatches().value(0).moves.value(0).move.source.toLocalFile(),
                 at + u"/c.jpg"_s);
        journal.reset();
    }
}

QTEST_APPLESS_MAIN(tst_OperationJournal)
#include "tst_OperationJournal.moc"
