#pragma once

// Which instruction-set variant of the pixel kernels runs. The build itself targets the x86-64 baseline
// (SSE2); the newer variants are separate functions compiled for their own instruction sets, and the best
// one the processor offers is picked once, on first use. Every level gives byte-for-byte the same result.
namespace pixmora {

enum class KernelLevel {
    Scalar, // plain C++, the fallback and the yardstick
    Sse2,   // the x86-64 baseline
    Avx2,   // 256-bit integer vectors and gathers, but no byte permute across a register
    Avx512, // AVX-512 F, BW and VBMI: byte permutes make a 256-entry table lookup nearly free
};
inline constexpr KernelLevel AllKernelLevels[] = {KernelLevel::Scalar, KernelLevel::Sse2, KernelLevel::Avx2,
                                                  KernelLevel::Avx512};

// The level the kernels use now.
KernelLevel kernelLevel();
// The highest level this processor (and its operating system) supports.
KernelLevel bestKernelLevel();
// Makes the kernels use `level`, lowered to bestKernelLevel() when it is above it. For tests and
// benchmarks that compare the variants.
void setKernelLevelForTesting(KernelLevel level);
const char* kernelLevelName(KernelLevel level);

// A byte shuffle's indices, as the vector kernels load them.
struct alignas(64) ByteIndex {
    unsigned char at[64];
};

template <typename F> constexpr ByteIndex byteIndex(F f) {
    ByteIndex index{};
    for (int j = 0; j < 64; ++j)
        index.at[j] = static_cast<unsigned char>(f(j));
    return index;
}

} // namespace pixmora

#if defined(__x86_64__) || defined(__i386__)
#define PIXMORA_X86 1
#define PIXMORA_TARGET_AVX2 __attribute__((target("avx2")))
#define PIXMORA_TARGET_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi")))
#else
#define PIXMORA_X86 0
#endif

// GCC 12 starts some AVX-512 intrinsic results from a deliberately undefined register and then reports it
// as possibly uninitialised once inlined; code between these two sees no such warning.
#if defined(__GNUC__) && !defined(__clang__)
#define PIXMORA_VECTOR_CODE_BEGIN                                                                            \
    _Pragma("GCC diagnostic push") _Pragma("GCC diagnostic ignored \"-Wmaybe-uninitialized\"")
#define PIXMORA_VECTOR_CODE_END _Pragma("GCC diagnostic pop")
#else
#define PIXMORA_VECTOR_CODE_BEGIN
#define PIXMORA_VECTOR_CODE_END
#endif
