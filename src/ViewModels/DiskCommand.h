#pragma once

// An undo command whose undo and redo are disk work. The window's undo stack changes at once,
// so the Undo and Redo menu texts are right before the disk has caught up; the steps themselves
// run strictly one after another, each seeing what the previous one actually did.

#include <QCoreApplication>
#include <QFuture>
#include <QUndoCommand>

#include <functional>
#include <memory>

#include <deque>

// The names of undoable actions, for the translation tools (the code passes them around as
// English keys).
[[maybe_unused]] inline constexpr const char *undoableActionNames[] = {
    QT_TRANSLATE_NOOP("CollectionStore", "Move Photo"),
    QT_TRANSLATE_NOOP("CollectionStore", "Move Photos"),
    QT_TRANSLATE_NOOP("CollectionStore", "Move to Trash"),
    QT_TRANSLATE_NOOP("CollectionStore", "Copy Photo"),
    QT_TRANSLATE_NOOP("CollectionStore", "Copy Photos"),
    QT_TRANSLATE_NOOP("CollectionStore", "New Category"),
    QT_TRANSLATE_NOOP("CollectionStore", "Rename Category"),
    QT_TRANSLATE_NOOP("CollectionStore", "Delete Category"),
};

class DiskCommand : public QUndoCommand
{
public:
    using Step = std::function<QFuture<void>(bool redo)>;

    // `actionName` is the English name the journal keeps; the Edit menu shows its translation.
    DiskCommand(const QString &actionName, Step step)
        : QUndoCommand(QCoreApplication::translate("CollectionStore", actionName.toUtf8().constData()))
        , m_queue(std::make_shared<Queue>())
    {
        m_queue->step = std::move(step);
    }

    // The next undo only moves the command down the stack: its disk work was already undone
    // (a history given back by the journal after a restart).
    void skipNextUndo() { m_skipUndo = true; }

    void undo() override
    {
        if (std::exchange(m_skipUndo, false)) {
            return;
        }
        enqueue(false);
    }
    void redo() override
    {
        // The stack redoes a command when it is pushed; the action itself has already run.
        if (std::exchange(m_justPushed, false)) {
            return;
        }
        enqueue(true);
    }

private:
    struct Queue
    {
        Step step;
        std::deque<bool> pending;
        bool running = false;
    };

    void enqueue(bool redo)
    {
        m_queue->pending.push_back(redo);
        pump(m_queue);
    }

    // The queue outlives the command, so work already started finishes even when the stack
    // drops the command.
    static void pump(const std::shared_ptr<Queue> &queue)
    {
        if (queue->running || queue->pending.empty()) {
            return;
        }
        queue->running = true;
        const bool redo = queue->pending.front();
        queue->pending.pop_front();
        queue->step(redo).then([queue] {
            queue->running = false;
            pump(queue);
        });
    }

    std::shared_ptr<Queue> m_queue;
    bool m_justPushed = true;
    bool m_skipUndo = false;
};
