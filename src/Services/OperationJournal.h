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

#include "JournalKey.h"
#include "Models/FileMove.h"
#include "Models/FileSystemError.h"
#include "Platform/PlatformFileSystem.h"
#include "Platform/SystemCalls.h"

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
    // What an action did, which decides how it is undone and redone.
    enum class ActionKind {
        moves,          // files moved (filing, the trash): undone by moving them back
        copy,           // files copied in: undone by moving the copies to the trash
        newCategory,    // `folder` made: undone by removing it while empty
        renameCategory, // one move of a category folder
        deleteCategory, // `folder` removed after its files moved out (`moves`)
    };
    // How a batch ended: kept; failed and put back by the operation (an undo or redo that
    // failed still counts as done by the window's undo stack); or put back on the next open
    // after a crash, which the window never learnt of.
    enum class Outcome { kept, failed, abandoned };

    struct Action
    {
        qint64 id = 0;
        QString name;           // as in the Edit menu: "Move Photos", "Move to Trash"
        QList<FileMove> moves;  // as the disk last performed them, forward
        ActionKind kind = ActionKind::moves;
        QUrl folder = {};       // the category of a newCategory or deleteCategory
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
        // Copies of the item made across file systems, recorded before they got a name: the
        // move's own, and recovery's when it copied the item back.
        QStringList copyIdentities = {};
    };
    struct PendingBatch
    {
        qint64 id = 0;
        QList<PendingMove> moves;
    };

    ~OperationJournal();
    OperationJournal(const OperationJournal &) = delete;
    OperationJournal &operator=(const OperationJournal &) = delete;

    // The journal of the collection whose root folder has `rootIdentity` (FileIdentity),
    // created when missing, and locked. Named by `key` (the volume and the root on it, see
    // JournalKey), or by the key's legacy name where a journal was kept under it; a root renamed
    // or moved on its volume, or a card mounted elsewhere, finds its journal, whose paths then
    // follow it to `rootPath`. Fails with EWOULDBLOCK when another window holds it. A journal
    // written for another root (one whose inode a new folder got) is set aside, never replayed.
    // The file is rewritten, keeping only the history, once it holds `compactAfter` records.
    // Writes and syncs go through `calls`.
    static Result<std::unique_ptr<OperationJournal>>
    open(const QString &stateFolder, const JournalKey &key, const QString &rootPath,
         const QString &rootIdentity, qint64 compactAfter = 20 * keptActions,
         std::shared_ptr<SystemCalls> calls = SystemCalls::kernel());
    // The same, named by the root's device and inode alone.
    static Result<std::unique_ptr<OperationJournal>>
    open(const QString &stateFolder, const QString &rootPath, const QString &rootIdentity,
         qint64 compactAfter = 20 * keptActions,
         std::shared_ptr<SystemCalls> calls = SystemCalls::kernel());
    // $XDG_STATE_HOME/calvenor-photo-sorter, or ~/.local/state/calvenor-photo-sorter.
    static QString defaultStateFolder();

    QString path() const { return m_path; }
    // The collection's root folder: where it is now, and its identity when it was opened.
    QString rootPath() const { return m_rootPath; }
    QString rootIdentity() const { return m_rootIdentity; }
    History history() const { return m_history; }
    QList<PendingBatch> pendingBatches() const;

    // Each append is synced before it returns; a failure to write is reported so that the
    // caller can refuse to touch the disk without a record.
    // An undo or redo applies to the action next in line; `actionID`, when given, must match.
    // `kind` is what a new action does; an undo or redo takes it from its action.
    Result<qint64> beginBatch(Role role, const QString &name,
                              ActionKind kind = ActionKind::moves, qint64 actionID = 0);
    Result<void> intend(qint64 batch, const FileMove &move);
    Result<void> performed(qint64 batch, const FileMove &move);
    // A copy of the item that the batch's last planned move of `source` moves is complete and
    // about to be published: by a move across file systems, or by recovery putting such a move
    // back. Recorded before the copy gets a name, so after a crash the copy is known as the item.
    Result<void> copied(qint64 batch, const QUrl &source, const QString &identity);
    // What a move of `source` in `batch` tells of its copy: the identity `fileSystem` reads
    // there, recorded by copied().
    PlatformFileSystem::CopyNote copyNote(qint64 batch, const QUrl &source,
                                          PlatformFileSystem &fileSystem);
    // Ends a batch. A kept action with moves (or a category change) becomes the last done
    // action, dropping the undone ones. An undo or redo moves the history on whether kept or
    // failed, as the window's undo stack does; when kept, its moves are what the action holds
    // from then on. `folder` is the category a category change made or removed.
    Result<void> endBatch(qint64 batch, Outcome outcome, const QList<FileMove> &moves = {},
                          const QUrl &folder = {});

    // Keeps at most this many actions.
    static constexpr qsizetype keptActions = 1000;

private:
    OperationJournal(int fd, QString path, std::shared_ptr<SystemCalls> calls);
    Result<void> append(const QJsonObject &record);
    void read(const QByteArray &bytes);
    void apply(const QJsonObject &record);
    void applyEnd(qint64 batch, const QJsonObject &record);
    // Follows the root folder to `rootPath`: every path below the old one moves with it.
    void rebase(const QString &rootPath);
    Result<void> compact();

    struct Batch
    {
        Role role = Role::action;
        QString name;
        qint64 actionID = 0;
        ActionKind kind = ActionKind::moves;
        QList<PendingMove> moves = {};
    };

    int m_fd = -1;
    int m_lockFd = -1;
    std::shared_ptr<SystemCalls> m_calls;
    QString m_path;
    QString m_rootPath;
    QString m_rootIdentity;
    History m_history;
    QHash<qint64, Batch> m_open; // batches begun and not ended
    qint64 m_nextID = 1;
    qint64 m_recordCount = 0;
    qint64 m_compactAfter = 0;
};
