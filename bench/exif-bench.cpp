// What reading a photo's EXIF block costs: a 12-megapixel camera JPEG (4000 × 3000, the full
// EXIF block SamplePhotos::cameraExif writes, maker note included, and an EXIF thumbnail) is
// written to FOLDER, then read ROUNDS times each way. Processor time of this thread, so other
// work on the machine barely moves the figures; every file read comes from the disk cache.
//   calvenor-exif-bench FOLDER [ROUNDS]
// The last line is machine-readable: file_kb=… capture_time_us=… photo_info_us=…
// open_and_info_us=… header_us=… (microseconds per photo, median of five runs).

#include "Samples/SamplePhotos.h"
#include "Services/Decoders/ExifInfo.h"
#include "Services/Decoders/ImageDecoders.h"
#include "Services/Decoders/ImageSource.h"
#include "Services/ImageDimensionsReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTimeZone>

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>

namespace {

double threadMicroseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e6 + double(now.tv_nsec) / 1e3;
}

// Microseconds of processor time per call of `work`, the median of five runs of `rounds`.
template<typename Work>
double perCall(const char *label, int rounds, Work work)
{
    std::array<double, 5> runs{};
    for (double &run : runs) {
        const double start = threadMicroseconds();
        for (int i = 0; i < rounds; ++i) {
            work();
        }
        run = (threadMicroseconds() - start) / rounds;
    }
    std::sort(runs.begin(), runs.end());
    std::printf("%-44s %8.2f us\n", label, runs[2]);
    return runs[2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc == 3 ? QByteArray(argv[2]).toInt() : 2000;
    if (argc < 2 || argc > 3 || rounds < 1) {
        std::fprintf(stderr, "usage: %s FOLDER [ROUNDS]\n", argv[0]);
        return 2;
    }
    const QString path =
        QDir(QFile::decodeName(argv[1])).absoluteFilePath(QStringLiteral("IMG_0001.jpg"));
    const QImage image = SamplePhotos::makeImage(4000, 3000, 1);
    const QByteArray thumbnail = SamplePhotos::encodeJpeg(
        image.scaled(160, 120, Qt::KeepAspectRatio, Qt::SmoothTransformation), 0, 75);
    const QDateTime taken(QDate(2024, 5, 3), QTime(14, 22, 7, 250), QTimeZone(7200));
    // The camera's block with its thumbnail after it, in one APP1 segment as cameras write it.
    const QByteArray exif = SamplePhotos::cameraExif(taken, 6);
    const QByteArray bytes = SamplePhotos::withExifBlock(
        SamplePhotos::withExif(SamplePhotos::encodeJpeg(image, 0, 90), 6, thumbnail), exif);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    file.close();

    const std::optional<ImageSource> opened = ImageSource::open(path);
    if (!opened || !ExifInfo::fromHead(opened->head()).captureTime ||
        !ImageDimensionsReader::imageDimensions(path).captureTime) {
        std::fprintf(stderr, "the capture time was not read back\n");
        return 1;
    }
    const QByteArray head = opened->head();
    std::printf("%s: %lld KB, EXIF block %lld bytes\n", qPrintable(path),
                qint64(bytes.size() / 1024), qint64(exif.size()));
    volatile qint64 sink = 0;
    const double captureUs = perCall("capture time from the head in memory", rounds, [&] {
        sink = sink + ExifInfo::captureTimeFromHead(head)->clockSeconds;
    });
    const double infoUs = perCall("every field from the head in memory", rounds,
                                  [&] { sink = sink + ExifInfo::fromHead(head).model.size(); });
    const double openUs = perCall("open, read 64 KiB, every field", rounds, [&] {
        const std::optional<ImageSource> source = ImageSource::open(path);
        sink = sink + ImageDecoders::forFile(*source).photoInfo(*source).model.size();
    });
    const double headerUs = perCall("the fill's header read (size and time)", rounds, [&] {
        sink = sink + ImageDimensionsReader::imageDimensions(path).width;
    });
    QFile::remove(path);
    std::printf("file_kb=%lld capture_time_us=%.2f photo_info_us=%.2f open_and_info_us=%.2f "
                "header_us=%.2f\n",
                qint64(bytes.size() / 1024), captureUs, infoUs, openUs, headerUs);
    return 0;
}
