#pragma once

#include "KernelLevel.h"
#include "Threads.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <tuple>

namespace pixmora {
// So that failures name the level.
inline void PrintTo(KernelLevel level, std::ostream* out) {
    *out << kernelLevelName(level);
}
} // namespace pixmora

// A test that runs once for every instruction-set level of the kernels; the levels this processor lacks
// are skipped, not passed.
class AtEveryKernelLevel : public ::testing::TestWithParam<pixmora::KernelLevel> {
protected:
    void SetUp() override {
        if (GetParam() > pixmora::bestKernelLevel())
            GTEST_SKIP() << "the processor has no " << pixmora::kernelLevelName(GetParam());
        pixmora::setKernelLevelForTesting(GetParam());
    }
    void TearDown() override { pixmora::setKernelLevelForTesting(pixmora::bestKernelLevel()); }
};

inline std::string kernelLevelTestName(const ::testing::TestParamInfo<pixmora::KernelLevel>& info) {
    return pixmora::kernelLevelName(info.param);
}

#define INSTANTIATE_AT_EVERY_KERNEL_LEVEL(Suite)                                                             \
    INSTANTIATE_TEST_SUITE_P(Kernels, Suite, ::testing::ValuesIn(pixmora::AllKernelLevels),                  \
                             kernelLevelTestName)

// A test that runs for every kernel level and for several thread counts, with pictures of any size split
// between the threads. Results must not depend on either.
class AtEveryLevelAndThreadCount : public ::testing::TestWithParam<std::tuple<pixmora::KernelLevel, int>> {
protected:
    pixmora::KernelLevel level() const { return std::get<0>(GetParam()); }
    int threads() const { return std::get<1>(GetParam()); }
    void SetUp() override {
        if (level() > pixmora::bestKernelLevel())
            GTEST_SKIP() << "the processor has no " << pixmora::kernelLevelName(level());
        pixmora::setKernelLevelForTesting(level());
        pixmora::setThreadCount(threads());
        m_minPixels = pixmora::minPixelsPerThread();
        pixmora::setMinPixelsPerThread(1);
    }
    void TearDown() override {
        pixmora::setKernelLevelForTesting(pixmora::bestKernelLevel());
        pixmora::setThreadCount(0);
        if (m_minPixels > 0)
            pixmora::setMinPixelsPerThread(m_minPixels);
    }

private:
    long long m_minPixels = 0;
};

inline std::string
levelAndThreadsTestName(const ::testing::TestParamInfo<std::tuple<pixmora::KernelLevel, int>>& info) {
    return std::string(pixmora::kernelLevelName(std::get<0>(info.param))) + "_" +
           std::to_string(std::get<1>(info.param)) + "threads";
}

#define INSTANTIATE_AT_EVERY_LEVEL_AND_THREAD_COUNT(Suite)                                                   \
    INSTANTIATE_TEST_SUITE_P(                                                                                \
        Kernels, Suite,                                                                                      \
        ::testing::Combine(::testing::ValuesIn(pixmora::AllKernelLevels), ::testing::Values(1, 2, 3, 7)),    \
        levelAndThreadsTestName)
