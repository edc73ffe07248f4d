#pragma once

// Where each photo of a collection lies, and which names each section holds, so that a number
// key in a folder of 100,000 photos finds its photo and checks its new name without walking
// them all.
//
// Built from a collection in one pass. The store's single-photo moves edit the collection in
// place and report each edit (noteRemoved, noteInserted); an edit shifts any place by at most
// one, so a place recorded before k edits of its section is found within k steps of where it
// was. Any other change of the collection makes the lookup stale, and it is built again on the
// next question. Answers never depend on the lookup being right: a place is checked against
// the collection before it is given out, and a name the lookup may hold is confirmed by the
// caller.

#include "PhotoCollection.h"

#include <QHash>

#include <optional>
#include <vector>
#include <utility>

class PhotoLookup
{
public:
    // A section's index in the collection, and a photo's index in that section.
    using Place = std::pair<qsizetype, qsizetype>;

    // Makes the lookup describe `collection`, published as `revision`: a stale lookup is built
    // again, as is one whose recorded places drifted far through many edits.
    void sync(const PhotoCollection &collection, quint64 revision);
    bool describes(quint64 revision) const { return m_revision == revision; }
    // `to` holds the same photos in the same places as `from` (only dimensions changed).
    void carry(quint64 from, quint64 to);

    // Where the photo with `id` lies in `collection`, which the lookup describes.
    std::optional<Place> find(const PhotoCollection &collection, const QString &id) const;
    // How many answers of find() walked the whole collection: only a photo missing from it,
    // or two ids of one hash, should ever cost that.
    qint64 longWalks() const { return m_longWalks; }
    // False when no member of a photo of `section` has a name equal to `name` in the file
    // system's comparison (letter case ignored); true means maybe, for the caller to confirm.
    bool mayHoldName(qsizetype section, const QString &name) const;

    // Reports an edit made in place to the described collection, after it was made. Once every
    // edit of a change is reported, `advance` names the collection's new revision.
    void noteRemoved(const Place &place, const Photo &photo);
    void noteInserted(const Place &place, const Photo &photo);
    void advance(quint64 revision);

private:
    struct Entry
    {
        size_t hash = 0; // of the photo's id
        qint32 section = 0;
        qint32 position = 0;
    };
    struct Moved
    {
        Entry entry;
        qint32 stamp = 0; // the section's edit count when the position was recorded
    };
    qsizetype nameCount(qsizetype section, size_t hash) const;
    // Adds `change` to the count of each of the photo's member names in its section, and
    // counts the edit there.
    void countNames(const Place &place, const Photo &photo, qint32 change);

    // What the build found, sorted by hash: flat arrays build in a fraction of a hash table's
    // time and hold a quarter of its memory. The edits since are kept beside them.
    std::vector<Entry> m_built;
    std::vector<std::vector<size_t>> m_builtNames;  // per section: every member's name hash
    QHash<size_t, Moved> m_moved;                   // photos placed since the build
    QList<QHash<size_t, qint32>> m_nameChanges;     // per section: names come (+) and gone (-)
    QList<qint32> m_edits;                          // per section: edits since the build
    qint32 m_editsSinceBuild = 0;
    std::optional<quint64> m_revision;
    mutable qint64 m_longWalks = 0;
};
