#pragma once

// How many threads the engine's kernels use. Every result is the same, byte for byte, whatever the count.
namespace pixmora {

// 0 or less: every core the process may run on (the default), or as many threads as OMP_NUM_THREADS says.
void setThreadCount(int threads);
int threadCount();

// The least work, in pixels, that is worth a thread of its own: smaller pictures render on fewer threads.
// Tests lower it to 1 so that even tiny pictures are split.
void setMinPixelsPerThread(long long pixels);
long long minPixelsPerThread();

} // namespace pixmora
