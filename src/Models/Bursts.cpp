#include "Bursts.h"

#include <algorithm>
#include <bit>

namespace {

struct Frame
{
    QString id;
    qint64 moment = 0;
    const SimilarityFacts *facts = nullptr;
    qsizetype place = 0; // on the board
};

bool continues(const Frame &previous, const Frame &next)
{
    if (previous.facts == nullptr || next.facts == nullptr ||
        previous.facts->camera != next.facts->camera) {
        return false;
    }
    if (std::abs(next.moment - previous.moment) > Bursts::maximumGapMs) {
        return false;
    }
    return std::popcount(previous.facts->hash ^ next.facts->hash) <= Bursts::maximumDistance;
}

} // namespace

qint64 Bursts::momentMs(const Photo &photo)
{
    const FileTime time = photo.captureTime ? photo.captureTime->moment() : photo.modificationDate;
    return time.seconds * 1000 + time.nanoseconds / 1'000'000;
}

Bursts Bursts::group(const QList<PhotoSection> &sections, const FactsOf &factsOf)
{
    Bursts bursts;
    // Each camera's run so far: two photographers shooting side by side interleave their
    // frames on the board, and each one's burst must still be found.
    QHash<QString, QList<Frame>> runs;
    QList<QList<Frame>> closed;
    const auto close = [&closed](QList<Frame> &run) {
        if (run.size() >= 2) {
            closed.append(run);
        }
        run.clear();
    };
    qsizetype place = 0;
    for (const PhotoSection &section : sections) {
        for (const Photo &photo : section.photos) {
            const Frame frame{photo.id, momentMs(photo), factsOf(photo), place++};
            if (frame.facts == nullptr) {
                continue; // not hashed yet: left out, as a video is
            }
            QList<Frame> &run = runs[frame.facts->camera];
            if (!run.isEmpty() && !continues(run.last(), frame)) {
                close(run);
            }
            run.append(frame);
        }
        for (QList<Frame> &run : runs) {
            close(run); // a burst never reaches into the next section
        }
        runs.clear();
    }
    // In the board's order of their first frames (runs close in the order they end).
    std::ranges::sort(closed, {}, [](const QList<Frame> &run) { return run.first().place; });
    for (const QList<Frame> &run : std::as_const(closed)) {
        const qsizetype group = bursts.m_groups.size();
        QStringList ids;
        qsizetype best = 0;
        for (qsizetype i = 0; i < run.size(); ++i) {
            ids.append(run[i].id);
            if (run[i].facts->sharpness > run[best].facts->sharpness) {
                best = i;
            }
        }
        for (qsizetype i = 0; i < run.size(); ++i) {
            bursts.m_marks.insert(run[i].id, {group, i, run.size(), i == best});
        }
        bursts.m_groups.append(ids);
        bursts.m_best.append(run[best].id);
    }
    return bursts;
}

Bursts Bursts::fromGroups(const QList<QStringList> &groups)
{
    Bursts marked;
    for (const QStringList &ids : groups) {
        if (ids.size() < 2) {
            continue;
        }
        const qsizetype group = marked.m_groups.size();
        for (qsizetype i = 0; i < ids.size(); ++i) {
            marked.m_marks.insert(ids[i], {group, i, ids.size(), i == 0});
        }
        marked.m_groups.append(ids);
        marked.m_best.append(ids.first());
    }
    return marked;
}

std::optional<Bursts::Mark> Bursts::mark(const QString &photoID) const
{
    const auto it = m_marks.constFind(photoID);
    return it == m_marks.constEnd() ? std::nullopt : std::optional(*it);
}

QStringList Bursts::groupOf(const QString &photoID) const
{
    const std::optional<Mark> found = mark(photoID);
    return found ? m_groups.value(found->group) : QStringList();
}
