#pragma once

// The write-ahead journal of one collection: an append-only file under the user's state folder
// that says what the application is about to do on disk before it does it. Before each move the
// planned source, destination and the item's identity are appended and synced; after it, that
// it happened; at the end of a batch, whether it was kept or put back and what was moved. After
// a crash, the batch without an end is put back from these records; after a restart, the kept
// batches give back the undo history.
//
// The order for each move, within a file system and across them, and into the trash:
//   journal intent (synced) → the file's data (a copy across file systems: written, synced)
//   → published under its name (a no-replace rename; the trash's .trashinfo first) → the
//   folders synced → journal step (synced).
// So after a crash the journal always knows at least as much as the disk shows.
//
// One record per line: 16 hex digits of a SHA-256 of the JSON text, a space, the JSON text.
// A line whose checksum does not match (a torn last write, a damaged byte) is skipped. The file
// is locked (flock) for as long as it is open, so two windows never write the same collection.
// Not thread-safe: the file-system service uses it on its own thread only.

#include "Models/FileMove.h"
#include "Models/FileSystemError.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <memory>

class OperationJournal
{
public:
    // What a kept batch was for: a new action, or the undo or redo of an earlier one.
    enum class Role { action, undo, redo };

    struct Action
    {
        qint64 id = 0;
        QString name;           // as in the Edit menu: "Move Photos", "Move to Trash"
        QList<FileMove> moves;  // as the disk last performed them, forward
    };

    // The undo history the journal holds: `actions[0, index)` are done, the rest undone.
    struct History
    {
        QList<Action> actions;
        qsizetype index = 0;
    };

    // A batch that has no end record: the moves it planned, and which of them it reported done.
    struct PendingMove
    {
        FileMove move; // itemIdentity: the source's identity before the move
        bool reportedDone = false;
        QString identityAfter;
        QString destinationAfter; // where it went, when reported (the trash picks its own name)
    };
    struct PendingBatch
    {
        qint64 id = 0;
        QList<PendingMove> moves;
    };

    ~OperationJournal();
    OperationJournal(const OperationJournal &) = delete;
    OperationJournal &operator=(const OperationJournal &) = delete;

    // The journal of the collection whose root folder has `rootIdentity` ("device:inode"),
    // created when missing, and locked. Fails with EWOULDBLOCK when another window holds it.
    // A journal written for another root is set aside, never replayed.
    // The file is rewritten, keeping only the history, once it holds `compactAfter` records.
    static Result<std::unique_ptr<OperationJournal>> open(const QString &stateFolder,
                                                          const QString &rootPath,
                                                          const QString &rootIdentity,
                                                          qint64 compactAfter = 20 * keptActions);
    // $XDG_STATE_HOME/calvenor-photo-sorter, or ~/.local/state/calvenor-photo-sorter.
    static QString defaultStateFolder();

    QString path() const { return m_path; }
    History history() const { return m_history; }
    QList<PendingBatch> pendingBatches() const;
    // Lines skipped as damaged when the file was read.
    int skippedLineCount() const { return m_skipped; }

    // Each append is synced before it returns; a failure to write is reported so that the
    // caller can refuse to touch the disk without a record.
    // An undo or redo applies to the action next in line; `actionID`, when given, must match.
    Result<qint64> beginBatch(Role role, const QString &name, qint64 actionID = 0);
    Result<void> intend(qint64 batch, const FileMove &move);
    Result<void> performed(qint64 batch, const FileMove &move);
    // Ends a batch. A kept batch with moves changes the history: a new action (dropping the
    // undone ones), or the undo or redo of the action it names.
    Result<void> endBatch(qint64 batch, bool kept, const QList<FileMove> &moves);

    // Forgets the undone actions, as the window's undo stack does when an action the journal
    // does not hold (a category change) is made after an undo.
    Result<void> dropUndone();

    // Keeps at most this many actions.
    static constexpr qsizetype keptActions = 1000;

private:
    OperationJournal(int fd, QString path);
    Result<void> append(const QJsonObject &record);
    void read(const QByteArray &bytes);
    void apply(const QJsonObject &record);
    Result<void> compact();

    struct Batch
    {
        Role role = Role::action;
        QString name;
        qint64 actionID = 0;
        QList<PendingMove> moves;
    };

    int m_fd = -1;
    int m_lockFd = -1;
    QString m_path;
    QString m_rootPath;
    QString m_rootIdentity;
    History m_history;
    QHash<qint64, Batch> m_open; // batches begun and not ended
    qint64 m_nextID = 1;
    qint64 m_recordCount = 0;
    qint64 m_compactAfter = 0;
    int m_skipped = 0;
};
