#pragma once

// The board's bursts and the collection's duplicates, kept up to date as the similarity pass
// learns about photos and as the collection changes, at most once per interval however fast
// keys change the board. The bursts are worked out on a thread of their own, on a copy of the
// collection and of the facts: at 100,000 photos a pass over them takes the window's thread
// tens of milliseconds.

#include "Models/Bursts.h"
#include "Models/PhotoCollection.h"
#include "Services/Similarity/SimilarityIndex.h"

#include <QElapsedTimer>
#include <QObject>
#include <QThreadPool>
#include <QTimer>

#include <functional>
#include <optional>

class SimilarShots : public QObject
{
    Q_OBJECT

public:
    // At most one grouping starts per interval; the first after a quieter spell, and the one
    // for a screen whose last facts just came, start at once.
    static constexpr int regroupIntervalMs = 250;

    // What a change of the collection did to its files.
    enum class Change {
        sameFiles, // dimensions or capture times filled in
        moved,     // files filed, renamed, sorted again or taken away: none came
        any,       // files may have come
    };

    // `current` gives the collection as the board shows it now. None is kept here between
    // changes: a copy held would make every key copy the 100,000 photos of a card.
    explicit SimilarShots(std::function<const std::optional<PhotoCollection> &()> current,
                          QObject *parent = nullptr);

    SimilarityIndex &index() { return m_index; }
    const SimilarityIndex &index() const { return m_index; }
    const Bursts &bursts() const { return m_bursts; }
    // Exact and near duplicates anywhere in the collection, each group sharpest first. Worked
    // out when asked (only Browse shows them), and again after the next change.
    const Bursts &duplicates() const;
    // The collection changed, or was closed.
    void collectionChanged(Change change);
    // Groups at once, on the calling thread, rather than at the next interval (tests).
    void regroupNow();
    // Tests stretch it, to see what does not wait for it.
    void setRegroupInterval(int ms) { m_regroupIntervalMs = ms; }

Q_SIGNALS:
    void burstsChanged();
    // What duplicates() gives may have changed.
    void duplicatesChanged();

private:
    void schedule();
    // The screen's last facts came: its marks are grouped at once, whatever the interval.
    void regroupForScreen();
    // Tells the pass the collection's photos when they changed; the duplicates go stale.
    void photosMayHaveChanged();
    // Groups on the grouping thread; one grouping at a time, the newest wins.
    void regroup();
    void grouped(quint64 serial, Bursts bursts);
    void apply(Bursts bursts);

    SimilarityIndex m_index;
    std::function<const std::optional<PhotoCollection> &()> m_current;
    Bursts m_bursts;
    mutable Bursts m_duplicates;
    mutable bool m_duplicatesStale = true;
    QTimer m_regroup;
    int m_regroupIntervalMs = regroupIntervalMs;
    QElapsedTimer m_sinceRegroup;          // since the last grouping began
    std::optional<Change> m_photosChanged; // the pass is not told yet
    bool m_grouping = false;     // a grouping runs
    bool m_regroupAgain = false; // and the collection or the facts changed since it began
    bool m_regroupAtOnce = false; // and the next one starts as soon as it ends
    quint64 m_serial = 0;        // the grouping whose result counts
    QThreadPool m_pool;          // last: waits for a grouping in flight before the rest goes
};
