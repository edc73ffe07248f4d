#pragma once

// Runs of nearly identical frames on the board: photos of one section, each the next of its
// camera's in the board's order (another camera's photos may lie between: two photographers
// shooting side by side), taken at most two seconds after the previous one, whose pictures are
// alike (difference hashes within a few bits of the previous frame's). A photo not hashed yet,
// or never (a clip), is passed over. Time rules first, so that two unrelated pictures can only
// be taken for a burst when they were shot within moments of each other. The sharpest frame of
// each burst is its best. A plain value, rebuilt whole whenever the board or the facts change.

#include "PhotoSection.h"
#include "SimilarityFacts.h"

#include <QHash>
#include <QStringList>

#include <functional>
#include <optional>

class Bursts
{
public:
    static constexpr qint64 maximumGapMs = 2000;
    static constexpr int maximumDistance = 12;

    // Where a photo stands in its burst.
    struct Mark
    {
        qsizetype group = 0;
        qsizetype position = 0; // 0 for the first frame
        qsizetype count = 0;    // frames in the burst, at least 2
        bool best = false;
        friend bool operator==(const Mark &, const Mark &) = default;
    };

    // The facts known of a photo, or null while none are.
    using FactsOf = std::function<const SimilarityFacts *(const Photo &photo)>;

    // The bursts of `sections`, each section in the order the board shows it.
    static Bursts group(const QList<PhotoSection> &sections, const FactsOf &factsOf);
    // Groups found otherwise (duplicates across the collection), marked the same way: each
    // group's first photo is its best.
    static Bursts fromGroups(const QList<QStringList> &groups);
    // When the photo was taken, in milliseconds since 1970 UTC: its capture time, else its
    // file's modification time.
    static qint64 momentMs(const Photo &photo);

    // Photo ids, in the board's order; one list per burst.
    const QList<QStringList> &groups() const { return m_groups; }
    // The sharpest photo of `group` (the earliest of equals).
    QString best(qsizetype group) const { return m_best.value(group); }
    std::optional<Mark> mark(const QString &photoID) const;
    // The burst holding `photoID`, empty when it is in none.
    QStringList groupOf(const QString &photoID) const;
    bool isEmpty() const { return m_groups.isEmpty(); }

    friend bool operator==(const Bursts &, const Bursts &) = default;

private:
    QList<QStringList> m_groups;
    QStringList m_best;
    QHash<QString, Mark> m_marks;
};
