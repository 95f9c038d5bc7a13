#include "MemoryTuning.h"

#include <malloc.h>

void KeepImageBuffersInHeap()
{
    // Both thresholds are set: setting either one ends the library's own adjustment of both.
    // 32 MB is the largest mmap threshold the allocator accepts on 64-bit systems; a bigger
    // still (a 120 MP image) is still mapped and unmapped on its own.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024 * 1024);
}
