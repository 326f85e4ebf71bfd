#include "Parallel.h"

namespace pixmora {

namespace {

std::atomic<int> requestedThreads{0};
std::atomic<long long> minPixels{256 * 1024};

} // namespace

void setThreadCount(int threads) {
    requestedThreads.store(threads > 0 ? threads : 0);
}

int threadCount() {
    const int requested = requestedThreads.load();
    if (requested > 0)
        return requested;
    // Every core the process may run on, unless OMP_NUM_THREADS says otherwise.
    static const int cores = std::max(1, omp_get_max_threads());
    return cores;
}

void setMinPixelsPerThread(long long pixels) {
    minPixels.store(std::max<long long>(1, pixels));
}

long long minPixelsPerThread() {
    return minPixels.load();
}

} // namespace pixmora
