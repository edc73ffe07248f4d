#include "LargeBlocks.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

void useOwnPagesForLargeBlocks()
{
#ifdef __GLIBC__
    // A fixed threshold also stops glibc from moving it.
    constexpr int largeBlockBytes = 1024 * 1024;
    mallopt(M_MMAP_THRESHOLD, largeBlockBytes);
#endif
}
