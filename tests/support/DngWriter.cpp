#include "DngWriter.h"
#include "Samples/SamplePhotos.h"
#include "TwoHalves.h"

#include <QFile>

#include <tiffio.h>

#include <memory>

namespace DngWriter {

QList<Part> Layout::parts() const
{
    QList<Part> parts;
    if (thumbnail) {
        parts.append(Part::Thumbnail);
    }
    parts.append(Part::Raw);
    if (preview) {
        parts.append(Part::Preview);
    }
    return parts;
}

QByteArray defaultPreviewJpeg()
{
    static const QByteArray data = SamplePhotos::encodeJpeg(TwoHalves::make(previewSize), 0, 90);
    return data;
}

namespace {

QByteArray thumbnailPixels()
{
    const QImage image = TwoHalves::make(thumbnailSize); // rows of 480 bytes, no padding
    return QByteArray(reinterpret_cast<const char *>(image.constBits()), image.sizeInBytes());
}

bool writePart(TIFF *tiff, Part part, const Layout &dng, bool first)
{
    QSize size;
    QByteArray strip;
    switch (part) {
    case Part::Thumbnail:
        size = thumbnailSize;
        strip = thumbnailPixels();
        TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, FILETYPE_REDUCEDIMAGE);
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
        break;
    case Part::Raw: {
        size = dng.rawSize;
        // An absurd header is not backed by data: a few strips' worth stands in for it.
        const qint64 length = qMin(qint64(size.width()) * size.height() * 2, qint64(1) << 20);
        strip = QByteArray(length, '\x10');
        static uint16_t patternSize[] = {2, 2};
        static uint8_t pattern[] = {0, 1, 1, 2}; // RGGB
        TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, 0);
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 16);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_CFA);
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
        TIFFSetField(tiff, TIFFTAG_CFAREPEATPATTERNDIM, patternSize);
        TIFFSetField(tiff, TIFFTAG_CFAPATTERN, uint16_t(4), pattern);
        break;
    }
    case Part::Preview:
        size = dng.previewJpeg.isEmpty() ? previewSize : dng.previewJpegSize;
        strip = dng.previewJpeg.isEmpty() ? defaultPreviewJpeg() : dng.previewJpeg;
        TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, FILETYPE_REDUCEDIMAGE);
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
        break;
    }
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(size.width()));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(size.height()));
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, uint32_t(size.height()));
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    if (first) {
        static uint8_t version[] = {1, 4, 0, 0};
        static uint8_t backwardVersion[] = {1, 1, 0, 0};
        TIFFSetField(tiff, TIFFTAG_MAKE, "Calvenor");
        TIFFSetField(tiff, TIFFTAG_MODEL, "Test Camera");
        TIFFSetField(tiff, TIFFTAG_UNIQUECAMERAMODEL, "Calvenor Test Camera");
        TIFFSetField(tiff, TIFFTAG_DNGVERSION, version);
        TIFFSetField(tiff, TIFFTAG_DNGBACKWARDVERSION, backwardVersion);
        TIFFSetField(tiff, TIFFTAG_ORIENTATION, uint16_t(dng.orientation));
        if (!dng.dateTime.isEmpty()) {
            TIFFSetField(tiff, TIFFTAG_DATETIME, dng.dateTime.constData());
        }
        if (const qsizetype count = dng.parts().size(); count > 1) {
            // Placeholders: libtiff fills them in as the following directories are written.
            QList<uint64_t> subIfds(count - 1, 0);
            TIFFSetField(tiff, TIFFTAG_SUBIFD, uint16_t(subIfds.size()), subIfds.data());
        }
    }
    // The strip is written as it is: no codec of libtiff's touches the preview's JPEG bytes.
    return TIFFWriteRawStrip(tiff, 0, strip.data(), strip.size()) == strip.size() &&
           TIFFWriteDirectory(tiff);
}

} // namespace

QByteArray write(const QString &path, const Layout &dng)
{
    {
        const std::unique_ptr<TIFF, decltype(&TIFFClose)> tiff(
            TIFFOpen(QFile::encodeName(path).constData(), "w"), &TIFFClose);
        if (!tiff) {
            return {};
        }
        const QList<Part> parts = dng.parts();
        for (qsizetype i = 0; i < parts.size(); ++i) {
            if (!writePart(tiff.get(), parts[i], dng, i == 0)) {
                return {};
            }
        }
    }
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace DngWriter
