#include "ViewModels/DiskCommand.h"
#include "ViewModels/UndoJournal.h"

#include <QTest>

using namespace Qt::StringLiterals;

class tst_UndoJournal : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void historyComesBackWithoutTouchingTheDisk();
};

// A history given back by the journal after a restart: the undone actions sit above the
// stack's index and rebuilding them runs no step; undo and redo then run the right steps, one
// action at a time. Adopting a folder without a journal leaves an empty stack.
void tst_UndoJournal::historyComesBackWithoutTouchingTheDisk()
{
    FileSystemService service;
    UndoJournal undo(service);
    QStringList steps;
    const UndoJournal::CommandFor commandFor = [&](const OperationJournal::Action &action) {
        return undo.push(action.name, [&steps, name = action.name](bool redo) {
            steps.append((redo ? u"redo "_s : u"undo "_s) + name);
            return QtFuture::makeReadyFuture();
        });
    };
    const auto action = [](const QString &name) {
        OperationJournal::Action recorded;
        recorded.name = name;
        return recorded;
    };
    QVERIFY(!commandFor(action(u"Move Photo"_s))); // no stack: nothing to push onto

    QUndoStack stack;
    undo.setUndoStack(&stack);
    UndoJournal::Opening opening;
    for (const QString &name : {u"Move Photo"_s, u"New Category"_s, u"Move to Trash"_s}) {
        opening.history.actions.append(action(name));
    }
    opening.history.index = 2; // the trashing was undone before the restart
    undo.adopt(opening, commandFor);
    QCOMPARE(stack.count(), 3);
    QCOMPARE(stack.index(), 2);
    QCOMPARE(steps, QStringList());

    stack.redo();
    stack.undo();
    stack.undo();
    QCOMPARE(steps, (QStringList{u"redo Move to Trash"_s, u"undo Move to Trash"_s,
                                 u"undo New Category"_s}));

    undo.adopt(std::nullopt, commandFor);
    QCOMPARE(stack.count(), 0);
}

QTEST_GUILESS_MAIN(tst_UndoJournal)
#include "tst_UndoJournal.moc"
