#pragma once

// Things that can lie where a photo is expected and that a reader must refuse without following,
// waiting or reading far: a link, a FIFO, a directory, a header claiming a vast image, a sparse
// file beyond the size cap. Shared by the tests of every way a photo is opened.

#include "Samples/SamplePhotos.h"
#include "Services/ImageFile.h"
#include "support/TestFolders.h"

#include <QBuffer>
#include <QFile>
#include <QStringList>
#include <QtEndian>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace UnsafeImageFiles {

// One PNG chunk: length, type and data, checksum.
inline QByteArray pngChunk(const QByteArray &typeAndData)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : typeAndData) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    QByteArray framed = QByteArray(4, '\0') + typeAndData + QByteArray(4, '\0');
    qToBigEndian(quint32(typeAndData.size() - 4), framed.data());
    qToBigEndian(~crc, framed.end() - 4);
    return framed;
}

// A small PNG whose header claims another size.
inline QByteArray pngClaiming(quint32 width, quint32 height)
{
    QByteArray header = "IHDR" + QByteArray(8, '\0') + QByteArray("\x08\x02\0\0\0", 5);
    qToBigEndian(width, header.data() + 4);
    qToBigEndian(height, header.data() + 8);
    QByteArray png;
    QBuffer buffer(&png);
    SamplePhotos::makeImage(4, 4, 1).save(&buffer, "PNG");
    return png.replace(8, 25, pngChunk(header));
}

// The table rows: what lies at the photo's path.
inline QStringList kinds()
{
    return {QStringLiteral("link to a photo"),     QStringLiteral("FIFO named x.jpg"),
            QStringLiteral("folder named x.jpg"),  QStringLiteral("100000 x 100000 PNG header"),
            QStringLiteral("text named x.jpg"),    QStringLiteral("empty file"),
            QStringLiteral("beyond the size cap"), QStringLiteral("missing file")};
}

// Makes a `kind` at folder/x.jpg and returns its path.
inline QString make(const QString &folder, const QString &kind)
{
    const QString path = folder + QStringLiteral("/x.jpg");
    const QByteArray photo = SamplePhotos::encodeJpeg(SamplePhotos::makeImage(64, 48, 3));
    if (kind == QLatin1String("link to a photo")) {
        QFile::link(TestFolders::writeFile(folder, QStringLiteral("real.jpg"), photo), path);
    } else if (kind == QLatin1String("FIFO named x.jpg")) {
        ::mkfifo(QFile::encodeName(path).constData(), 0600);
    } else if (kind == QLatin1String("folder named x.jpg")) {
        TestFolders::makeFolder(folder, QStringLiteral("x.jpg"));
        TestFolders::writeFile(path, QStringLiteral("inside.jpg"), photo);
    } else if (kind == QLatin1String("100000 x 100000 PNG header")) {
        TestFolders::writeFile(folder, QStringLiteral("x.jpg"), pngClaiming(100000, 100000));
    } else if (kind == QLatin1String("text named x.jpg")) {
        TestFolders::writeFile(folder, QStringLiteral("x.jpg"), "hello\n");
    } else if (kind == QLatin1String("empty file")) {
        TestFolders::writeFile(folder, QStringLiteral("x.jpg"), {});
    } else if (kind == QLatin1String("beyond the size cap")) {
        // A good photo, then a hole: sparse, so it costs no disk.
        TestFolders::writeFile(folder, QStringLiteral("x.jpg"), photo);
        [[maybe_unused]] const int truncated =
            ::truncate(QFile::encodeName(path).constData(), ImageFile::maximumFileBytes + 1);
    }
    return path;
}

// Releases a reader blocked opening the FIFO at `path` (when a fault makes one wait), so a
// failing test ends instead of hanging. Harmless when nothing waits.
inline void releaseFifoReader(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
    }
}

} // namespace UnsafeImageFiles
