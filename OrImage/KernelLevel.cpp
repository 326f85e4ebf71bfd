#include "KernelLevel.h"

namespace pixmora {

namespace {

KernelLevel detectLevel() {
#if PIXMORA_X86
    // The feature bits also reflect whether the operating system saves the wider registers.
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vbmi"))
        return KernelLevel::Avx512;
    if (__builtin_cpu_supports("avx2"))
        return KernelLevel::Avx2;
    return KernelLevel::Sse2;
#else
    return KernelLevel::Scalar;
#endif
}

KernelLevel& currentLevel() {
    static KernelLevel level = bestKernelLevel();
    return level;
}

} // namespace

KernelLevel bestKernelLevel() {
    static const KernelLevel best = detectLevel();
    return best;
}

KernelLevel kernelLevel() {
    return currentLevel();
}

void setKernelLevelForTesting(KernelLevel level) {
    currentLevel() = level > bestKernelLevel() ? bestKernelLevel() : level;
}

const char* kernelLevelName(KernelLevel level) {
    switch (level) {
    case KernelLevel::Scalar:
        return "Scalar";
    case KernelLevel::Sse2:
        return "Sse2";
    case KernelLevel::Avx2:
        return "Avx2";
    case KernelLevel::Avx512:
        return "Avx512";
    }
    return "?";
}

} // namespace pixmora
