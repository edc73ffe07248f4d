#pragma once

// One block of memory per thread for a decode's intermediate picture, kept from one decode to
// the next. Large blocks get pages of their own (LargeBlocks), so a fresh one is faulted in page
// by page on every decode and handed back when freed; this one is faulted in once per thread and
// freed with the thread, when its pool lets it go after a while idle. Nothing the caller returns
// may point into it: the next use on the same thread overwrites it.

#include <QtGlobal>

#include <memory>

class ScratchBuffer
{
public:
    // More than this is never kept: a thumbnail's intermediate picture for a cell on a HiDPI
    // screen fits, a whole photo does not.
    static constexpr qsizetype maximumBytes = qsizetype(32) * 1024 * 1024;

    // This thread's block, at least `bytes` long; null when more than maximumBytes is asked,
    // and the caller then allocates its own.
    static uchar *forThisThread(qsizetype bytes);
};
