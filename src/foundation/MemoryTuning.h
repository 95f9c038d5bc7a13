#pragma once

// Every cycle allocates and frees several buffers of whole stills (megabytes each). By default
// the C library hands such blocks back to the kernel at once, and each new one is faulted in
// page by page again, which costs more than decoding the image. This keeps blocks up to 32 MB
// in the heap for reuse, and keeps one heap for all threads, so that what is kept is bounded
// by one working set rather than one per thread that ever handled a still. Called once at
// start-up, before any thread exists.
void KeepImageBuffersInHeap();
