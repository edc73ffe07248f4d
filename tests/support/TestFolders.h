#pragma once

// Small helpers to lay out real folders in a QTemporaryDir: files with given bytes, JPEG and
// PNG images of a given size and orientation, and reads of what ended up on disk.

#include <QAnyStringView>
#include <QByteArray>
#include <QSize>
#include <QString>
#include <QStringList>

namespace TestFolders {

// Writes `bytes` to root/relativePath, creating missing folders. Fails the test on error.
QString writeFile(const QString &root, const QString &relativePath, const QByteArray &bytes = "x");
// Writes a small JPEG of `size` with an optional EXIF orientation (1..8).
QString writeJpeg(const QString &root, const QString &relativePath, QSize size = {8, 6},
                  int orientation = 0);
QString writePng(const QString &root, const QString &relativePath, QSize size = {8, 6});
QString makeFolder(const QString &root, const QString &relativePath);
// Sets a file's modification time (seconds since 1970).
void setModificationTime(const QString &path, qint64 secondsSinceEpoch);
// Every file below root, as sorted relative paths ("Cats/IMG_1.jpg").
QStringList filesBelow(const QString &root);
// Every entry below root, hidden ones too, as sorted relative paths; folders end in '/'.
QStringList entriesBelow(const QString &root);
QByteArray readFile(const QString &path);
// "a.jpg|Cats/b.jpg" as a list, empty parts dropped.
QStringList split(QAnyStringView text, QChar separator = u'|');
// A small JPEG at each of "a.jpg|Cats/b.jpg|Dogs/" below root; a name ending in '/' is an
// empty folder.
void writeJpegs(const QString &root, QAnyStringView entries);

} // namespace TestFolders
