#pragma once

// The similarity facts of a collection's photos, kept between sessions in one file per
// collection under the user's cache folder, so that a reopened folder groups its bursts at
// once. Keyed like the thumbnails in memory: by the file's identity, modification time and
// size, so an edited file is read again while a photo filed into a category keeps its facts.
// A damaged or foreign file reads as empty: it is a cache, never the only copy of anything.

#include "Models/SimilarityFacts.h"
#include "Services/ImageDimensionsReader.h"

#include <QHash>

#include <optional>

struct SimilarityEntry
{
    std::optional<SimilarityFacts> facts; // none when the picture could not be read
    QByteArray digest;                    // the content's digest, once it was needed

    friend bool operator==(const SimilarityEntry &, const SimilarityEntry &) = default;
};

using SimilarityEntries = QHash<DimensionCacheKey, SimilarityEntry>;

namespace SimilarityCache {

// The file that keeps the facts of the collection at `rootPath`, inside `folder`.
QString fileFor(const QString &folder, const QString &rootPath);
// What `file` holds; empty when it is missing, damaged or of another version.
SimilarityEntries load(const QString &file);
// Replaces `file` whole (never half-written); false when it could not be written.
bool save(const QString &file, const SimilarityEntries &entries);

} // namespace SimilarityCache
