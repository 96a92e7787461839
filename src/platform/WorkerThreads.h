// The threads Qt's painting and image conversion share out large pieces of work to.
#pragma once

// Qt's raster painting hands a large fill to the global thread pool and waits for every piece:
// a thread the pool cannot start when memory is short (an address-space limit nearly reached)
// would leave the window waiting for ever. The pool's threads are started at launch, with small
// stacks, and kept for the life of the process, so that painting never waits on a thread that
// cannot be made. Call once, after the application object exists.
void StartWorkerThreads();

// glibc gives each thread that allocates an arena of its own, reserving 64 MB of address space for
// it: under an address-space limit (ulimit -v) the pool's threads alone would take about 64 MB a
// core from the room the limit leaves the documents. Every thread shares the one arena instead;
// the program's allocating work is done on one thread anyway. Call first thing in main, before
// any thread starts. False where the C library does not take the setting.
bool LimitAllocatorArenas();
