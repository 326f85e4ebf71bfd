#include "ByteMeans.h"

#include "KernelLevel.h"
#include "Vector512.h"

#if PIXMORA_X86
#include <immintrin.h>
#endif

namespace pixmora {

namespace {

// --- plain ----------------------------------------------------------------------------------------------

// The exclusive-or masks that take each row to negated bytes, and the result back to its row's storage.
struct Flips {
    std::uint8_t a, b, c, d, out;
    explicit Flips(Negated n)
        : a(n.a ? 0 : 0xFF), b(n.b ? 0 : 0xFF), c(n.c ? 0 : 0xFF), d(n.d ? 0 : 0xFF), out(n.out ? 0 : 0xFF) {}
    bool none() const { return (a | b | c | d | out) == 0; }
};

void mean4Scalar(std::uint8_t* out, const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c,
                 const std::uint8_t* d, int bytes, int, Negated negated) {
    const Flips f(negated);
    for (int i = 0; i < bytes; ++i)
        out[i] = static_cast<std::uint8_t>(
            f.out ^ (((a[i] ^ f.a) + (b[i] ^ f.b) + (c[i] ^ f.c) + (d[i] ^ f.d) + 3) >> 2));
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

// (row + 255 - other) div 2 is 255 minus the rounded-up mean of 255 - row and other.
inline __m128i embossOf(__m128i row, __m128i other, __m128i ones) {
    return _mm_xor_si128(_mm_avg_epu8(_mm_xor_si128(row, ones), other), ones);
}

// The ceil mean of four rows of negated bytes.
inline __m128i ceilMean(__m128i a, __m128i b, __m128i c, __m128i d, __m128i one) {
    const __m128i p1 = _mm_avg_epu8(a, b), p2 = _mm_avg_epu8(c, d);
    const __m128i odd = _mm_and_si128(_mm_and_si128(_mm_xor_si128(a, b), _mm_xor_si128(c, d)),
                                      _mm_and_si128(_mm_xor_si128(p1, p2), one));
    return _mm_sub_epi8(_mm_avg_epu8(p1, p2), odd);
}

inline __m128i load16(const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

void mean4Sse2(std::uint8_t* out, const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c,
               const std::uint8_t* d, int bytes, int maxStep, Negated negated) {
    int i = 0;
    if (maxStep >= 16) {
        const Flips f(negated);
        const __m128i one = _mm_set1_epi8(1);
        const __m128i fa = _mm_set1_epi8(static_cast<char>(f.a)), fb = _mm_set1_epi8(static_cast<char>(f.b));
        const __m128i fc = _mm_set1_epi8(static_cast<char>(f.c)), fd = _mm_set1_epi8(static_cast<char>(f.d));
        const __m128i fo = _mm_set1_epi8(static_cast<char>(f.out));
        for (; i + 16 <= bytes; i += 16)
            _mm_storeu_si128(
                reinterpret_cast<__m128i*>(out + i),
                _mm_xor_si128(fo, ceilMean(_mm_xor_si128(load16(a + i), fa), _mm_xor_si128(load16(b + i), fb),
                                           _mm_xor_si128(load16(c + i), fc), _mm_xor_si128(load16(d + i), fd),
                                           one)));
    }
    mean4Scalar(out + i, a + i, b + i, c + i, d + i, bytes - i, maxStep, negated);
}

int embossSteps16(std::uint8_t* out, const std::uint8_t* row, const std::uint8_t* other, int i, int end) {
    const __m128i ones = _mm_set1_epi8(-1);
    for (; i + 16 <= end; i += 16)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         embossOf(load16(row + i), load16(other + i), ones));
    return i;
}

void embossSse2(std::uint8_t* out, const std::uint8_t* row, const std::uint8_t* other, int width) {
    const int shifted = embossShifted(width);
    const int i = embossSteps16(out, row, other + 9, 0, shifted);
    embossBytes(out, row, other + 9, i, shifted);
    embossBytes(out, row, other, shifted, 3 * width);
}

// --- AVX2 -------------------------------------------------------------------------------------------------

PIXMORA_TARGET_AVX2 inline __m256i embossOf(__m256i row, __m256i other, __m256i ones) {
    return _mm256_xor_si256(_mm256_avg_epu8(_mm256_xor_si256(row, ones), other), ones);
}

PIXMORA_TARGET_AVX2 inline __m256i load32(const std::uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

PIXMORA_TARGET_AVX2 void mean4Avx2(std::uint8_t* out, const std::uint8_t* a, const std::uint8_t* b,
                                   const std::uint8_t* c, const std::uint8_t* d, int bytes, int maxStep,
                                   Negated negated) {
    int i = 0;
    if (maxStep >= 32) {
        const Flips f(negated);
        const __m256i one = _mm256_set1_epi8(1);
        const __m256i fa = _mm256_set1_epi8(static_cast<char>(f.a)),
                      fb = _mm256_set1_epi8(static_cast<char>(f.b));
        const __m256i fc = _mm256_set1_epi8(static_cast<char>(f.c)),
                      fd = _mm256_set1_epi8(static_cast<char>(f.d));
        const __m256i fo = _mm256_set1_epi8(static_cast<char>(f.out));
        for (; i + 32 <= bytes; i += 32) {
            const __m256i va = _mm256_xor_si256(load32(a + i), fa), vb = _mm256_xor_si256(load32(b + i), fb);
            const __m256i vc = _mm256_xor_si256(load32(c + i), fc), vd = _mm256_xor_si256(load32(d + i), fd);
            const __m256i p1 = _mm256_avg_epu8(va, vb), p2 = _mm256_avg_epu8(vc, vd);
            const __m256i odd =
                _mm256_and_si256(_mm256_and_si256(_mm256_xor_si256(va, vb), _mm256_xor_si256(vc, vd)),
                                 _mm256_and_si256(_mm256_xor_si256(p1, p2), one));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                                _mm256_xor_si256(fo, _mm256_sub_epi8(_mm256_avg_epu8(p1, p2), odd)));
        }
    }
    mean4Sse2(out + i, a + i, b + i, c + i, d + i, bytes - i, maxStep, negated);
}

PIXMORA_TARGET_AVX2 int embossSteps32(std::uint8_t* out, const std::uint8_t* row, const std::uint8_t* other,
                                      int i, int end) {
    const __m256i ones = _mm256_set1_epi8(-1);
    for (; i + 32 <= end; i += 32)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                            embossOf(load32(row + i), load32(other + i), ones));
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

PIXMORA_TARGET_AVX512 inline __m512i embossOf(__m512i row, __m512i other, __m512i ones) {
    return _mm512_xor_si512(_mm512_avg_epu8(_mm512_xor_si512(row, ones), other), ones);
}

// The ceil mean of four rows of negated bytes, in eight operations: the odd-odd-odd test takes the low bit
// along with the first exclusive or ((a ^ b) & 1 is ternary logic 0x28) and ands the three in one step.
PIXMORA_TARGET_AVX512 inline __m512i ceilMean(__m512i a, __m512i b, __m512i c, __m512i d, __m512i one) {
    const __m512i p1 = _mm512_avg_epu8(a, b), p2 = _mm512_avg_epu8(c, d);
    const __m512i odd = _mm512_ternarylogic_epi32(_mm512_ternarylogic_epi32(a, b, one, 0x28),
                                                  _mm512_xor_si512(c, d), _mm512_xor_si512(p1, p2), 0x80);
    return _mm512_sub_epi8(_mm512_avg_epu8(p1, p2), odd);
}

template <bool Flip> PIXMORA_TARGET_AVX512 inline __m512i flip(__m512i v, __m512i mask) {
    return Flip ? _mm512_xor_si512(v, mask) : v;
}

// Rows that all stay negated need no exclusive or at all: the passes between the first and the last of a
// gaussian blur.
template <bool Flip>
PIXMORA_TARGET_AVX512 void mean4Rows512(std::uint8_t* out, const std::uint8_t* a, const std::uint8_t* b,
                                        const std::uint8_t* c, const std::uint8_t* d, int bytes, Flips f) {
    const __m512i one = _mm512_set1_epi8(1);
    const __m512i fa = _mm512_set1_epi8(static_cast<char>(f.a)),
                  fb = _mm512_set1_epi8(static_cast<char>(f.b));
    const __m512i fc = _mm512_set1_epi8(static_cast<char>(f.c)),
                  fd = _mm512_set1_epi8(static_cast<char>(f.d));
    const __m512i fo = _mm512_set1_epi8(static_cast<char>(f.out));
    for (int i = 0; i < bytes; i += 64) {
        const int left = bytes - i;
        const __m512i r =
            ceilMean(flip<Flip>(loadBytes(a + i, left), fa), flip<Flip>(loadBytes(b + i, left), fb),
                     flip<Flip>(loadBytes(c + i, left), fc), flip<Flip>(loadBytes(d + i, left), fd), one);
        storeBytes(out + i, flip<Flip>(r, fo), left);
    }
}

PIXMORA_TARGET_AVX512 void mean4Avx512(std::uint8_t* out, const std::uint8_t* a, const std::uint8_t* b,
                                       const std::uint8_t* c, const std::uint8_t* d, int bytes, int maxStep,
                                       Negated negated) {
    if (maxStep < 64) {
        mean4Avx2(out, a, b, c, d, bytes, maxStep, negated);
        return;
    }
    const Flips f(negated);
    if (f.none())
        mean4Rows512<false>(out, a, b, c, d, bytes, f);
    else
        mean4Rows512<true>(out, a, b, c, d, bytes, f);
}

PIXMORA_TARGET_AVX512 void embossRange512(std::uint8_t* out, const std::uint8_t* row,
                                          const std::uint8_t* other, int begin, int end) {
    const __m512i ones = _mm512_set1_epi8(-1);
    for (int i = begin; i < end; i += 64) {
        const int left = end - i;
        storeBytes(out + i, embossOf(loadBytes(row + i, left), loadBytes(other + i, left), ones), left);
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
