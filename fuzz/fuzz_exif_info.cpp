// Feeds arbitrary bytes to the EXIF info reader, as a TIFF block, a HEIF Exif item and a file's
// head, and to the HEIF box reader that finds the Exif item: what they report must be sane.
#include "Services/Decoders/ExifInfo.h"
#include "Services/Decoders/HeifBoxes.h"

#include <cstdint>
#include <cstdlib>

namespace {

void check(const PhotoInfo &info)
{
    const auto positive = [](const std::optional<double> &value) {
        return !value || (*value > 0 && *value < 1e6);
    };
    const auto printable = [](const QString &text) {
        return text.size() <= 128 &&
               std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.isPrint(); });
    };
    if (!positive(info.exposureTime) || !positive(info.fNumber) || !positive(info.focalLength) ||
        (info.exposureBias && std::abs(*info.exposureBias) > 20) || (info.iso && *info.iso == 0) ||
        (info.orientation && (*info.orientation < 1 || *info.orientation > 8)) ||
        (info.captureTime &&
         (!info.captureTime->date().isValid() || info.captureTime->date().year() < 1800 ||
          info.captureTime->nanoseconds < 0 || info.captureTime->nanoseconds >= 1'000'000'000)) ||
        !printable(info.make) || !printable(info.model) || !printable(info.lensModel)) {
        std::abort(); // something that cannot be true got through
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const PhotoInfo tiff = ExifInfo::fromTiff(bytes);
    check(tiff);
    if (ExifInfo::captureTimeFromTiff(bytes) != tiff.captureTime) {
        std::abort(); // the fill and the overlay would disagree
    }
    check(ExifInfo::fromHeifItem(bytes));
    check(ExifInfo::fromHead(bytes));
    const HeifBoxes::Header header = HeifBoxes::readHeader(bytes);
    if (header.exif.size() > HeifBoxes::maximumExifLength) {
        std::abort();
    }
    check(ExifInfo::fromHeifItem(header.exif));
    return 0;
}
