#pragma once

// Puts back what a crash left half done. Every batch of the journal without an end record is
// rolled back, last move first, deciding each move from what is on disk: the item at its
// destination with the recorded identity goes back to its source; an item still at its source
// stays; a complete copy published beside an intact source (a move across file systems cut off
// before the source was removed) is removed. A file whose identity does not match the record is
// never moved. An item cut off on its way into the trash is found by its .trashinfo and put
// back; a .trashinfo whose item never arrived is removed. A copy made across file systems is
// recognised by the identity the journal recorded before it was published, and recovery records
// the copies it makes itself the same way, so a recovery cut off by a crash is simply run again.
// Hidden temporary copies in the folders at either end of the batches' moves are removed. Runs
// on the file-system service's thread, before the collection is read.

#include "OperationJournal.h"
#include "Platform/PlatformFileSystem.h"

#include <QStringList>

namespace JournalRecovery {

struct Report
{
    int putBack = 0;           // items moved back where they were
    int copiesRemoved = 0;     // published copies beside an intact source
    int temporariesRemoved = 0;
    int infosRepaired = 0;     // .trashinfo files whose item never reached the trash
    QStringList leftAlone;     // paths of items not put back: another file holds the place, or unknown

    bool isEmpty() const
    {
        return putBack == 0 && copiesRemoved == 0 && temporariesRemoved == 0 && infosRepaired == 0
               && leftAlone.isEmpty();
    }
    // One quiet sentence for the window, empty when there was nothing to do.
    QString note() const;
};

Report recover(PlatformFileSystem &fileSystem, OperationJournal &journal);

} // namespace JournalRecovery
