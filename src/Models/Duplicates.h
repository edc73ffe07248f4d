#pragma once

// Duplicates: which photos of a collection show the same picture, as groups for the Browse view.
// Exact duplicates share byte count and content digest; near ones have difference hashes a few
// bits apart. Pure functions over values, safe on any thread; a photo listed twice counts once.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

struct DuplicateCandidate
{
    QString photoID;
    qint64 byteCount = 0;
    QByteArray digest;           // the content's digest; empty until computed
    std::optional<quint64> hash; // the picture's 64-bit difference hash, when known
    double sharpness = 0;        // larger is sharper
    friend bool operator==(const DuplicateCandidate &, const DuplicateCandidate &) = default;
};

namespace Duplicates {
// Hashes this close (differing bits) are the same picture at any time apart.
inline constexpr int nearDistance = 6;
// The photos whose byte count another candidate shares and which have no digest yet: only
// these need their content read to find exact duplicates.
QStringList needingDigest(const QList<DuplicateCandidate> &candidates);
// Groups of two or more photos: exact duplicates (same byte count and same non-empty digest)
// and near ones (hashes within nearDistance), joined transitively. Each group is sharpest first
// (ties keep the input order); groups come in the order of their earliest member in the input.
QList<QStringList> groups(const QList<DuplicateCandidate> &candidates);
} // namespace Duplicates
