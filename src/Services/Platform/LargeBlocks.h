#pragma once

// Gives every large heap block (a section's list of 100,000 photos, a decoded image) pages of
// its own. Growing such a block is then a remap rather than a copy of it beside the old one,
// and a freed one goes back to the system at once. Left alone, glibc raises its threshold to
// the largest block freed so far, after which a photo list lives in the shared heap: inserting
// one photo into a full list there briefly holds the list twice. Call once, first thing.
void useOwnPagesForLargeBlocks();
