#include "TestFolders.h"

#include "Samples/SamplePhotos.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTest>

#include <sys/stat.h>
#include <utime.h>

namespace TestFolders {

QString writeFile(const QString &root, const QString &relativePath, const QByteArray &bytes)
{
    const QString path = root + QLatin1Char('/') + relativePath;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        QTest::qFail(qPrintable(QStringLiteral("cannot write ") + path), __FILE__, __LINE__);
    }
    return path;
}

QString writeJpeg(const QString &root, const QString &relativePath, QSize size, int orientation)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    return writeFile(root, relativePath, SamplePhotos::encodeJpeg(image, orientation));
}

QString writePng(const QString &root, const QString &relativePath, QSize size)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::magenta);
    const QString path = root + QLatin1Char('/') + relativePath;
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!image.save(path, "PNG")) {
        QTest::qFail(qPrintable(QStringLiteral("cannot write ") + path), __FILE__, __LINE__);
    }
    return path;
}

QString makeFolder(const QString &root, const QString &relativePath)
{
    const QString path = root + QLatin1Char('/') + relativePath;
    QDir().mkpath(path);
    return path;
}

void setModificationTime(const QString &path, qint64 secondsSinceEpoch)
{
    struct utimbuf times{time_t(secondsSinceEpoch), time_t(secondsSinceEpoch)};
    ::utime(QFile::encodeName(path).constData(), &times);
}

QStringList filesBelow(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    const QDir base(root);
    while (it.hasNext()) {
        files.append(base.relativeFilePath(it.next()));
    }
    files.sort();
    return files;
}

QStringList entriesBelow(const QString &root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    const QDir base(root);
    while (it.hasNext()) {
        const QString entry = base.relativeFilePath(it.next());
        entries.append(it.fileInfo().isDir() ? entry + QLatin1Char('/') : entry);
    }
    entries.sort();
    return entries;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList split(QAnyStringView text, QChar separator)
{
    return text.toString().split(separator, Qt::SkipEmptyParts);
}

void writeJpegs(const QString &root, QAnyStringView entries)
{
    for (const QString &entry : split(entries)) {
        entry.endsWith(u'/') ? void(makeFolder(root, entry)) : void(writeJpeg(root, entry));
    }
}

} // namespace TestFolders
