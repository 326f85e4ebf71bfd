#pragma once

// How the engine runs a kernel on several threads: OpenMP teams, kept apart from the kernels themselves,
// which are plain functions over rows. Only the engine's own sources include this header.

#include "Threads.h"

#include <algorithm>
#include <atomic>
#include <omp.h>
#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace pixmora {

// How many parts a job of `pixels` may be split into, given that a part should hold `minPixelsPerThread`
// pixels and no part may be empty (`maxParts`).
inline int partsFor(long long pixels, int maxParts) {
    const long long byWork = std::max<long long>(1, pixels / std::max<long long>(1, minPixelsPerThread()));
    return static_cast<int>(std::max<long long>(1, std::min<long long>({threadCount(), byWork, maxParts})));
}

// Runs body(part, parts) once on each of up to `parts` threads at once, the calling thread being one of
// them. OpenMP may give fewer threads than asked for (inside another team, say): `parts` as the body sees
// it is the number that really runs. The body must not throw.
template <typename Body> void runParts(int parts, Body&& body) {
    if (parts <= 1) {
        body(0, 1);
        return;
    }
#pragma omp parallel num_threads(parts)
    body(omp_get_thread_num(), omp_get_num_threads());
}

// The start of part `part` of `parts` equal parts of [0, count).
inline int partBegin(int count, int part, int parts) {
    return static_cast<int>(static_cast<long long>(count) * part / parts);
}

// Runs body(begin, end) over contiguous ranges that cover [0, count), in parallel; `unitPixels` is the work
// of one unit of the range (a row, say). The ranges are handed out a few per thread at a time, so that a
// thread the system lets start late (the cores are shared) does less of the work.
template <typename Body> void parallelRanges(int count, long long unitPixels, Body&& body) {
    if (count <= 0)
        return;
    const int parts = partsFor(unitPixels * count, count);
    if (parts == 1) {
        body(0, count);
        return;
    }
    const int ranges = std::min(count, 8 * parts);
    std::atomic<int> next{0};
    runParts(parts, [&](int, int) {
        for (int range = next.fetch_add(1, std::memory_order_relaxed); range < ranges;
             range = next.fetch_add(1, std::memory_order_relaxed))
            body(partBegin(count, range, ranges), partBegin(count, range + 1, ranges));
    });
}

// Passes that run as a pipeline of stages: as many stages as threads, or a multiple of them when a stage
// would hold more than `maxStage` passes. Thread t runs stages t, t + threads, ... in turn; a stage follows
// the one before it, wherever that one runs, so the stages never wait in a circle.
struct PipelineStages {
    int passes;
    int threads;
    int count;

    PipelineStages(int passCount, int maxStage, long long pixelsPerPass)
        : passes(passCount), threads(partsFor(pixelsPerPass * passCount, passCount)) {
        const int rounds = (passes + threads * maxStage - 1) / (threads * maxStage);
        count = std::min(passes, threads * rounds);
    }
    int first(int stage) const { return partBegin(passes, stage, count); }
    int size(int stage) const { return first(stage + 1) - first(stage); }
};

// Progress of one thread's work that another thread waits for, in whole units (rows, say).
class Progress {
public:
    void publish(int done) { m_done.store(done, std::memory_order_release); }
    // Waits until at least `needed` units are done. Spins briefly, then yields: a thread it waits for may
    // have no core of its own.
    void waitFor(int needed) const {
        for (int spins = 0; m_done.load(std::memory_order_acquire) < needed; ++spins) {
            if (spins < 64) {
#if defined(__x86_64__) || defined(__i386__)
                _mm_pause();
#endif
            } else {
                std::this_thread::yield();
            }
        }
    }
    void reset(int done = 0) {
        m_done.store(done, std::memory_order_relaxed);
    }

private:
    alignas(64) std::atomic<int> m_done{0}; // a cache line of its own
};

} // namespace pixmora
