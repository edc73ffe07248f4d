#pragma once

// Pieces of absolute local paths, as the file operations build and take them apart. Plain text
// work: nothing is looked up on disk, and "/" is the only root.

#include <QString>

namespace FilePaths {

// The folder holding `path`; "/" for an entry of the root.
inline QString parentOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash > 0 ? path.left(slash) : QStringLiteral("/");
}

// The last component of `path`.
inline QString nameOf(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// `name` inside `folder`, with one slash between them whether or not the folder ends in one.
inline QString child(const QString &folder, const QString &name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

} // namespace FilePaths
