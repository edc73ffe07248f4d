#include "Duplicates.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <numeric>
#include <span>
#include <utility>
#include <vector>

namespace {

// The first listing of each photo ID is the one that counts: a photo listed twice is one photo,
// not its own duplicate, and its own byte count is no reason to read it.
std::vector<bool> firstListings(const QList<DuplicateCandidate> &candidates)
{
    std::vector<bool> first(candidates.size());
    QSet<QString> seen;
    seen.reserve(candidates.size());
    for (qsizetype i = 0; i < candidates.size(); ++i) {
        const qsizetype before = seen.size();
        seen.insert(candidates[i].photoID);
        first[i] = seen.size() != before;
    }
    return first;
}

class DisjointSets
{
public:
    explicit DisjointSets(qsizetype count)
        : m_parent(count)
        , m_size(count, 1)
    {
        std::iota(m_parent.begin(), m_parent.end(), qsizetype(0));
    }

    qsizetype find(qsizetype item)
    {
        while (m_parent[item] != item) {
            m_parent[item] = m_parent[m_parent[item]]; // halving the path keeps later finds short
            item = m_parent[item];
        }
        return item;
    }

    void join(qsizetype a, qsizetype b)
    {
        a = find(a);
        b = find(b);
        if (a == b) {
            return;
        }
        if (m_size[a] < m_size[b]) {
            std::swap(a, b);
        }
        m_parent[b] = a;
        m_size[a] += m_size[b];
    }

private:
    std::vector<qsizetype> m_parent;
    std::vector<qsizetype> m_size;
};

struct HashedPhoto
{
    quint64 hash = 0;
    qsizetype index = 0; // into the candidates
};

// Two hashes at most nearDistance bits apart differ in at most that many of nearDistance + 1
// blocks of bits, so they agree exactly on at least one block: sorting by each block in turn
// brings every near pair into a common run.
constexpr int blockCount = Duplicates::nearDistance + 1;
// Up to this many photos, comparing every pair costs less than sorting them blockCount ways.
constexpr qsizetype pairwiseLimit = 256;

// 1 when the hashes are more than nearDistance bits apart, else 0. Plain arithmetic, without
// std::popcount (a library call where baseline x86-64 lacks the popcnt instruction) and without
// branches, so that the loop over a bucket, which runs for tens of millions of pairs, compiles to
// vector instructions.
quint64 isFar(quint64 a, quint64 b)
{
    quint64 bits = a ^ b;
    bits -= (bits >> 1) & 0x5555'5555'5555'5555;
    bits = (bits & 0x3333'3333'3333'3333) + ((bits >> 2) & 0x3333'3333'3333'3333);
    bits = (bits + (bits >> 4)) & 0x0f0f'0f0f'0f0f'0f0f;
    bits += bits >> 8;
    bits += bits >> 16;
    bits += bits >> 32;
    // The count, at most 64, is in the low byte: adding 127 - nearDistance carries into bit 7
    // exactly when the count exceeds nearDistance.
    return ((bits & 0xff) + (127 - Duplicates::nearDistance)) >> 7;
}

// Joins the near pairs of a small bucket by comparing every pair. Most pairs are far, so a
// stretch is first checked as a whole and only searched when something in it is near.
void joinNearPairs(std::span<const HashedPhoto> bucket, DisjointSets &sets)
{
    constexpr qsizetype stretch = 32;
    std::vector<quint64> hashes(bucket.size());
    std::transform(bucket.begin(), bucket.end(), hashes.begin(),
                   [](const HashedPhoto &photo) { return photo.hash; });
    const auto count = qsizetype(hashes.size());
    for (qsizetype a = 0; a < count; ++a) {
        for (qsizetype from = a + 1; from < count; from += stretch) {
            const qsizetype to = std::min(from + stretch, count);
            quint64 allFar = 1;
            for (qsizetype b = from; b < to; ++b) {
                allFar &= isFar(hashes[a], hashes[b]);
            }
            if (allFar) {
                continue;
            }
            for (qsizetype b = from; b < to; ++b) {
                if (!isFar(hashes[a], hashes[b])) {
                    sets.join(bucket[a].index, bucket[b].index);
                }
            }
        }
    }
}

// Joins every near pair of a bucket of distinct hashes that agree on all bits but those that vary
// among them. Only the varying bits are split into blocks, so a block every member shares (a dark
// sky's row of zeros) never makes a run as large as the bucket, and each run below varies in
// fewer bits than its bucket: the recursion is at most 64 deep. When those bits are so few that
// every pair is near, the bucket is joined without comparing; when everything in a bucket is
// already joined (a large cluster of one picture), nothing is compared either.
void joinNear(std::span<const HashedPhoto> bucket, DisjointSets &sets)
{
    const HashedPhoto &first = bucket.front();
    const qsizetype root = sets.find(first.index);
    quint64 varying = 0;
    bool allJoined = true;
    for (const HashedPhoto &photo : bucket) {
        varying |= photo.hash ^ first.hash;
        allJoined = allJoined && sets.find(photo.index) == root;
    }
    if (allJoined) {
        return;
    }
    if (std::popcount(varying) <= Duplicates::nearDistance) {
        for (const HashedPhoto &photo : bucket) {
            sets.join(first.index, photo.index);
        }
        return;
    }
    if (bucket.size() <= pairwiseLimit) {
        joinNearPairs(bucket, sets);
        return;
    }

    // Bits dealt out in turn rather than in runs: neighbouring bits of a difference hash are
    // neighbouring pixels, which tend to agree.
    std::array<quint64, blockCount> blocks{};
    int next = 0;
    for (quint64 rest = varying; rest != 0; rest &= rest - 1) {
        blocks[next] |= rest & ~(rest - 1);
        next = (next + 1) % blockCount;
    }
    std::vector<HashedPhoto> sorted(bucket.begin(), bucket.end());
    for (const quint64 block : blocks) {
        std::sort(sorted.begin(), sorted.end(),
                  [block](const HashedPhoto &a, const HashedPhoto &b) {
                      return (a.hash & block) < (b.hash & block);
                  });
        for (auto start = sorted.begin(); start != sorted.end();) {
            const quint64 key = start->hash & block;
            const auto end =
                std::find_if(start + 1, sorted.end(), [block, key](const HashedPhoto &p) {
                    return (p.hash & block) != key;
                });
            if (end - start > 1) {
                joinNear(std::span<const HashedPhoto>(start, end), sets);
            }
            start = end;
        }
    }
}

// A sharpness that is not a number ranks below every other rather than breaking the sort.
double sharpnessRank(const DuplicateCandidate &candidate)
{
    return std::isnan(candidate.sharpness) ? -std::numeric_limits<double>::infinity()
                                           : candidate.sharpness;
}

} // namespace

QStringList Duplicates::needingDigest(const QList<DuplicateCandidate> &candidates)
{
    const std::vector<bool> counted = firstListings(candidates);
    QHash<qint64, qsizetype> photosOfSize;
    for (qsizetype i = 0; i < candidates.size(); ++i) {
        if (counted[i]) {
            ++photosOfSize[candidates[i].byteCount];
        }
    }
    QStringList needing;
    for (qsizetype i = 0; i < candidates.size(); ++i) {
        const DuplicateCandidate &candidate = candidates[i];
        if (counted[i] && candidate.digest.isEmpty() &&
            photosOfSize.value(candidate.byteCount) > 1) {
            needing.append(candidate.photoID);
        }
    }
    return needing;
}

QList<QStringList> Duplicates::groups(const QList<DuplicateCandidate> &candidates)
{
    const std::vector<bool> counted = firstListings(candidates);
    DisjointSets sets(candidates.size());

    // Identical content and identical hashes are joined here directly, so only one photo of each
    // hash goes into the buckets: a thousand all-black pictures (hash 0) cost one entry there.
    QHash<std::pair<qint64, QByteArray>, qsizetype> firstOfContent;
    QHash<quint64, qsizetype> firstOfHash;
    std::vector<HashedPhoto> distinctHashes;
    for (qsizetype i = 0; i < candidates.size(); ++i) {
        if (!counted[i]) {
            continue;
        }
        const DuplicateCandidate &candidate = candidates[i];
        if (!candidate.digest.isEmpty()) {
            const std::pair content{candidate.byteCount, candidate.digest};
            const auto found = firstOfContent.constFind(content);
            if (found == firstOfContent.cend()) {
                firstOfContent.insert(content, i);
            } else {
                sets.join(*found, i);
            }
        }
        if (candidate.hash) {
            const auto found = firstOfHash.constFind(*candidate.hash);
            if (found == firstOfHash.cend()) {
                firstOfHash.insert(*candidate.hash, i);
                distinctHashes.push_back({*candidate.hash, i});
            } else {
                sets.join(*found, i);
            }
        }
    }
    if (distinctHashes.size() > 1) {
        joinNear(distinctHashes, sets);
    }

    // Sets numbered as their earliest member comes, which is the order the groups are shown in.
    std::vector<qsizetype> setOfRoot(candidates.size(), -1);
    std::vector<std::vector<qsizetype>> collected;
    for (qsizetype i = 0; i < candidates.size(); ++i) {
        if (!counted[i]) {
            continue;
        }
        qsizetype &slot = setOfRoot[sets.find(i)];
        if (slot < 0) {
            slot = qsizetype(collected.size());
            collected.emplace_back();
        }
        collected[slot].push_back(i);
    }
    QList<QStringList> result;
    for (std::vector<qsizetype> &members : collected) {
        if (members.size() < 2) {
            continue;
        }
        std::stable_sort(members.begin(), members.end(), [&candidates](qsizetype a, qsizetype b) {
            return sharpnessRank(candidates[a]) > sharpnessRank(candidates[b]);
        });
        QStringList group;
        group.reserve(qsizetype(members.size()));
        for (const qsizetype i : members) {
            group.append(candidates[i].photoID);
        }
        result.append(group);
    }
    return result;
}
