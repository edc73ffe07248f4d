// Feeds arbitrary bytes to the EXIF thumbnail locator; what it finds must lie inside the input.
#include "Services/Decoders/ExifThumbnail.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView head(reinterpret_cast<const char *>(data), qsizetype(size));
    const ExifThumbnail::Location location = ExifThumbnail::locate(head);
    if (location.isValid()
        && (location.offset < 0 || location.offset + location.length > head.size()
            || location.orientation < 1 || location.orientation > 8)) {
        std::abort();
    }
    return 0;
}
