#include "JournalRecovery.h"

#include "Models/FilePaths.h"
#include "Models/Photo.h"
#include "Platform/FileIdentity.h"

#include <QCoreApplication>
#include <QSet>

#include <cerrno>

namespace {

using FilePaths::nameOf;
using FilePaths::parentOf;

// The hidden name under which a copy is written before it is published (".calvenor-XXXXXX").
bool isTemporaryCopyName(const QString &name)
{
    return name.size() == 16 && name.startsWith(QLatin1String(".calvenor-"));
}

void rollBack(PlatformFileSystem &fs, const OperationJournal::PendingMove &pending,
              JournalRecovery::Report &report)
{
    const QString source = standardizedPath(pending.move.source);
    const QString destination =
        !pending.destinationAfter.isEmpty()
            ? pending.destinationAfter
            : (pending.move.destination.isEmpty() ? QString()
                                                  : standardizedPath(pending.move.destination));
    const QString identityBefore = pending.move.itemIdentity;
    const Result<EntryInfo> atSource = fs.stat(source);
    const bool sourceIntact = atSource && FileIdentity::matches(identityBefore, *atSource);
    if (destination.isEmpty()) {
        // Cut off inside the trash: look for the item by the .trashinfo written before it moved.
        // One whose item never arrived is removed, so the trash lists nothing stale.
        bool found = sourceIntact;
        for (const QString &item : fs.trashedItemsFrom(source)) {
            const Result<EntryInfo> trashed = fs.stat(item);
            if (!trashed) {
                fs.forgetTrashedItem(item);
                ++report.infosRepaired;
            } else if (!found && !atSource && FileIdentity::matches(identityBefore, *trashed)
                       && fs.moveNoReplace(item, source)) {
                fs.forgetTrashedItem(item);
                ++report.putBack;
                found = true;
            }
        }
        if (!found) {
            report.leftAlone.append(nameOf(source));
        }
        return;
    }
    const Result<EntryInfo> atDestination = fs.stat(destination);
    if (!atDestination) {
        return; // never made, or already put back
    }
    const bool ours = FileIdentity::matches(identityBefore, *atDestination)
                      || (pending.reportedDone
                          && FileIdentity::matches(pending.identityAfter, *atDestination));
    if (sourceIntact) {
        // A move across file systems publishes the copy before it removes the source: an
        // identical copy at the destination is ours to remove, anything else stays.
        if (!FileIdentity::matches(identityBefore, *atDestination) && atDestination->isRegularFile()
            && atDestination->size == atSource->size
            && atDestination->modificationTime == atSource->modificationTime
            && (ours || !pending.reportedDone) && fs.removeFile(destination)) {
            ++report.copiesRemoved;
        }
        return;
    }
    if (atSource || !ours) {
        report.leftAlone.append(nameOf(destination));
        return;
    }
    const bool fromTrash = fs.isTrashedItem(destination);
    if (fs.moveNoReplace(destination, source)) {
        if (fromTrash) {
            fs.forgetTrashedItem(destination);
        }
        ++report.putBack;
    } else {
        report.leftAlone.append(nameOf(destination));
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
        parts.append(QCoreApplication::translate("FileSystem", "left as found: %1")
                         .arg(leftAlone.join(QStringLiteral(", "))));
    }
    return QCoreApplication::translate("FileSystem", "%1.").arg(parts.join(QStringLiteral("; ")));
}

JournalRecovery::Report JournalRecovery::recover(PlatformFileSystem &fs, OperationJournal &journal)
{
    Report report;
    QList<OperationJournal::PendingBatch> batches = journal.pendingBatches();
    QSet<QString> folders;
    for (auto batch = batches.crbegin(); batch != batches.crend(); ++batch) {
        for (auto move = batch->moves.crbegin(); move != batch->moves.crend(); ++move) {
            rollBack(fs, *move, report);
            if (!move->move.destination.isEmpty()) {
                folders.insert(parentOf(standardizedPath(move->move.destination)));
            }
        }
        (void)journal.endBatch(batch->id, OperationJournal::Outcome::abandoned);
    }
    // A copy cut off before it was published is only ever a hidden temporary: the source it
    // was read from is still in place.
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
    return report;
}
