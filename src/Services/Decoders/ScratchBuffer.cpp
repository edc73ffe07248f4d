#include "ScratchBuffer.h"

#include <algorithm>

namespace {

struct Block
{
    std::unique_ptr<uchar[]> bytes;
    qsizetype size = 0;
};

} // namespace

uchar *ScratchBuffer::forThisThread(qsizetype bytes)
{
    if (bytes < 0 || bytes > maximumBytes) {
        return nullptr;
    }
    thread_local Block block;
    if (bytes > block.size) {
        // Rounded up, so a slightly larger picture next time does not cost a new block; never
        // past the cap.
        constexpr qsizetype step = qsizetype(4) * 1024 * 1024;
        const qsizetype size = std::min(maximumBytes, (bytes + step - 1) / step * step);
        block.bytes.reset(); // the old block goes before the new one is faulted in
        block.bytes = std::make_unique_for_overwrite<uchar[]>(size_t(size));
        block.size = size;
    }
    return block.bytes.get();
}
