#include "JournalRecovery.h"

#include "Models/FilePaths.h"
#include "Models/Photo.h"
#include "Platform/FileIdentity.h"

#include <QCoreApplication>
#include <QSet>

#include <algorithm>
#include <cerrno>

namespace {

using FilePaths::nameOf;
using FilePaths::parentOf;

// The hidden name under which a copy is written before it is published (".calvenor-XXXXXX").
bool isTemporaryCopyName(const QString &name)
{
    return name.size() == 16 && name.startsWith(QLatin1String(".calvenor-"));
}

// Moves the item at `from` back to `source`. Back into a trash, it goes through the trash, with
// a fresh .trashinfo: the one it had may be forgotten already. A category removed once its photos
// had left (a deletion cut off before its end) is made again for them.
bool putBack(PlatformFileSystem &fs, const QString &from, const QString &source,
             const PlatformFileSystem::CopyNote &noteCopy)
{
    if (fs.isTrashedItem(source)) {
        fs.forgetTrashedItem(source);
        for (const QString &item : fs.trashedItemsFrom(from)) {
            fs.forgetTrashedItem(item); // left by a recovery cut off before the item arrived
        }
        // Back where a trashing the user agreed to had put it, whichever trash that was.
        return fs.moveToTrash(from, HomeTrash::allowed, noteCopy).has_value();
    }
    if (fs.moveNoReplace(from, source, noteCopy)) {
        return true;
    }
    const QString folder = parentOf(source);
    const Result<EntryInfo> there = fs.stat(folder);
    return !there && there.error().systemError == ENOENT && fs.stat(parentOf(folder))
           && fs.makeFolder(folder) && fs.moveNoReplace(from, source, noteCopy);
}

// Puts back one move of `batch`. A copy made on the way back across file systems is recorded
// in the batch before it is published, so that a crash here leaves nothing the next recovery
// cannot recognise.
void rollBack(PlatformFileSystem &fs, OperationJournal &journal, qint64 batch,
              const OperationJournal::PendingMove &pending, JournalRecovery::Report &report)
{
    const QString source = standardizedPath(pending.move.source);
    const QString destination =
        !pending.destinationAfter.isEmpty()
            ? pending.destinationAfter
            : (pending.move.destination.isEmpty() ? QString()
                                                  : standardizedPath(pending.move.destination));
    // The item itself, or a copy of it the journal knows.
    const auto isItem = [&pending](const EntryInfo &entry) {
        return FileIdentity::matches(pending.move.itemIdentity, entry)
               || std::ranges::any_of(pending.copyIdentities, [&entry](const QString &copy) {
                      return FileIdentity::matches(copy, entry);
                  });
    };
    const PlatformFileSystem::CopyNote noteCopy = journal.copyNote(batch, pending.move.source, fs);
    const Result<EntryInfo> atSource = fs.stat(source);
    const bool sourceIntact = atSource && isItem(*atSource);
    if (destination.isEmpty()) {
        // Cut off inside the trash: look for the item by the .trashinfo written before it moved.
        // One whose item never arrived is removed, so the trash lists nothing stale.
        bool found = sourceIntact;
        for (const QString &item : fs.trashedItemsFrom(source)) {
            const Result<EntryInfo> trashed = fs.stat(item);
            if (!trashed) {
                fs.forgetTrashedItem(item);
                ++report.infosRepaired;
            } else if (!found && !atSource && isItem(*trashed)
                       && fs.moveNoReplace(item, source, noteCopy)) {
                fs.forgetTrashedItem(item);
                ++report.putBack;
                found = true;
            }
        }
        if (!found) {
            report.leftAlone.append(source);
        }
        return;
    }
    const Result<EntryInfo> atDestination = fs.stat(destination);
    if (!atDestination) {
        // Never made, or already put back; out of a trash, perhaps by a recovery cut off before
        // it could forget the item's .trashinfo.
        fs.forgetTrashedItem(destination);
        return;
    }
    const bool ours = isItem(*atDestination)
                      || (pending.reportedDone
                          && FileIdentity::matches(pending.identityAfter, *atDestination));
    if (sourceIntact) {
        // A move across file systems publishes the copy before it removes the source: an
        // identical copy at the destination is ours to remove, anything else stays. The two
        // are one entry (a case-insensitive volume's two spellings) when they show one number
        // now; a card's identities would call a copy with the same time and size the item too.
        if (atDestination->identity != atSource->identity
            && atDestination->isRegularFile()
            && atDestination->size == atSource->size
            && atDestination->modificationTime == atSource->modificationTime
            && (ours || !pending.reportedDone) && fs.removeFile(destination)) {
            ++report.copiesRemoved;
        }
        return;
    }
    if (atSource || !ours) {
        report.leftAlone.append(destination);
        return;
    }
    const bool fromTrash = fs.isTrashedItem(destination);
    if (putBack(fs, destination, source, noteCopy)) {
        if (fromTrash) {
            fs.forgetTrashedItem(destination);
        }
        ++report.putBack;
    } else {
        report.leftAlone.append(destination);
    }
}

} // namespace

QString JournalRecovery::Report::note() const
{
    if (isEmpty()) {
        return {};
    }
    const int restored = putBack + copiesRemoved;
    QStringList parts{QCoreApplication::translate("FileSystem", "The last session ended in the middle of a change")};
    if (restored > 0) {
        parts.append(restored == 1
                         ? QCoreApplication::translate("FileSystem", "1 photo file was put back where it was")
                         : QCoreApplication::translate("FileSystem", "%Ln photo files were put back where they were",
                                                       nullptr, restored));
    }
    if (!leftAlone.isEmpty()) {
        QStringList names;
        for (const QString &path : leftAlone) {
            names.append(nameOf(path));
        }
        parts.append(QCoreApplication::translate("FileSystem", "left as found: %1")
                         .arg(names.join(QStringLiteral(", "))));
    }
    return QCoreApplication::translate("FileSystem", "%1.").arg(parts.join(QStringLiteral("; ")));
}

JournalRecovery::Report JournalRecovery::recover(PlatformFileSystem &fs, OperationJournal &journal)
{
    Report report;
    QList<OperationJournal::PendingBatch> batches = journal.pendingBatches();
    // Both ends of every move: a copy goes one way in the batch and the other way here.
    QSet<QString> folders;
    for (const OperationJournal::PendingBatch &batch : std::as_const(batches)) {
        for (const OperationJournal::PendingMove &pending : batch.moves) {
            for (const QString &end : {standardizedPath(pending.move.source),
                                       pending.move.destination.isEmpty()
                                           ? QString()
                                           : standardizedPath(pending.move.destination),
                                       pending.destinationAfter}) {
                if (!end.isEmpty()) {
                    folders.insert(parentOf(end));
                }
            }
        }
    }
    // A copy cut off before it was published is only ever a hidden temporary, whichever way it
    // was going: the file it was read from is still in place. Swept while the batches are still
    // open, so that a recovery cut off itself leaves the next one the same folders to sweep.
    for (const QString &folder : std::as_const(folders)) {
        const Result<QList<EntryInfo>> entries = fs.list(folder);
        if (!entries) {
            continue;
        }
        for (const EntryInfo &entry : *entries) {
            if (entry.isRegularFile() && isTemporaryCopyName(entry.name)
                && fs.removeFile(FilePaths::child(folder, entry.name))) {
                ++report.temporariesRemoved;
            }
        }
    }
    for (auto batch = batches.crbegin(); batch != batches.crend(); ++batch) {
        for (auto move = batch->moves.crbegin(); move != batch->moves.crend(); ++move) {
            rollBack(fs, journal, batch->id, *move, report);
        }
        (void)journal.endBatch(batch->id, OperationJournal::Outcome::abandoned);
    }
    return report;
}
