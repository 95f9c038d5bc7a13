#include "MemoryTuning.h"

#include <malloc.h>

void KeepImageBuffersInHeap()
{
    // Both thresholds are set: setting either one ends the library's own adjustment of both.
    // 32 MB is the largest mmap threshold the allocator accepts on 64-bit systems; a bigger
    // still (a 120 MP image) is still mapped and unmapped on its own.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024 * 1024);
    // A thread that finds every heap taken gets a heap of its own, and with the trim threshold
    // above a heap other than the main one never gives its free blocks back. Each reconnection
    // of a camera starts streaming threads while the old ones are still ending, so every one
    // left another heap holding a working set of frames: about 20 MB more for each of the first
    // reconnections of the test camera, and up to eight heaps per core. One heap reuses the same
    // blocks whichever thread frees them. The cycle benchmark shows no cost from the shared
    // lock: our threads mostly wait, and the big blocks are few.
    mallopt(M_ARENA_MAX, 1);
}
