// Feeds arbitrary bytes to the HEIF box reader, as a whole file and through the offset reader.
#include "Services/Decoders/HeifBoxes.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView file(reinterpret_cast<const char *>(data), qsizetype(size));
    const QSize upright = HeifBoxes::uprightSize(file);
    if (upright.isValid()
        && (upright.width() > HeifBoxes::maximumSide || upright.height() > HeifBoxes::maximumSide
            || upright.width() < 1 || upright.height() < 1)) {
        std::abort(); // an absurd size got through
    }
    return 0;
}
