#pragma once

// Loads and stores of byte runs for the AVX-512 kernels. Masked loads and stores cost several times a plain
// one on the processors this runs on (a masked store of part of a register far more), so the kernels use
// them only for the last bytes of a row and plain ones everywhere else.

#include "KernelLevel.h"

#if PIXMORA_X86
#include <immintrin.h>

PIXMORA_VECTOR_CODE_BEGIN

namespace pixmora {

PIXMORA_TARGET_AVX512 inline __mmask64 firstBytes(int count) {
    return count >= 64 ? ~__mmask64{0} : (count <= 0 ? __mmask64{0} : (__mmask64{1} << count) - 1);
}

// The first `count` bytes at p (the rest zero); p[count..63] are never read when count < 64.
PIXMORA_TARGET_AVX512 inline __m512i loadBytes(const void* p, int count) {
    return count >= 64 ? _mm512_loadu_si512(p) : _mm512_maskz_loadu_epi8(firstBytes(count), p);
}

// The first `count` bytes of v to p; nothing beyond them is written.
PIXMORA_TARGET_AVX512 inline void storeBytes(void* p, __m512i v, int count) {
    if (count >= 64)
        _mm512_storeu_si512(p, v);
    else if (count >= 48) {
        _mm256_storeu_si256(static_cast<__m256i*>(p), _mm512_castsi512_si256(v));
        _mm_storeu_si128(static_cast<__m128i*>(p) + 2, _mm512_extracti32x4_epi32(v, 2));
        if (count > 48)
            _mm512_mask_storeu_epi8(p, firstBytes(count) & ~firstBytes(48), v);
    } else if (count > 0)
        _mm512_mask_storeu_epi8(p, firstBytes(count), v);
}

} // namespace pixmora

PIXMORA_VECTOR_CODE_END
#endif
