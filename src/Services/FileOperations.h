#pragma once

// Every change the application makes on disk: filing photos, replaying recorded moves for undo
// and redo, copying files in, trashing, and creating, renaming, deleting and restoring category
// folders. Nothing is ever overwritten: a taken name (ignoring letter case) gets a free one,
// and a batch that fails part-way puts back what it had done before it reports the error.
// Synchronous; the file-system service runs it on its own thread. Its only state is the
// journal's batch of the operation running inside recorded().

#include "FolderNames.h"
#include "OperationJournal.h"

#include "Models/CategoryDeletion.h"
#include "Models/FileMove.h"
#include "Platform/ImageTypeDetector.h"
#include "Platform/PlatformFileSystem.h"

#include <QSet>

#include <memory>

// How the next batch is written in the journal: as a new action under `name` (the Edit menu's
// text), or as the undo or redo of one. An empty name records the batch for crash recovery only.
struct JournalEntry
{
    OperationJournal::Role role = OperationJournal::Role::action;
    QString name;
    OperationJournal::ActionKind kind = OperationJournal::ActionKind::moves; // of a new action
};

class FileOperations
{
public:
    explicit FileOperations(std::shared_ptr<PlatformFileSystem> fileSystem);

    // Where batches that move files are written before they touch the disk (none: unrecorded).
    // Every planned move is written and synced before it is made, and made only when that
    // succeeded; a batch's end says whether it was kept.
    // The journal also names the collection's root, whose volume a failure may show is gone
    // (VolumeLoss): the batch then stops where it stands, puts nothing back, and its journal
    // batch stays open for recovery; every later batch fails at once, until another journal.
    void setJournal(OperationJournal *journal)
    {
        m_journal = journal;
        m_lost.reset();
    }

    // Runs `work` (one of the operations below) as one batch written under `entry`: begun before
    // it (so that even an undo that fails before it moves anything is written), ended after it,
    // kept when it succeeded. While a journal is set, every operation runs inside this.
    template<typename Work>
    auto recorded(const JournalEntry &entry, Work work) -> std::invoke_result_t<Work>
    {
        if (Result<void> begun = beginBatch(entry); !begun) {
            return std::unexpected(begun.error());
        }
        auto result = work();
        if (!result) {
            result = std::unexpected(judged(result.error()));
        }
        endBatch(result.has_value());
        return result;
    }

    // A shot is a photo's files, the shown one first; its members move together and keep one
    // stem: when any member's name is taken, all of them get the same next number.
    Result<QList<FileMove>> moveShots(const QList<QList<QUrl>> &shots, const QUrl &folder);
    // Each file on its own.
    Result<QList<FileMove>> moveFiles(const QList<QUrl> &urls, const QUrl &folder);
    // Replays recorded moves; the items of one recorded shot move and are renamed together.
    Result<QList<FileMove>> relocate(const QList<FileMove> &moves);
    // Copies the images among `urls` with the dropped companions that belong to them: each
    // copy as a move from the dropped file to the copy, the members of a shot numbered alike.
    Result<QList<FileMove>> copyImageFiles(const QList<QUrl> &urls, const QUrl &folder);
    // `homeTrash`: whether an item whose volume has no usable trash may be copied into the home
    // trash (see PlatformFileSystem::moveToTrash); when refused, the first such item fails the
    // batch with Code::noVolumeTrash and every item already trashed is put back.
    Result<QList<FileMove>> moveShotsToTrash(const QList<QList<QUrl>> &shots,
                                             HomeTrash homeTrash = HomeTrash::allowed);
    Result<QList<FileMove>> moveToTrash(const QList<QUrl> &urls,
                                        HomeTrash homeTrash = HomeTrash::allowed);
    Result<QUrl> createCategory(const QString &proposedName, const QUrl &root);
    Result<void> createCategory(const QUrl &folder);
    Result<FileMove> renameCategory(const QUrl &folder, const QString &proposedName);
    Result<CategoryDeletion> deleteCategory(const QUrl &folder, const QUrl &root);
    Result<void> removeEmptyCategory(const QUrl &folder);
    Result<QList<FileMove>> restoreDeletedCategory(const CategoryDeletion &deletion);

    // `failure`, or volumeLost when it shows that the collection's volume is gone; from then on
    // nothing is put back, and no batch is begun.
    FileSystemError judged(const FileSystemError &failure);
    // Fails with volumeLost when `root` is the journal's root and no longer stats as the folder
    // it was (removed, or a card's mount point left behind), or when its volume was lost.
    Result<void> checkRoot(const QString &root);

    // Trimmed name, or invalidCategoryName when empty, hidden, or holding "/" or ":".
    static Result<QString> validatedCategoryName(const QString &proposedName);
    // The form in which two names count as the same ("IMG_1.JPG" and "img_1.jpg" do).
    static QString nameKey(const QString &name);

private:
    class NameReservations;

    // What a batch that succeeds leaves in the journal: the moves an undo replays, and the
    // category a category change made or removed.
    struct Kept
    {
        QList<FileMove> moves;
        QUrl folder;
    };
    Result<void> beginBatch(const JournalEntry &entry);
    void endBatch(bool succeeded);
    // Says what the running operation's batch keeps when it ends well. Operations call one
    // another (restoring a category replays its moves); the outermost one speaks last.
    template<typename T>
    T keep(T result, const QList<FileMove> &moves, const QUrl &folder = {})
    {
        m_kept = m_entry.name.isEmpty() ? Kept{} : Kept{moves, folder};
        return result;
    }

    // The journal's record before and after one move; a failed record refuses the move.
    Result<void> intendMove(const QString &source, const QString &destination, int shot);
    void reportMove(const FileMove &done);
    // Records the identity of a copy that a move of `source` across file systems is about to
    // publish, so that recovery knows the copy as the item once the source is gone.
    PlatformFileSystem::CopyNote copyNote(const QString &source);

    // Moves a shot's `sources` to free names for `preferredNames` in `folder`, one number
    // for all, retrying with the next free number when another program takes a chosen name
    // first. On failure the shot's moved members are back where they were.
    Result<QList<FileMove>> moveShotToFreeNames(const QStringList &sources, const QString &folder,
                                                const QStringList &preferredNames, int shot,
                                                NameReservations &names);
    // The shots among files of one folder; files in none come alone.
    QList<QStringList> shotsOf(const QStringList &paths, CompanionRule rule) const;
    // Moves `source` to the trash of its volume, its .trashinfo written first.
    Result<FileMove> trash(const QString &source, int shot, HomeTrash homeTrash);
    Result<void> renameLetterCase(const QString &path, const QString &destination);
    // Puts back performed moves, last first. Never fails and never picks another name.
    void rollback(const QList<FileMove> &moves);
    Result<QList<EntryInfo>> listForRemoval(const QString &folder);
    QString identityOf(const QString &path);

    std::shared_ptr<PlatformFileSystem> m_fileSystem;
    ImageTypeDetector m_types;
    OperationJournal *m_journal = nullptr;
    // The batch being written, between beginBatch and endBatch. An unnamed one (for crash
    // recovery only) is begun in the journal at its first move.
    JournalEntry m_entry;
    std::optional<qint64> m_batch;
    std::optional<Kept> m_kept;
    std::optional<FileSystemError> m_lost; // the volume's loss, until another journal is set
    FolderNameMemory m_folderNames; // between batches of moves
};
