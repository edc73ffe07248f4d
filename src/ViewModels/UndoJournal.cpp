#include "UndoJournal.h"

#include "DiskCommand.h"

UndoJournal::UndoJournal(FileSystemService &fileSystem)
    : m_fileSystem(fileSystem)
{
}

QFuture<Result<UndoJournal::Opening>> UndoJournal::openBeside(const QUrl &root)
{
    return m_fileSystem.openJournalBeside(root, m_folder);
}

void UndoJournal::adopt(const std::optional<Opening> &opening, const CommandFor &commandFor)
{
    // Before anything else reaches the service: every later change is this folder's.
    m_fileSystem.adoptJournal(opening ? opening->ticket : 0);
    restore(opening ? opening->history : OperationJournal::History{}, commandFor);
}

void UndoJournal::drop(const std::optional<Opening> &opening)
{
    if (opening) {
        m_fileSystem.dropJournal(opening->ticket);
    }
}

JournalEntry UndoJournal::stepEntry(bool redo, const QString &actionName)
{
    return {redo ? OperationJournal::Role::redo : OperationJournal::Role::undo, actionName};
}

DiskCommand *UndoJournal::push(const QString &actionName,
                               std::function<QFuture<void>(bool redo)> step)
{
    if (!m_stack) {
        return nullptr;
    }
    auto *command = new DiskCommand(actionName, std::move(step));
    m_stack->push(command);
    return command;
}

void UndoJournal::restore(const OperationJournal::History &history, const CommandFor &commandFor)
{
    if (!m_stack) {
        return;
    }
    m_stack->clear();
    QList<DiskCommand *> commands;
    for (const OperationJournal::Action &action : history.actions) {
        commands.append(commandFor(action));
    }
    // The undone actions are on the stack above its index: their disk work was undone already.
    for (qsizetype i = history.index; i < commands.size(); ++i) {
        if (commands[i]) {
            commands[i]->skipNextUndo();
        }
    }
    m_stack->setIndex(int(history.index));
}
