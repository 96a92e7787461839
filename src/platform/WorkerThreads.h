// The threads Qt's painting and image conversion share out large pieces of work to.
#pragma once

// Qt's raster painting hands a large fill to the global thread pool and waits for every piece:
// a thread the pool cannot start when memory is short (an address-space limit nearly reached)
// would leave the window waiting for ever. The pool's threads are started at launch, with small
// stacks, and kept for the life of the process, so that painting never waits on a thread that
// cannot be made. Call once, after the application object exists.
void StartWorkerThreads();
