// Tone row kernels for AVX2. Without a byte permute across the register a 256-entry table costs sixteen
// in-lane shuffles and as many selects per vector; gathers of 32-bit lanes are cheaper, but still cost
// about as much as a handful of vector instructions per lane. So the tables are reshaped, once per
// setting, to need few lanes per pixel: one read gives two channels at once, or two channels' share of the
// grey sum with its rounding bits, or the 16-bit sums of two bytes before their noise, or a channel with
// its noise and every step after it. The rest is lane arithmetic, eight pixels a step, one per lane (blue,
// green, red and a spare byte); the last pixels of a row go through a small buffer so that no step reads
// or writes beyond the row.
#include "ToneKernels.h"

#include <algorithm>
#include <cstring>

#if PIXMORA_X86
#include <immintrin.h>
#endif

namespace pixmora::tone {

#if PIXMORA_X86
namespace {

// A gather merges into its destination register, so it waits for whatever last wrote that register,
// often the previous step's result. Starting from a zeroed register keeps the steps apart; the all-ones
// mask is hidden from the compiler, which would otherwise see that nothing is merged and drop the zero.
PIXMORA_TARGET_AVX2 inline __m256i gather(const void* base, __m256i index, int scale) {
    const int* table = static_cast<const int*>(base);
    __m256i all = _mm256_set1_epi32(-1);
    asm("" : "+x"(all));
    const __m256i zero = _mm256_setzero_si256();
    switch (scale) {
    case 1:
        return _mm256_mask_i32gather_epi32(zero, table, index, all, 1);
    case 2:
        return _mm256_mask_i32gather_epi32(zero, table, index, all, 2);
    default:
        return _mm256_mask_i32gather_epi32(zero, table, index, all, 4);
    }
}

enum class WideShape { Pairs, Grey, NoiseSums, Noise };

// `first` is the table before any coupling step. The tables have 65536 entries, so they are built in
// vectors too.
PIXMORA_TARGET_AVX2 void buildWideTables(const Tables& t, const std::uint8_t (&first)[256], WideShape shape,
                                         WideTables& w) {
    switch (shape) {
    case WideShape::Pairs: {
        std::uint16_t low[256];
        for (int c = 0; c < 256; ++c)
            low[c] = first[c];
        for (int hi = 0; hi < 256; ++hi) {
            const auto high = static_cast<std::uint16_t>(first[hi] << 8);
            std::uint16_t* row = w.pairs.data() + (hi << 8);
            for (int lo = 0; lo < 256; ++lo)
                row[lo] = low[lo] | high;
        }
        w.pairs[65536] = 0;
        for (int c = 0; c < 256; ++c)
            w.red[c] = static_cast<std::uint32_t>(first[c]) << 16;
        break;
    }
    case WideShape::Grey: {
        const GrayTables& gray = grayTables();
        alignas(32) std::int32_t index[256];
        for (int c = 0; c < 256; ++c)
            index[c] = first[c];
        for (int r = 0; r < 256; ++r) {
            const std::uint8_t* bits = gray.halfRoundsUp.data() + (first[r] << 8);
            std::uint32_t* row = w.greyPairs.data() + (r << 8);
            const __m256i red = _mm256_set1_epi32(30 * first[r] + 49);
            for (int g = 0; g < 256; g += 8) {
                const __m256i green = _mm256_load_si256(reinterpret_cast<const __m256i*>(index + g));
                const __m256i halves = _mm256_and_si256(gather(bits, green, 1), _mm256_set1_epi32(0xFF));
                const __m256i sum = _mm256_add_epi32(red, _mm256_mullo_epi32(green, _mm256_set1_epi32(59)));
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(row + g),
                                    _mm256_or_si256(sum, _mm256_slli_epi32(halves, 16)));
            }
        }
        for (int b = 0; b < 256; ++b)
            w.greyBlue[b] = static_cast<std::uint32_t>(11 * first[b]) |
                            static_cast<std::uint32_t>(16 + first[b] / 100) << 16;
        break;
    }
    case WideShape::NoiseSums: {
        std::uint32_t low[256];
        for (int c = 0; c < 256; ++c)
            low[c] = static_cast<std::uint16_t>(t.sumPlain[c]);
        for (int hi = 0; hi < 256; ++hi) {
            const std::uint32_t high = static_cast<std::uint32_t>(static_cast<std::uint16_t>(t.sumPlain[hi]))
                                       << 16;
            std::uint32_t* row = w.sumPairs.data() + (hi << 8);
            for (int lo = 0; lo < 256; ++lo)
                row[lo] = low[lo] | high;
        }
        break;
    }
    case WideShape::Noise:
        // Each row is a window of afterNoise starting at the sum, held at the ends by the clamp.
        for (int c = 0; c < 256; ++c) {
            std::uint8_t* row = w.withNoise.data() + (c << 8);
            const int sum = t.sumPlain[c];
            const int below = std::clamp(-sum, 0, 256);               // n with sum + n < 0
            const int inside = std::clamp(256 - sum, 0, 256) - below; // then up to 255
            std::memset(row, t.afterNoise[0], static_cast<std::size_t>(below));
            std::memcpy(row + below, t.afterNoise + std::max(sum, 0), static_cast<std::size_t>(inside));
            std::memset(row + below + inside, t.afterNoise[255],
                        static_cast<std::size_t>(256 - below - inside));
        }
        std::fill(w.withNoise.end() - 3, w.withNoise.end(), std::uint8_t{0});
        break;
    }
}

// Per-lane shuffles: the same sixteen indices in both halves.
template <typename F> constexpr ByteIndex inLanes(F f) {
    return byteIndex([f](int j) { return f(j % 16); });
}

// Four packed pixels of each half into its four lanes, and back (bytes 12..15 of each half are left over).
constexpr ByteIndex ToLanes8 = inLanes([](int j) { return j % 4 < 3 ? 3 * (j / 4) + j % 4 : 0x80; });
constexpr ByteIndex FromLanes8 = inLanes([](int j) { return j < 12 ? 4 * (j / 3) + j % 3 : 0x80; });
constexpr ByteIndex GreyFromLanes8 = inLanes([](int j) { return j < 12 ? 4 * (j / 3) : 0x80; });
constexpr ByteIndex ThirdByteOfLane8 = inLanes([](int j) { return (j & ~3) + 2; });
// Channels `Low` and `High` (-1: none) of each pixel into bytes 0 and 1 of its lane, the rest zero: the
// table index of a lane. Taken from the packed pixels, or from lanes already spread.
template <bool FromLanes, int Low, int High>
constexpr ByteIndex IndexOf8 = inLanes([](int j) {
    const int pixel = FromLanes ? 4 * (j / 4) : 3 * (j / 4);
    return j % 4 == 0 ? pixel + Low : (j % 4 == 1 && High >= 0 ? pixel + High : 0x80);
});
// Channel c of each lane to byte 0 or byte 1 of the lane, the rest zero: a [c << 8 | n] index.
template <int Channel, int To>
constexpr ByteIndex ChannelTo = inLanes([](int j) { return j % 4 == To ? (j & ~3) + Channel : 0x80; });
// Byte 0 of each lane (a gathered table byte) to byte c.
template <int Channel>
constexpr ByteIndex GatheredTo = inLanes([](int j) { return j % 4 == Channel ? j & ~3 : 0x80; });
// Byte 0 of each lane to bytes 4k..4k+3 of its half.
template <int Slot>
constexpr ByteIndex GatheredToSlot = inLanes([](int j) { return j / 4 == Slot ? 4 * (j % 4) : 0x80; });

PIXMORA_TARGET_AVX2 inline __m256i loadIndex256(const ByteIndex& index) {
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(index.at));
}

// Eight packed pixels, four in each half. Reads 28 bytes.
PIXMORA_TARGET_AVX2 inline __m256i loadPacked8(const std::uint8_t* p) {
    return _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12)), 1);
}

// Eight packed pixels into eight lanes.
PIXMORA_TARGET_AVX2 inline __m256i loadLanes8(const std::uint8_t* p) {
    return _mm256_shuffle_epi8(loadPacked8(p), loadIndex256(ToLanes8));
}

// Eight lanes back to packed pixels through `fromLanes`, each half with a store of its own. Writes 28
// bytes: the 4 after the pixels are rewritten by the next step.
PIXMORA_TARGET_AVX2 inline void storeLanes8(std::uint8_t* p, __m256i lanes, const ByteIndex& fromLanes) {
    const __m256i halves = _mm256_shuffle_epi8(lanes, loadIndex256(fromLanes));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(halves));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 12), _mm256_extracti128_si256(halves, 1));
}

// The weighted sum of each lane's blue, green and red bytes (weights up to 127).
PIXMORA_TARGET_AVX2 inline __m256i weightedSum8(__m256i lanes, int blue, int green, int red) {
    const __m256i weights = _mm256_set1_epi32(blue | green << 8 | red << 16);
    return _mm256_madd_epi16(_mm256_maddubs_epi16(lanes, weights), _mm256_set1_epi16(1));
}

// How the saturation step d * F div 255 (d = |c - m| <= 255) is taken: with F = 255 w + f (f < 255) it is
// w d + d * M div 65536 for M = ceil(f * 65536 / 255).
enum class StepShape {
    Fraction, // w = 0: the fraction alone
    Reflect,  // w = 1 and no flip: a step of d from the mean reaches c itself, so the rest is taken from c
    General,  // anything else, in 16 bits
};

// What a row of the lane kernels keeps in registers.
struct Avx2Registers {
    __m256i invert, solarLimit;
    __m256i stepWhole, stepFraction; // the saturation step
    StepShape step;
    bool flips;   // a negative saturation factor: channels move towards the mean
    bool inverts; // the invert after grey scale or saturation
};

PIXMORA_TARGET_AVX2 inline Avx2Registers loadAvx2Registers(const Tables& t) {
    const StepShape step = t.stepWhole == 0                         ? StepShape::Fraction
                           : t.stepWhole == 1 && !t.saturationFlips ? StepShape::Reflect
                                                                    : StepShape::General;
    return {_mm256_set1_epi8(static_cast<char>(t.invertMask)),
            _mm256_set1_epi32(t.solarLimit),
            _mm256_set1_epi16(static_cast<short>(t.stepWhole)),
            _mm256_set1_epi16(static_cast<short>(t.stepFraction)),
            step,
            t.saturationFlips,
            t.invertMask != 0};
}

// Inverts the bright pixels before the tables, which with posterize off makes the plain tables the solar
// ones.
PIXMORA_TARGET_AVX2 inline __m256i solarize8(__m256i lanes, __m256i limit) {
    const __m256i bright = _mm256_cmpgt_epi32(weightedSum8(lanes, 1, 1, 1), limit);
    return _mm256_xor_si256(lanes, _mm256_and_si256(bright, _mm256_set1_epi32(0xFFFFFF)));
}

// min(d * F div 255, 255) for 16-bit d <= 255.
PIXMORA_TARGET_AVX2 inline __m256i saturationStep16(__m256i d, const Avx2Registers& k) {
    const __m256i whole = _mm256_mullo_epi16(d, k.stepWhole);
    return _mm256_min_epu16(_mm256_add_epi16(whole, _mm256_mulhi_epu16(d, k.stepFraction)),
                            _mm256_set1_epi16(255));
}

// Each channel moved away from the pixel's mean by the step for its distance, then inverted or not. With
// U all ones where the channel is at or above the mean, the step up (c >= m) or down is
// subs(m ^ U, step) ^ U: a step up is a step down of the inverted mean, inverted back.
PIXMORA_TARGET_AVX2 inline __m256i saturate8(__m256i lanes, const Avx2Registers& k) {
    // The sum times 21846 / 65536 is the sum div 3, in the third byte.
    const __m256i third =
        _mm256_madd_epi16(_mm256_maddubs_epi16(lanes, _mm256_set1_epi32(0x010101)), _mm256_set1_epi16(21846));
    const __m256i mean = _mm256_shuffle_epi8(third, loadIndex256(ThirdByteOfLane8));
    const __m256i above = _mm256_subs_epu8(lanes, mean), below = _mm256_subs_epu8(mean, lanes);
    const __m256i distance = _mm256_or_si256(above, below), zero = _mm256_setzero_si256();
    const __m256i low = _mm256_unpacklo_epi8(distance, zero), high = _mm256_unpackhi_epi8(distance, zero);
    __m256i from = mean, step;
    if (k.step == StepShape::General) {
        step = _mm256_packus_epi16(saturationStep16(low, k), saturationStep16(high, k));
    } else {
        step = _mm256_packus_epi16(_mm256_mulhi_epu16(low, k.stepFraction),
                                   _mm256_mulhi_epu16(high, k.stepFraction));
        if (k.step == StepShape::Reflect)
            from = lanes;
    }
    const __m256i atOrAbove = _mm256_cmpeq_epi8(below, zero);
    from = _mm256_xor_si256(from, atOrAbove);
    // A negative factor turns the direction around.
    __m256i result =
        _mm256_xor_si256(k.flips ? _mm256_adds_epu8(from, step) : _mm256_subs_epu8(from, step), atOrAbove);
    if (k.inverts)
        result = _mm256_xor_si256(result, k.invert);
    return result;
}

// The grey value of each lane from its three channels, exact halves rounded by the table.
PIXMORA_TARGET_AVX2 inline __m256i greyOfLanes8(__m256i lanes, const GrayTables& gray) {
    // (30R + 59G + 11B + 50) div 100 as a multiply-high, exact up to 25550; the lanes' high halves are 0.
    const __m256i biased = _mm256_add_epi32(weightedSum8(lanes, 11, 59, 30), _mm256_set1_epi32(50));
    __m256i grey = _mm256_srli_epi32(_mm256_mulhi_epu16(biased, _mm256_set1_epi32(41944)), 6);
    const __m256i halves = _mm256_cmpeq_epi32(_mm256_mullo_epi16(grey, _mm256_set1_epi32(100)), biased);
    // About one group in ten holds a half; they take the table's bit for the hundreds of blue.
    if (!_mm256_testz_si256(halves, halves)) {
        const __m256i one = _mm256_set1_epi32(1), zero = _mm256_setzero_si256();
        const __m256i bits =
            _mm256_mask_i32gather_epi32(zero, reinterpret_cast<const int*>(gray.halfRoundsUp.data()),
                                        _mm256_srli_epi32(lanes, 8), halves, 1);
        const __m256i blue = _mm256_and_si256(lanes, _mm256_set1_epi32(0xFF));
        const __m256i hundreds =
            _mm256_sub_epi32(zero, _mm256_add_epi32(_mm256_cmpgt_epi32(blue, _mm256_set1_epi32(99)),
                                                    _mm256_cmpgt_epi32(blue, _mm256_set1_epi32(199))));
        const __m256i up = _mm256_and_si256(_mm256_srlv_epi32(bits, hundreds), one);
        grey = _mm256_sub_epi32(grey, _mm256_andnot_si256(up, _mm256_and_si256(halves, one)));
    }
    return grey;
}

template <bool FromLanes, int Low, int High> PIXMORA_TARGET_AVX2 inline __m256i indexOf8(__m256i pixels) {
    return _mm256_shuffle_epi8(pixels, loadIndex256(IndexOf8<FromLanes, Low, High>));
}

// One channel of eight pixels after its noise and the per-channel steps, in its byte of the lanes.
template <int Channel>
PIXMORA_TARGET_AVX2 inline __m256i noisyChannel8(__m256i lanes, __m256i noise, const WideTables& w) {
    const __m256i index = _mm256_or_si256(_mm256_shuffle_epi8(lanes, loadIndex256(ChannelTo<Channel, 1>)),
                                          _mm256_shuffle_epi8(noise, loadIndex256(ChannelTo<Channel, 0>)));
    return _mm256_shuffle_epi8(gather(w.withNoise.data(), index, 1), loadIndex256(GatheredTo<Channel>));
}

// Eight pixels.
template <bool Solar, bool Noise, Coupling C>
PIXMORA_TARGET_AVX2 inline void toneGroup8(const std::uint8_t* in, const std::uint8_t* noise,
                                           std::uint8_t* out, const WideTables& w, const GrayTables* gray,
                                           const Avx2Registers& k) {
    // Without solorize the table indices come straight from the packed pixels.
    __m256i lanes = Solar ? solarize8(loadLanes8(in), k.solarLimit) : loadPacked8(in);
    if constexpr (!Noise && C == Coupling::Gray) {
        // The grey value straight from two reads, its rounding included. The lanes' high halves collect
        // table bits, which the 16-bit steps keep out of the low ones.
        const __m256i pair = gather(w.greyPairs.data(), indexOf8<Solar, 1, 2>(lanes), 4);
        const __m256i blue = gather(w.greyBlue, indexOf8<Solar, 0, -1>(lanes), 4);
        const __m256i up =
            _mm256_and_si256(_mm256_srlv_epi32(pair, _mm256_srli_epi32(blue, 16)), _mm256_set1_epi32(1));
        const __m256i sum = _mm256_add_epi32(_mm256_add_epi32(pair, blue), up);
        const __m256i grey =
            _mm256_srli_epi16(_mm256_mulhi_epu16(sum, _mm256_set1_epi16(-23592)), 6); // 41944
        storeLanes8(out, _mm256_xor_si256(grey, k.invert), GreyFromLanes8);
        return;
    }
    if constexpr (Noise) {
        if constexpr (!Solar)
            lanes = _mm256_shuffle_epi8(lanes, loadIndex256(ToLanes8));
        const __m256i n = loadLanes8(noise);
        lanes = _mm256_or_si256(_mm256_or_si256(noisyChannel8<0>(lanes, n, w), noisyChannel8<1>(lanes, n, w)),
                                noisyChannel8<2>(lanes, n, w));
    } else {
        const __m256i blueGreen = gather(w.pairs.data(), indexOf8<Solar, 0, 1>(lanes), 2);
        const __m256i red = gather(w.red, indexOf8<Solar, 2, -1>(lanes), 4);
        lanes = _mm256_blend_epi16(blueGreen, red, 0xAA);
    }
    if constexpr (C == Coupling::Gray)
        storeLanes8(out, _mm256_xor_si256(greyOfLanes8(lanes, *gray), k.invert), GreyFromLanes8);
    else if constexpr (C == Coupling::Saturation)
        storeLanes8(out, saturate8(lanes, k), FromLanes8);
    else
        storeLanes8(out, lanes, FromLanes8);
}

template <bool Solar, bool Noise, Coupling C>
PIXMORA_TARGET_AVX2 void generalRow256(const TonePlan& plan, const std::uint8_t* in,
                                       const std::uint8_t* noise, std::uint8_t* out, int width) {
    const WideTables& w = *plan.wide;
    const GrayTables* gray = plan.gray;
    const Avx2Registers k = loadAvx2Registers(plan.tables);
    int x = 0;
    // A step reads and writes 28 bytes.
    for (; width - x >= 10; x += 8)
        toneGroup8<Solar, Noise, C>(in + 3 * x, Noise ? noise + 3 * x : nullptr, out + 3 * x, w, gray, k);
    if (x == width)
        return;
    const std::size_t bytes = static_cast<std::size_t>(3 * (width - x));
    alignas(32) std::uint8_t pixels[64] = {}, noiseBytes[64] = {}, result[64];
    std::memcpy(pixels, in + 3 * x, bytes);
    if constexpr (Noise)
        std::memcpy(noiseBytes, noise + 3 * x, bytes);
    for (std::size_t i = 0; i < bytes; i += 24)
        toneGroup8<Solar, Noise, C>(pixels + i, noiseBytes + i, result + i, w, gray, k);
    std::memcpy(out + 3 * x, result, bytes);
}

// Thirty-two bytes through a table of byte pairs: two gathers.
PIXMORA_TARGET_AVX2 inline void pairsStep(const std::uint8_t* in, std::uint8_t* out, const WideTables& w) {
    const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
    const __m256i mask = _mm256_set1_epi32(0xFFFF);
    const __m256i low = _mm256_and_si256(
        gather(w.pairs.data(), _mm256_cvtepu16_epi32(_mm256_castsi256_si128(bytes)), 2), mask);
    const __m256i high = _mm256_and_si256(
        gather(w.pairs.data(), _mm256_cvtepu16_epi32(_mm256_extracti128_si256(bytes, 1)), 2), mask);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                        _mm256_permute4x64_epi64(_mm256_packus_epi32(low, high), 0xD8));
}

// Thirty-two bytes plus their noise when no step follows the noise but perhaps the invert: two gathers of
// 16-bit sums, and the clamp is the saturating pack.
PIXMORA_TARGET_AVX2 inline void noiseSumsStep(const std::uint8_t* in, const std::uint8_t* noise,
                                              std::uint8_t* out, const WideTables& w, __m256i invert) {
    const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
    const __m256i n = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(noise));
    const __m256i low =
        _mm256_add_epi16(gather(w.sumPairs.data(), _mm256_cvtepu16_epi32(_mm256_castsi256_si128(bytes)), 4),
                         _mm256_cvtepu8_epi16(_mm256_castsi256_si128(n)));
    const __m256i high = _mm256_add_epi16(
        gather(w.sumPairs.data(), _mm256_cvtepu16_epi32(_mm256_extracti128_si256(bytes, 1)), 4),
        _mm256_cvtepu8_epi16(_mm256_extracti128_si256(n, 1)));
    _mm256_storeu_si256(
        reinterpret_cast<__m256i*>(out),
        _mm256_xor_si256(_mm256_permute4x64_epi64(_mm256_packus_epi16(low, high), 0xD8), invert));
}

// Eight [c << 8 | n] indices through the table of noise and what follows it, the results moved to bytes
// 4k..4k+3 of each half.
template <int Slot> PIXMORA_TARGET_AVX2 inline __m256i withNoise8(__m128i indices, const WideTables& w) {
    return _mm256_shuffle_epi8(gather(w.withNoise.data(), _mm256_cvtepu16_epi32(indices), 1),
                               loadIndex256(GatheredToSlot<Slot>));
}

// Thirty-two bytes and their noise through the table of both: four gathers.
PIXMORA_TARGET_AVX2 inline void noiseStep(const std::uint8_t* in, const std::uint8_t* noise,
                                          std::uint8_t* out, const WideTables& w) {
    const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
    const __m256i n = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(noise));
    // Bytes 0..7 and 16..23, and 8..15 and 24..31, as 16-bit indices.
    const __m256i first = _mm256_unpacklo_epi8(n, c), second = _mm256_unpackhi_epi8(n, c);
    const __m256i slots =
        _mm256_or_si256(_mm256_or_si256(withNoise8<0>(_mm256_castsi256_si128(first), w),
                                        withNoise8<1>(_mm256_castsi256_si128(second), w)),
                        _mm256_or_si256(withNoise8<2>(_mm256_extracti128_si256(first, 1), w),
                                        withNoise8<3>(_mm256_extracti128_si256(second, 1), w)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                        _mm256_permutevar8x32_epi32(slots, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7)));
}

enum class ByteRow { Table, NoiseSums, Noise };

template <ByteRow Kind>
PIXMORA_TARGET_AVX2 inline void bytesStep(const std::uint8_t* in, const std::uint8_t* noise,
                                          std::uint8_t* out, const WideTables& w, __m256i invert) {
    if constexpr (Kind == ByteRow::Noise)
        noiseStep(in, noise, out, w);
    else if constexpr (Kind == ByteRow::NoiseSums)
        noiseSumsStep(in, noise, out, w, invert);
    else
        pairsStep(in, out, w);
}

// A row that needs no pixel lanes: one table for every byte, or noise without a coupling step.
template <ByteRow Kind>
PIXMORA_TARGET_AVX2 void rowBytes256(const std::uint8_t* in, const std::uint8_t* noise, std::uint8_t* out,
                                     int bytes, const WideTables& w, std::uint8_t invertMask) {
    constexpr bool Noise = Kind != ByteRow::Table;
    const __m256i invert = _mm256_set1_epi8(static_cast<char>(invertMask));
    int i = 0;
    for (; i + 32 <= bytes; i += 32)
        bytesStep<Kind>(in + i, Noise ? noise + i : nullptr, out + i, w, invert);
    if (i == bytes)
        return;
    const std::size_t rest = static_cast<std::size_t>(bytes - i);
    alignas(32) std::uint8_t from[32] = {}, noiseFrom[32] = {}, to[32];
    std::memcpy(from, in + i, rest);
    if constexpr (Noise)
        std::memcpy(noiseFrom, noise + i, rest);
    bytesStep<Kind>(from, noiseFrom, to, w, invert);
    std::memcpy(out + i, to, rest);
}

PIXMORA_TARGET_AVX2 void tableRow256(const TonePlan& plan, const std::uint8_t* in, const std::uint8_t*,
                                     std::uint8_t* out, int width) {
    rowBytes256<ByteRow::Table>(in, nullptr, out, 3 * width, *plan.wide, 0);
}

PIXMORA_TARGET_AVX2 void noiseRow256(const TonePlan& plan, const std::uint8_t* in, const std::uint8_t* noise,
                                     std::uint8_t* out, int width) {
    rowBytes256<ByteRow::Noise>(in, noise, out, 3 * width, *plan.wide, 0);
}

PIXMORA_TARGET_AVX2 void noiseSumsRow256(const TonePlan& plan, const std::uint8_t* in,
                                         const std::uint8_t* noise, std::uint8_t* out, int width) {
    rowBytes256<ByteRow::NoiseSums>(in, noise, out, 3 * width, *plan.wide, plan.tables.afterNoise[0]);
}

struct Avx2Kernels {
    // Noise alone needs no pixel lanes.
    template <bool Solar, bool Noise, Coupling C>
    static constexpr ToneRow row =
        Noise && !Solar && C == Coupling::None ? &noiseRow256 : &generalRow256<Solar, Noise, C>;
};

} // namespace

ToneRow avx2ToneRow(TonePlan& plan) {
    if (plan.brightnessOnly)
        return nullptr; // a saturating add is memory-bound already
    const Tables& t = plan.tables;
    plan.wide.reset(new WideTables); // left uninitialised: a shape fills only what its kernels read
    WideTables& wide = *plan.wide;
    if (plan.tableOnly) {
        buildWideTables(t, t.plain, WideShape::Pairs, wide);
        return &tableRow256;
    }
    const bool sumsOnly = plan.noise && !plan.solar && plan.coupling == Coupling::None && noiseIsLast(t);
    const WideShape shape = sumsOnly ? WideShape::NoiseSums
                            : plan.noise
                                ? WideShape::Noise
                                : (plan.coupling == Coupling::Gray ? WideShape::Grey : WideShape::Pairs);
    buildWideTables(t, t.plain, shape, wide);
    if (sumsOnly)
        return &noiseSumsRow256;
    return pickShape<Avx2Kernels>(plan);
}
#else
ToneRow avx2ToneRow(TonePlan&) {
    return nullptr;
}
#endif

} // namespace pixmora::tone
