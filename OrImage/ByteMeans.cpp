#include "ByteMeans.h"

#include "KernelLevel.h"
#include "Vector512.h"

#if PIXMORA_X86
#include <immintrin.h>
#endif

namespace pixmora {

namespace {

// --- plain ----------------------------------------------------------------------------------------------

void mean4Scalar(std::uint8_t* out, const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c,
                 const std::uint8_t* d, int bytes, int) {
    for (int i = 0; i < bytes; ++i)
        out[i] = static_cast<std::uint8_t>((a[i] + b[i] + c[i] + d[i]) >> 2);
}

void embossBytes(std::uint8_t* out, const std::uint8_t* row, const std::uint8_t* other, int begin, int end) {
    for (int i = begin; i < end; ++i)
        out[i] = static_cast<std::uint8_t>((row[i] + 255 - other[i]) >> 1);
}

// The bytes whose partner lies three pixels to the right.
int embossShifted(int width) {
    return width > 3 ? 3 * (width - 3) : 0;
}

void embossScalar(std::uint8_t* out, const std::uint8_t* row, const std::uint8_t* other, int width) {
    const int shifted = embossShifted(width);
    for (int i = 0; i < shifted; ++i)
        out[i] = static_cast<std::uint8_t>((row[i] + 255 - other[i + 9]) >> 1);
    embossBytes(out, row, other, shifted, 3 * width);
}

#if PIXMORA_X86
// --- SSE2 -------------------------------------------------------------------------------------------------

inline __m128i floorMean(__m128i a, __m128i b, __m128i one) {
    return _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), one));
}

inline __m128i mean4Of(__m128i a, __m128i b, __m128i c, __m128i d) {
    const __m128i one = _mm_set1_epi8(1);
    const __m128i x1 = _mm_xor_si128(a, b), x2 = _mm_xor_si128(c, d);
    const __m128i h1 = _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(x1, one));
    const __m128i h2 = _mm_sub_epi8(_mm_avg_epu8(c, d), _mm_and_si128(x2, one));
    const __m128i carry = _mm_and_si128(_mm_and_si128(x1, x2), _mm_and_si128(_mm_xor_si128(h1, h2), one));
    return _mm_add_epi8(floorMean(h1, h2, one), carry);
}

inline __m128i load16(const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

int mean4Steps16(std::uint8_t* out, const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c,
                 const std::uint8_t* d, int i, int bytes) {
    for (; i + 16 <= bytes; i += 16)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         mean4Of(load16(a + i), load16(b + i), load16(c + i), load16(d + i)));
    return i;
}

void mean4Sse2(std::uint8_t* out, const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c,
               const std::uint8_t* d, int bytes, int maxStep) {
    const int i = maxStep >= 16 ? mean4Steps16(out, a, b, c, d, 0, bytes) : 0;
    mean4Scalar(out + i, a + i, b + i, c + i, d + i, bytes - i, maxStep);
}

int embossSteps16(std::uint8_t* out, const std::uint8_t* row, const std::uint8_t* other, int i, int end) {
    const __m128i ones = _mm_set1_epi8(-1), one = _mm_set1_epi8(1);
    for (; i + 16 <= end; i += 16)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         floorMean(load16(row + i), _mm_xor_si128(load16(other + i), ones), one));
    return i;
}

void embossSse2(std::uint8_t* out, const std::uint8_t* row, const std::uint8_t* other, int width) {
    const int shifted = embossShifted(width);
    const int i = embossSteps16(out, row, other + 9, 0, shifted);
    embossBytes(out, row, other + 9, i, shifted);
    embossBytes(out, row, other, shifted, 3 * width);
}

// --- AVX2 -------------------------------------------------------------------------------------------------

PIXMORA_TARGET_AVX2 inline __m256i floorMean(__m256i a, __m256i b, __m256i one) {
    return _mm256_sub_epi8(_mm256_avg_epu8(a, b), _mm256_and_si256(_mm256_xor_si256(a, b), one));
}

PIXMORA_TARGET_AVX2 inline __m256i load32(const std::uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

PIXMORA_TARGET_AVX2 void mean4Avx2(std::uint8_t* out, const std::uint8_t* a, const std::uint8_t* b,
                                   const std::uint8_t* c, const std::uint8_t* d, int bytes, int maxStep) {
    int i = 0;
    if (maxStep >= 32) {
        const __m256i one = _mm256_set1_epi8(1);
        for (; i + 32 <= bytes; i += 32) {
            const __m256i va = load32(a + i), vb = load32(b + i), vc = load32(c + i), vd = load32(d + i);
            const __m256i x1 = _mm256_xor_si256(va, vb), x2 = _mm256_xor_si256(vc, vd);
            const __m256i h1 = _mm256_sub_epi8(_mm256_avg_epu8(va, vb), _mm256_and_si256(x1, one));
            const __m256i h2 = _mm256_sub_epi8(_mm256_avg_epu8(vc, vd), _mm256_and_si256(x2, one));
            const __m256i carry =
                _mm256_and_si256(_mm256_and_si256(x1, x2), _mm256_and_si256(_mm256_xor_si256(h1, h2), one));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                                _mm256_add_epi8(floorMean(h1, h2, one), carry));
        }
    }
    mean4Sse2(out + i, a + i, b + i, c + i, d + i, bytes - i, maxStep);
}

PIXMORA_TARGET_AVX2 int embossSteps32(std::uint8_t* out, const std::uint8_t* row, const std::uint8_t* other,
                                      int i, int end) {
    const __m256i ones = _mm256_set1_epi8(-1), one = _mm256_set1_epi8(1);
    for (; i + 32 <= end; i += 32)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                            floorMean(load32(row + i), _mm256_xor_si256(load32(other + i), ones), one));
    return i;
}

PIXMORA_TARGET_AVX2 void embossAvx2(std::uint8_t* out, const std::uint8_t* row, const std::uint8_t* other,
                                    int width) {
    const int shifted = embossShifted(width);
    int i = embossSteps32(out, row, other + 9, 0, shifted);
    i = embossSteps16(out, row, other + 9, i, shifted);
    embossBytes(out, row, other + 9, i, shifted);
    embossBytes(out, row, other, shifted, 3 * width);
}

// --- AVX-512 ----------------------------------------------------------------------------------------------

PIXMORA_TARGET_AVX512 inline __m512i floorMean(__m512i a, __m512i b, __m512i one) {
    return _mm512_sub_epi8(_mm512_avg_epu8(a, b), _mm512_and_si512(_mm512_xor_si512(a, b), one));
}

// The mean of four, with the carry x1 & x2 & (h1 ^ h2) & 1 taken in one ternary-logic step.
PIXMORA_TARGET_AVX512 inline __m512i mean4Of(__m512i a, __m512i b, __m512i c, __m512i d, __m512i one) {
    const __m512i x1 = _mm512_xor_si512(a, b), x2 = _mm512_xor_si512(c, d);
    const __m512i h1 = _mm512_sub_epi8(_mm512_avg_epu8(a, b), _mm512_and_si512(x1, one));
    const __m512i h2 = _mm512_sub_epi8(_mm512_avg_epu8(c, d), _mm512_and_si512(x2, one));
    const __m512i x3 = _mm512_xor_si512(h1, h2);
    const __m512i carry = _mm512_and_si512(_mm512_ternarylogic_epi32(x1, x2, x3, 0x80), one);
    return _mm512_add_epi8(_mm512_sub_epi8(_mm512_avg_epu8(h1, h2), _mm512_and_si512(x3, one)), carry);
}

PIXMORA_TARGET_AVX512 void mean4Avx512(std::uint8_t* out, const std::uint8_t* a, const std::uint8_t* b,
                                       const std::uint8_t* c, const std::uint8_t* d, int bytes, int maxStep) {
    if (maxStep < 64) {
        mean4Avx2(out, a, b, c, d, bytes, maxStep);
        return;
    }
    const __m512i one = _mm512_set1_epi8(1);
    for (int i = 0; i < bytes; i += 64) {
        const int left = bytes - i;
        const __m512i r = mean4Of(loadBytes(a + i, left), loadBytes(b + i, left), loadBytes(c + i, left),
                                  loadBytes(d + i, left), one);
        storeBytes(out + i, r, left);
    }
}

PIXMORA_TARGET_AVX512 void embossRange512(std::uint8_t* out, const std::uint8_t* row,
                                          const std::uint8_t* other, int begin, int end) {
    const __m512i ones = _mm512_set1_epi8(-1), one = _mm512_set1_epi8(1);
    for (int i = begin; i < end; i += 64) {
        const int left = end - i;
        storeBytes(
            out + i,
            floorMean(loadBytes(row + i, left), _mm512_xor_si512(loadBytes(other + i, left), ones), one),
            left);
    }
}

PIXMORA_TARGET_AVX512 void embossAvx512(std::uint8_t* out, const std::uint8_t* row, const std::uint8_t* other,
                                        int width) {
    const int shifted = embossShifted(width);
    embossRange512(out, row, other + 9, 0, shifted);
    embossBytes(out, row, other, shifted, 3 * width);
}
#endif

constexpr ByteMeans Scalar{&mean4Scalar, &embossScalar};
#if PIXMORA_X86
constexpr ByteMeans Sse2{&mean4Sse2, &embossSse2};
constexpr ByteMeans Avx2{&mean4Avx2, &embossAvx2};
constexpr ByteMeans Avx512{&mean4Avx512, &embossAvx512};
#endif

} // namespace

const ByteMeans& byteMeans() {
    switch (kernelLevel()) {
#if PIXMORA_X86
    case KernelLevel::Avx512:
        return Avx512;
    case KernelLevel::Avx2:
        return Avx2;
    case KernelLevel::Sse2:
        return Sse2;
#endif
    default:
        return Scalar;
    }
}

} // namespace pixmora
