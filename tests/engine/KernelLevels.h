#pragma once

#include "KernelLevel.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

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
