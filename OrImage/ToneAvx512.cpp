// Tone row kernels for AVX-512 (F, BW and VBMI). Sixteen pixels per step, each spread to a 32-bit lane
// (blue, green, red and a spare byte), so that the whole-pixel steps become lane arithmetic. A 256-entry
// table is two two-register byte permutes and a blend on the index's top bit. The last step of a row loads
// and stores only the bytes it owns.
#include "ToneKernels.h"
#include "Vector512.h"

#include <algorithm>
#include <cstdint>

#if PIXMORA_X86
#include <immintrin.h>
#endif

namespace pixmora::tone {

#if PIXMORA_X86
namespace {

PIXMORA_VECTOR_CODE_BEGIN

// 48 bytes of packed pixels into 16 lanes, and back; a grey pixel repeats its lane's first byte.
constexpr ByteIndex ToLanes = byteIndex([](int j) { return 3 * (j / 4) + std::min(j % 4, 2); });
constexpr ByteIndex FromLanes = byteIndex([](int j) { return j < 48 ? 4 * (j / 3) + j % 3 : 0; });
constexpr ByteIndex GreyFromLanes = byteIndex([](int j) { return j < 48 ? 4 * (j / 3) : 0; });
// Within each 128-bit block: the first byte of every lane into all four of its bytes.
constexpr ByteIndex FirstByteOfLane = byteIndex([](int j) { return j % 16 & ~3; });

PIXMORA_TARGET_AVX512 inline __m512i loadIndex(const ByteIndex& index) {
    return _mm512_load_si512(index.at);
}

struct Lut512 {
    __m512i part[4];
};

PIXMORA_TARGET_AVX512 inline Lut512 loadLut(const std::uint8_t (&table)[256]) {
    Lut512 lut;
    for (int i = 0; i < 4; ++i)
        lut.part[i] = _mm512_loadu_si512(table + 64 * i);
    return lut;
}

PIXMORA_TARGET_AVX512 inline __m512i lookup(const Lut512& lut, __m512i index) {
    const __m512i low = _mm512_permutex2var_epi8(lut.part[0], index, lut.part[1]);
    const __m512i high = _mm512_permutex2var_epi8(lut.part[2], index, lut.part[3]);
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(index), low, high);
}

// The weighted sum of each lane's blue, green and red bytes (weights up to 127).
PIXMORA_TARGET_AVX512 inline __m512i weightedSum(__m512i lanes, int blue, int green, int red) {
    const __m512i weights = _mm512_set1_epi32(blue | green << 8 | red << 16);
    return _mm512_madd_epi16(_mm512_maddubs_epi16(lanes, weights), _mm512_set1_epi16(1));
}

// Inverts the bright pixels before the tables: with posterize off, the solar tables are the plain ones
// read at 255 - c.
PIXMORA_TARGET_AVX512 inline __m512i solarize(__m512i lanes, __m512i limit) {
    const __mmask16 bright = _mm512_cmpgt_epi32_mask(weightedSum(lanes, 1, 1, 1), limit);
    return _mm512_mask_xor_epi32(lanes, bright, lanes, _mm512_set1_epi32(-1));
}

// The grey value of each lane, in its first byte, with exact halves rounded up; `halves` tells which lanes
// those are.
PIXMORA_TARGET_AVX512 inline __m512i greyLanes(__m512i lanes, __mmask16& halves) {
    // (30R + 59G + 11B + 50) div 100 as a multiply-high, exact up to 25550; the lanes' high halves are 0.
    const __m512i biased = _mm512_add_epi32(weightedSum(lanes, 11, 59, 30), _mm512_set1_epi32(50));
    const __m512i grey = _mm512_srli_epi32(_mm512_mulhi_epu16(biased, _mm512_set1_epi32(41944)), 6);
    halves = _mm512_cmpeq_epi32_mask(_mm512_mullo_epi16(grey, _mm512_set1_epi32(100)), biased);
    return grey;
}

// Rounds the exact halves down where the extended-precision sum does: the table holds, per red and green,
// one bit for each hundred of blue.
PIXMORA_TARGET_AVX512 inline __m512i roundHalves(__m512i grey, __m512i lanes, __mmask16 halves,
                                                 const GrayTables& t) {
    const __m512i one = _mm512_set1_epi32(1);
    const __m512i redGreen = _mm512_and_si512(_mm512_srli_epi32(lanes, 8), _mm512_set1_epi32(0xFFFF));
    const __m512i bits =
        _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), halves, redGreen, t.halfRoundsUp.data(), 1);
    const __m512i blue = _mm512_and_si512(lanes, _mm512_set1_epi32(0xFF));
    __m512i hundreds = _mm512_maskz_mov_epi32(_mm512_cmpge_epi32_mask(blue, _mm512_set1_epi32(100)), one);
    hundreds =
        _mm512_mask_add_epi32(hundreds, _mm512_cmpge_epi32_mask(blue, _mm512_set1_epi32(200)), hundreds, one);
    const __mmask16 down = _mm512_mask_testn_epi32_mask(halves, _mm512_srlv_epi32(bits, hundreds), one);
    return _mm512_mask_sub_epi32(grey, down, grey, one);
}

// Each channel moved away from the pixel's mean m by the step for its distance |c - m|, clamped; the
// direction picks a saturating add or subtract.
PIXMORA_TARGET_AVX512 inline __m512i saturate(__m512i lanes, const Lut512& steps, __mmask64 flip) {
    const __m512i sum = weightedSum(lanes, 1, 1, 1);
    const __m512i mean = _mm512_shuffle_epi8(_mm512_mulhi_epu16(sum, _mm512_set1_epi32(21846)), // div 3
                                             loadIndex(FirstByteOfLane));
    const __m512i distance = _mm512_or_si512(_mm512_subs_epu8(lanes, mean), _mm512_subs_epu8(mean, lanes));
    const __mmask64 down = _mm512_cmplt_epu8_mask(lanes, mean) ^ flip;
    const __m512i step = lookup(steps, distance);
    return _mm512_mask_blend_epi8(down, _mm512_adds_epu8(mean, step), _mm512_subs_epu8(mean, step));
}

// No tone effect: a copy. Its lines go straight to memory (streaming stores) instead of being read into
// the cache first only to be overwritten: after an area effect this is the second picture the setter
// writes, and on a large picture that read costs as much as the copy.
PIXMORA_TARGET_AVX512 void streamingCopyRow(const TonePlan&, const std::uint8_t* in, const std::uint8_t*,
                                            std::uint8_t* out, int width) {
    const int bytes = 3 * width;
    const int head = std::min(bytes, static_cast<int>(-reinterpret_cast<std::uintptr_t>(out) % 64));
    storeBytes(out, loadBytes(in, head), head);
    int i = head;
    for (; i + 64 <= bytes; i += 64)
        _mm512_stream_si512(reinterpret_cast<__m512i*>(out + i), _mm512_loadu_si512(in + i));
    storeBytes(out + i, loadBytes(in + i, bytes - i), bytes - i);
    _mm_sfence(); // the streaming stores are complete before anything that follows
}

PIXMORA_TARGET_AVX512 void tableRow512(const TonePlan& plan, const std::uint8_t* in, const std::uint8_t*,
                                       std::uint8_t* out, int width) {
    const Lut512 lut = loadLut(plan.tables.plain);
    const int bytes = 3 * width;
    for (int i = 0; i < bytes; i += 64)
        storeBytes(out + i, lookup(lut, loadBytes(in + i, bytes - i)), bytes - i);
}

// Noise with nothing that couples the channels: every byte on its own, 64 a step. The sum before the noise
// is a table's raise or lower, or just the brightness when nothing else comes before it; the steps after
// the noise are a table, or nothing.
enum class NoiseSum { Tables, BrightnessUp, BrightnessDown };

template <NoiseSum Sum, bool After>
PIXMORA_TARGET_AVX512 void noiseBytesRow512(const TonePlan& plan, const std::uint8_t* in,
                                            const std::uint8_t* noise, std::uint8_t* out, int width) {
    const Tables& t = plan.tables;
    const Lut512 raise = loadLut(t.raise), lower = loadLut(t.lower), after = loadLut(t.afterNoise);
    const int brightness = plan.settings.brightness;
    const __m512i amount = _mm512_set1_epi8(static_cast<char>(brightness < 0 ? -brightness : brightness));
    const int bytes = 3 * width;
    for (int i = 0; i < bytes; i += 64) {
        const __m512i c = loadBytes(in + i, bytes - i), n = loadBytes(noise + i, bytes - i);
        __m512i v;
        if constexpr (Sum == NoiseSum::BrightnessUp)
            v = _mm512_adds_epu8(_mm512_adds_epu8(c, amount), n);
        else if constexpr (Sum == NoiseSum::BrightnessDown) // c - b is a raise above b and a lower below it
            v = _mm512_subs_epu8(_mm512_adds_epu8(n, _mm512_subs_epu8(c, amount)),
                                 _mm512_subs_epu8(amount, c));
        else
            v = _mm512_subs_epu8(_mm512_adds_epu8(n, lookup(raise, c)), lookup(lower, c));
        if constexpr (After)
            v = lookup(after, v);
        storeBytes(out + i, v, bytes - i);
    }
}

template <NoiseSum Sum> ToneRow noiseBytesKernel(bool after) {
    return after ? &noiseBytesRow512<Sum, true> : &noiseBytesRow512<Sum, false>;
}

ToneRow noiseBytesKernel(const TonePlan& plan) {
    const ToneSettings& s = plan.settings;
    bool after = false;
    for (int c = 0; c < 256; ++c)
        after |= plan.tables.afterNoise[c] != c;
    if (s.contrast != 0 || s.lightness != 0 || s.darkness != 0 || s.posterize != 0)
        return noiseBytesKernel<NoiseSum::Tables>(after);
    return s.brightness >= 0 ? noiseBytesKernel<NoiseSum::BrightnessUp>(after)
                             : noiseBytesKernel<NoiseSum::BrightnessDown>(after);
}

// What a row of the general kernel keeps in registers.
struct ToneRegisters {
    __m512i toLanes, fromLanes;
    Lut512 first, lower, after, steps;
    __m512i solarLimit, invert;
    __mmask64 flip;
};

PIXMORA_TARGET_AVX512 inline ToneRegisters loadRegisters(const Tables& t, bool noise, bool grey) {
    return {loadIndex(ToLanes),
            loadIndex(grey ? GreyFromLanes : FromLanes),
            loadLut(noise ? t.raise : t.plain),
            loadLut(t.lower),
            loadLut(t.afterNoise),
            loadLut(t.saturationStep),
            _mm512_set1_epi32(t.solarLimit),
            _mm512_set1_epi8(static_cast<char>(t.invertMask)),
            _cvtu64_mask64(t.saturationFlips ? ~std::uint64_t{0} : 0)};
}

// Sixteen pixels from x on (fewer at the end of the row). Exact grey halves are rounded properly only when
// a table is given; otherwise they come out rounded up, and the lanes holding them are returned.
template <bool Solar, bool Noise, Coupling C>
PIXMORA_TARGET_AVX512 inline __mmask16 toneGroup(const std::uint8_t* in, const std::uint8_t* noise,
                                                 std::uint8_t* out, int x, int width, const ToneRegisters& k,
                                                 const GrayTables* halvesTable) {
    // The group's 48 bytes (more are read where the row has them, and ignored).
    const int left = 3 * (width - x);
    __m512i lanes = _mm512_permutexvar_epi8(k.toLanes, loadBytes(in + 3 * x, left));
    if constexpr (Solar)
        lanes = solarize(lanes, k.solarLimit);
    if constexpr (Noise) {
        const __m512i n = _mm512_permutexvar_epi8(k.toLanes, loadBytes(noise + 3 * x, left));
        lanes = lookup(k.after,
                       _mm512_subs_epu8(_mm512_adds_epu8(n, lookup(k.first, lanes)), lookup(k.lower, lanes)));
    } else {
        lanes = lookup(k.first, lanes);
    }
    __mmask16 halves = 0;
    if constexpr (C == Coupling::Gray) {
        __m512i grey = greyLanes(lanes, halves);
        if (halvesTable)
            grey = roundHalves(grey, lanes, halves, *halvesTable);
        lanes = _mm512_xor_si512(grey, k.invert);
    } else if constexpr (C == Coupling::Saturation) {
        lanes = _mm512_xor_si512(saturate(lanes, k.steps, k.flip), k.invert);
    }
    storeBytes(out + 3 * x, _mm512_permutexvar_epi8(k.fromLanes, lanes), std::min(48, left));
    return halves;
}

// About one grey pixel in a hundred is an exact half, in one group of sixteen in ten. Branching on them
// at once would wait for the whole chain of the group; so each chunk of the row is written first, and
// only the groups that held a half are done again, properly rounded.
template <bool Solar, bool Noise, Coupling C>
PIXMORA_TARGET_AVX512 void generalRow512(const TonePlan& plan, const std::uint8_t* in,
                                         const std::uint8_t* noise, std::uint8_t* out, int width) {
    const ToneRegisters k = loadRegisters(plan.tables, Noise, C == Coupling::Gray);
    const GrayTables* gray = plan.gray;
    if constexpr (C != Coupling::Gray) {
        for (int x = 0; x < width; x += 16)
            toneGroup<Solar, Noise, C>(in, noise, out, x, width, k, nullptr);
    } else {
        constexpr int Groups = 32;
        for (int chunk = 0; chunk < width; chunk += 16 * Groups) {
            __mmask16 halves[Groups];
            for (int g = 0; g < Groups && chunk + 16 * g < width; ++g)
                halves[g] = toneGroup<Solar, Noise, C>(in, noise, out, chunk + 16 * g, width, k, nullptr);
            for (int g = 0; g < Groups && chunk + 16 * g < width; ++g)
                if (halves[g])
                    toneGroup<Solar, Noise, C>(in, noise, out, chunk + 16 * g, width, k, gray);
        }
    }
}

struct Avx512Kernels {
    template <bool Solar, bool Noise, Coupling C>
    static constexpr ToneRow row = &generalRow512<Solar, Noise, C>;
};

} // namespace

ToneRow avx512ToneRow(TonePlan& plan) {
    if (plan.brightnessOnly) // a saturating add is memory-bound already; a copy gains by streaming
        return plan.settings.brightness == 0 ? &streamingCopyRow : nullptr;
    if (plan.tableOnly)
        return &tableRow512;
    if (plan.noise && !plan.solar && plan.coupling == Coupling::None)
        return noiseBytesKernel(plan);
    return pickShape<Avx512Kernels>(plan);
}

PIXMORA_VECTOR_CODE_END
#else
ToneRow avx512ToneRow(TonePlan&) {
    return nullptr;
}
#endif

} // namespace pixmora::tone
