#pragma once

// The window's undo stack kept in step with the collection's journal. A folder being opened
// has its journal locked beside the shown one's, and takes over (lock, history, the record of
// every later change) only once it is shown: a folder that fails to open leaves the shown one
// everything. The undo commands of a journal's history are rebuilt from it, the undone ones
// last, so undo and redo go on after a restart. Main thread only.

#include "Services/FileSystemService.h"

#include <QFuture>
#include <QPointer>
#include <QUndoStack>

#include <functional>
#include <optional>

class DiskCommand;

class UndoJournal
{
public:
    explicit UndoJournal(FileSystemService &fileSystem);

    // Held weakly; without one, actions run but cannot be undone.
    void setUndoStack(QUndoStack *stack) { m_stack = stack; }
    QUndoStack *undoStack() const { return m_stack; }
    // Where the collections' journals are kept.
    void setJournalFolder(const QString &folder) { m_folder = folder; }

    using Opening = FileSystemService::JournalOpening;
    // Opens and locks the journal of the folder at `root` beside the one in use, and puts back
    // what a crash left half done there. Nothing is written to it until adopt().
    QFuture<Result<Opening>> openBeside(const QUrl &root);

    // A way to undo and redo one recorded action: a command pushed by push().
    using CommandFor = std::function<DiskCommand *(const OperationJournal::Action &)>;
    // The folder `opening` belongs to is shown: every later change is written to its journal,
    // and the undo stack becomes its history (an empty one without a journal).
    void adopt(const std::optional<Opening> &opening, const CommandFor &commandFor);
    // The folder `opening` belongs to is not shown after all: its journal is let go.
    void drop(const std::optional<Opening> &opening);

    // The entry an undo (or a redo) of the action named `actionName` is written under.
    static JournalEntry stepEntry(bool redo, const QString &actionName);

    // Pushes a command whose undo and redo run `step(false)` and `step(true)` one after
    // another, never two at once. Null without a stack.
    DiskCommand *push(const QString &actionName, std::function<QFuture<void>(bool redo)> step);

private:
    void restore(const OperationJournal::History &history, const CommandFor &commandFor);

    FileSystemService &m_fileSystem;
    QPointer<QUndoStack> m_stack;
    QString m_folder = OperationJournal::defaultStateFolder();
};
