// Feeds arbitrary bytes to the motion photo locator: as an XMP packet, as a JPEG head, and as a
// whole JPEG or HEIF file read through the offset reader. A range it reports must lie in the file
// (and, once located, start with `ftyp`); every read it asks for must be bounded.
#include "Services/Decoders/HeifBoxes.h"
#include "Services/Decoders/MotionPhoto.h"

#include <cstdint>
#include <cstdlib>
#include <limits>

namespace {

void check(const std::optional<MotionPhoto::Video> &video, qint64 fileLength)
{
    if (video && (video->offset <= 0 || video->length < 8 || video->length > fileLength ||
                  video->offset > fileLength - video->length)) {
        std::abort(); // a range outside the file got through
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView file(reinterpret_cast<const char *>(data), qsizetype(size));
    check(MotionPhoto::declaredVideo(file, file.size()), file.size());
    // A file far longer than the input, so that the sums of lengths near the limits are tried.
    check(MotionPhoto::declaredVideo(file, std::numeric_limits<qint64>::max()),
          std::numeric_limits<qint64>::max());

    const QByteArrayView xmp = MotionPhoto::jpegXmp(file);
    if (!xmp.isEmpty() && (xmp.data() < file.data() || xmp.data() + xmp.size() > file.end())) {
        std::abort();
    }

    const auto readAt = [file](qint64 offset, qint64 length) {
        if (length < 0 || length > HeifBoxes::maximumMetaLength) {
            std::abort(); // a read no file justifies
        }
        if (offset < 0 || offset >= file.size()) {
            return QByteArray();
        }
        return file.sliced(offset, std::min(length, file.size() - offset)).toByteArray();
    };
    // A short head, so that the JPEG walk goes on through the reader.
    const QByteArrayView head = file.first(std::min<qsizetype>(file.size(), 512));
    const std::optional<MotionPhoto::Video> video = MotionPhoto::locate(head, file.size(), readAt);
    check(video, file.size());
    if (video && file.sliced(video->offset + 4, 4) != "ftyp") {
        std::abort(); // not confirmed
    }
    return 0;
}
