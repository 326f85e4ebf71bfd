// The per-pixel pass of a render. Every per-channel step becomes a 256-entry table built once per render;
// only the steps that look at a whole pixel (solorize's threshold, grey scale, saturation) and the noise
// are computed per pixel. Each row kernel is a small function so it can be tuned on its own; the vector
// kernels for newer instruction sets sit beside the plain ones and give the same bytes.
#include "Effects.h"
#include "KernelLevel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

#if PIXMORA_X86
#include <immintrin.h>
#endif

namespace pixmora {

namespace {

// Round to nearest, an exact half going to the even neighbour (the default rounding mode).
long double nearest(long double x) {
    return std::nearbyintl(x);
}

// Channel value after posterize: may exceed 255, the clamp comes later.
int posterizeValue(int c, int p) {
    const long double q = static_cast<long double>(c) / static_cast<long double>(p);
    return static_cast<int>(nearest(q)) * p;
}

// The offsets of contrast, lightness and darkness for a channel value c after posterize or solorize,
// plus the brightness. Products of large values need 64 bits.
std::int64_t channelSum(int c, const ToneSettings& s) {
    std::int64_t sum = c + s.brightness;
    if (s.contrast != 0) {
        const std::int64_t k = (static_cast<std::int64_t>(std::abs(127 - c)) * s.contrast) / 255;
        sum += c <= 127 ? -k : k;
    }
    if (s.lightness != 0)
        sum += (static_cast<std::int64_t>(s.lightness) * (255 - c)) / 255;
    if (s.darkness != 0)
        sum += (-(static_cast<std::int64_t>(c) * s.darkness)) / 255;
    return sum;
}

// Clamps a sum to -256..256: adding a noise byte (0..255) and clamping to 0..255 then gives the same
// result as with the unclamped sum.
std::int16_t clampSum(std::int64_t sum) {
    return static_cast<std::int16_t>(sum > 256 ? 256 : (sum < -256 ? -256 : sum));
}

struct GrayTables {
    // For t = 30R + 59G + 11B: bits 0..7 the rounded value t / 100, bit 8 set when t / 100 is an exact
    // half, whose rounding depends on the extended-precision evaluation.
    std::array<std::uint16_t, 25501> byWeightedSum;
    // For each (R, G): bit k tells whether the exact half with B = B0 + 100k (B0 < 100) rounds up.
    std::array<std::uint8_t, 65536 + 3> halfRoundsUp; // +3: read four bytes at a time
};

long double grayExtended(int r, int g, int b) {
    // 0.3, 0.59 and 0.11 as the nearest extended-precision values, summed in this order.
    const long double wr = 0.3L, wg = 0.59L, wb = 0.11L;
    return (static_cast<long double>(r) * wr + static_cast<long double>(g) * wg) +
           static_cast<long double>(b) * wb;
}

const GrayTables& grayTables() {
    static const GrayTables tables = [] {
        GrayTables t{};
        for (int sum = 0; sum <= 25500; ++sum) {
            const int q = sum / 100, rem = sum % 100;
            if (rem == 50)
                t.byWeightedSum[sum] = static_cast<std::uint16_t>(q | 0x100);
            else
                t.byWeightedSum[sum] = static_cast<std::uint16_t>(rem > 50 ? q + 1 : q);
        }
        for (int r = 0; r < 256; ++r)
            for (int g = 0; g < 256; ++g) {
                // 11 * 91 = 1001, so 91 inverts 11 modulo 100.
                const int b0 = ((91 * (50 - 30 * r - 59 * g)) % 100 + 100) % 100;
                std::uint8_t bits = 0;
                for (int k = 0; k < 3; ++k) {
                    const int b = b0 + 100 * k;
                    if (b > 255)
                        break;
                    const int q = (30 * r + 59 * g + 11 * b) / 100;
                    if (static_cast<int>(nearest(grayExtended(r, g, b))) > q)
                        bits |= static_cast<std::uint8_t>(1u << k);
                }
                t.halfRoundsUp[(r << 8) | g] = bits;
            }
        return t;
    }();
    return tables;
}

inline int grayFast(const GrayTables& t, int r, int g, int b) {
    const unsigned entry = t.byWeightedSum[30 * r + 59 * g + 11 * b];
    if (entry < 0x100)
        return static_cast<int>(entry);
    return static_cast<int>(entry & 0xFF) + ((t.halfRoundsUp[(r << 8) | g] >> (b / 100)) & 1);
}

struct WideTables;

struct Tables {
    std::uint8_t plain[256];    // whole chain for a channel when nothing couples the channels (no noise)
    std::uint8_t solar[256];    // the same for a channel that solorize inverted first
    std::int16_t sumPlain[256]; // steps up to the sum, before noise and clamp
    std::int16_t sumSolar[256];
    std::uint8_t split[256];      // splitlight, for the steps after the sum
    std::uint8_t finalOut[256];   // the last step when grey scale and saturation are off: invert or not
    std::int16_t saturation[511]; // (d * (S + 255)) div 255 for d = c - m in -255..255, clamped
    int solarThreshold;           // solorize inverts a pixel whose (R + G + B) div 3 exceeds this

    // The same steps in the shapes the vector kernels use.
    // ClampByte(sumPlain[c] + n) is (n + raise[c]) - lower[c] in saturating byte arithmetic: the sum lies
    // in -256..256, and only one of the two is non-zero.
    std::uint8_t raise[256];
    std::uint8_t lower[256];
    std::uint8_t afterNoise[256]; // split, and finalOut too when nothing couples the channels
    std::uint8_t invertMask;      // the invert after grey scale or saturation, as an exclusive or
    int solarLimit;               // R + G + B above this is solorized, clamped to -1..765
    // How far saturation moves a channel from the mean, by its distance d = |c - m|: d * |S + 255| div
    // 255, at most 255, which takes any channel to 0 or 255 already. A negative factor turns it around.
    std::uint8_t saturationStep[256];
    bool saturationFlips;
    // The same step as arithmetic: min(d * stepWhole + (d * stepFraction) div 65536, 255) for d <= 255.
    std::uint16_t stepWhole, stepFraction;
    const WideTables* wide = nullptr; // the reshaped tables, at the AVX2 level only
};

enum class Coupling { None, Gray, Saturation };

void buildTables(const ToneSettings& s, Coupling coupling, Tables& t) {
    for (int c = 0; c < 256; ++c)
        t.split[c] = static_cast<std::uint8_t>(splitlightValue(c, s.splitlight));
    for (int c = 0; c < 256; ++c)
        t.finalOut[c] = static_cast<std::uint8_t>(s.invert ? 255 - c : c);
    for (int c = 0; c < 256; ++c) {
        const int afterFirst = s.posterize != 0 ? posterizeValue(c, s.posterize) : c;
        t.sumPlain[c] = clampSum(channelSum(afterFirst, s));
        t.sumSolar[c] = clampSum(channelSum(255 - c, s));
        const int plain = t.split[ClampByte(t.sumPlain[c])];
        const int solar = t.split[ClampByte(t.sumSolar[c])];
        // With grey scale or saturation the invert comes after the coupling step instead.
        t.plain[c] = static_cast<std::uint8_t>(coupling == Coupling::None ? t.finalOut[plain] : plain);
        t.solar[c] = static_cast<std::uint8_t>(coupling == Coupling::None ? t.finalOut[solar] : solar);
    }
    const std::int64_t factor = static_cast<std::int64_t>(s.saturation) + 255;
    if (coupling == Coupling::Saturation)
        for (int d = -255; d <= 255; ++d)
            t.saturation[d + 255] = clampSum((d * factor) / 255);
    t.solarThreshold = 255 - s.solorize;

    for (int c = 0; c < 256; ++c) {
        t.raise[c] = static_cast<std::uint8_t>(std::clamp<int>(t.sumPlain[c], 0, 255));
        t.lower[c] = static_cast<std::uint8_t>(std::clamp<int>(-t.sumPlain[c], 0, 255));
        t.afterNoise[c] = coupling == Coupling::None ? t.finalOut[t.split[c]] : t.split[c];
    }
    t.invertMask = s.invert ? 0xFF : 0;
    t.solarLimit = static_cast<int>(
        std::clamp<std::int64_t>(3 * static_cast<std::int64_t>(t.solarThreshold) + 2, -1, 765));
    for (int d = 0; d < 256; ++d)
        t.saturationStep[d] =
            static_cast<std::uint8_t>(std::min<std::int64_t>(d * std::abs(factor) / 255, 255));
    t.saturationFlips = factor < 0;
    // With M = ceil(F * 65536 / 255), d * M div 65536 equals d * F div 255 for every d <= 255: M overshoots
    // by less than 1 / 65536, so d * M by less than 255 / 65536, below the 1 / 255 gap to the next whole
    // number. F is capped where any distance above 0 reaches 255 already.
    const std::int64_t capped = std::min<std::int64_t>(std::abs(factor), 255 * 255);
    const std::int64_t multiplier = (capped * 65536 + 254) / 255;
    t.stepWhole = static_cast<std::uint16_t>(multiplier >> 16);
    t.stepFraction = static_cast<std::uint16_t>(multiplier & 0xFFFF);
}

// --- row kernels --------------------------------------------------------------------------------------

// Brightness alone: a saturating add or subtract of every byte.
void rowBrightness(const std::uint8_t* __restrict in, std::uint8_t* __restrict out, int bytes,
                   int brightness) {
    for (int i = 0; i < bytes; ++i)
        out[i] = static_cast<std::uint8_t>(ClampByte(in[i] + brightness));
}

#if PIXMORA_X86
void rowBrightnessSse2(const std::uint8_t* in, std::uint8_t* out, int bytes, int brightness) {
    int i = 0;
    const __m128i amount = _mm_set1_epi8(static_cast<char>(static_cast<std::uint8_t>(std::abs(brightness))));
    if (brightness >= 0)
        for (; i + 16 <= bytes; i += 16)
            _mm_storeu_si128(
                reinterpret_cast<__m128i*>(out + i),
                _mm_adds_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i)), amount));
    else
        for (; i + 16 <= bytes; i += 16)
            _mm_storeu_si128(
                reinterpret_cast<__m128i*>(out + i),
                _mm_subs_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i)), amount));
    rowBrightness(in + i, out + i, bytes - i, brightness);
}
#endif

// Every byte through one table.
void rowTable(const std::uint8_t* __restrict in, std::uint8_t* __restrict out, int bytes,
              const std::uint8_t (&table)[256]) {
    int i = 0;
    for (; i + 4 <= bytes; i += 4) {
        const std::uint8_t a = table[in[i]], b = table[in[i + 1]], c = table[in[i + 2]], d = table[in[i + 3]];
        out[i] = a;
        out[i + 1] = b;
        out[i + 2] = c;
        out[i + 3] = d;
    }
    for (; i < bytes; ++i)
        out[i] = table[in[i]];
}

// The general kernel: solorize's per-pixel choice, noise, and grey scale or saturation.
template <bool Solar, bool Noise, Coupling C>
void rowGeneral(const std::uint8_t* __restrict in, const std::uint8_t* __restrict noise,
                std::uint8_t* __restrict out, int width, const Tables& t, const GrayTables* gray) {
    const int threshold = t.solarThreshold;
    for (int x = 0; x < width; ++x, in += 3, out += 3) {
        const int b = in[0], g = in[1], r = in[2];
        bool solar = false;
        if constexpr (Solar)
            solar = (r + g + b) / 3 > threshold;
        int vb, vg, vr;
        if constexpr (Noise) {
            const std::int16_t* sum = solar ? t.sumSolar : t.sumPlain;
            vb = t.split[ClampByte(sum[b] + noise[0])];
            vg = t.split[ClampByte(sum[g] + noise[1])];
            vr = t.split[ClampByte(sum[r] + noise[2])];
            noise += 3;
        } else {
            const std::uint8_t* tab = solar ? t.solar : t.plain;
            vb = tab[b];
            vg = tab[g];
            vr = tab[r];
        }
        if constexpr (C == Coupling::Gray) {
            const int v = t.finalOut[grayFast(*gray, vr, vg, vb)];
            out[0] = out[1] = out[2] = static_cast<std::uint8_t>(v);
        } else if constexpr (C == Coupling::Saturation) {
            const int m = (vr + vg + vb) / 3;
            out[0] = t.finalOut[ClampByte(t.saturation[vb - m + 255] + m)];
            out[1] = t.finalOut[ClampByte(t.saturation[vg - m + 255] + m)];
            out[2] = t.finalOut[ClampByte(t.saturation[vr - m + 255] + m)];
        } else {
            if constexpr (Noise) {
                out[0] = t.finalOut[vb];
                out[1] = t.finalOut[vg];
                out[2] = t.finalOut[vr];
            } else {
                out[0] = static_cast<std::uint8_t>(vb);
                out[1] = static_cast<std::uint8_t>(vg);
                out[2] = static_cast<std::uint8_t>(vr);
            }
        }
    }
}

#if PIXMORA_X86
// --- AVX-512 row kernels --------------------------------------------------------------------------------
// Sixteen pixels per step, each spread to a 32-bit lane (blue, green, red and a spare byte), so that the
// whole-pixel steps become lane arithmetic. A 256-entry table is two two-register byte permutes and a
// blend on the index's top bit. The last step of a row loads and stores only the bytes it owns.

// GCC 12 starts some intrinsic results from a deliberately undefined register and then reports it as
// possibly uninitialised once inlined here.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

struct alignas(64) ByteIndex {
    std::uint8_t at[64];
};

template <typename F> constexpr ByteIndex byteIndex(F f) {
    ByteIndex index{};
    for (int j = 0; j < 64; ++j)
        index.at[j] = static_cast<std::uint8_t>(f(j));
    return index;
}

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

PIXMORA_TARGET_AVX512 inline __mmask64 firstBytes(int count) {
    return _cvtu64_mask64(count >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << count) - 1);
}

PIXMORA_TARGET_AVX512 void rowTable512(const std::uint8_t* in, std::uint8_t* out, int bytes,
                                       const std::uint8_t (&table)[256]) {
    const Lut512 lut = loadLut(table);
    for (int i = 0; i < bytes; i += 64) {
        const __mmask64 mask = firstBytes(bytes - i);
        _mm512_mask_storeu_epi8(out + i, mask, lookup(lut, _mm512_maskz_loadu_epi8(mask, in + i)));
    }
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
    const __mmask64 bytes = firstBytes(3 * std::min(16, width - x));
    __m512i lanes = _mm512_permutexvar_epi8(k.toLanes, _mm512_maskz_loadu_epi8(bytes, in + 3 * x));
    if constexpr (Solar)
        lanes = solarize(lanes, k.solarLimit);
    if constexpr (Noise) {
        const __m512i n = _mm512_permutexvar_epi8(k.toLanes, _mm512_maskz_loadu_epi8(bytes, noise + 3 * x));
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
    _mm512_mask_storeu_epi8(out + 3 * x, bytes, _mm512_permutexvar_epi8(k.fromLanes, lanes));
    return halves;
}

// About one grey pixel in a hundred is an exact half, in one group of sixteen in ten. Branching on them
// at once would wait for the whole chain of the group; so each chunk of the row is written first, and
// only the groups that held a half are done again, properly rounded.
template <bool Solar, bool Noise, Coupling C>
PIXMORA_TARGET_AVX512 void rowGeneral512(const std::uint8_t* in, const std::uint8_t* noise, std::uint8_t* out,
                                         int width, const Tables& t, const GrayTables* gray) {
    const ToneRegisters k = loadRegisters(t, Noise, C == Coupling::Gray);
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

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

#if PIXMORA_X86
// --- AVX2 row kernels -----------------------------------------------------------------------------------
// Without a byte permute across the register a 256-entry table costs sixteen in-lane shuffles and as many
// selects per vector; gathers of 32-bit lanes are cheaper, but still cost about as much as a handful of
// vector instructions per lane. So the tables are reshaped, once per render, to need few lanes per pixel:
// one read gives two channels at once, or two channels' share of the grey sum with its rounding bits, or
// the 16-bit sums of two bytes before their noise, or a channel with its noise and every step after it.
// The rest is lane arithmetic, eight pixels a step, one per lane (blue, green, red and a spare byte); the
// last pixels of a row go through a small buffer so that no step reads or writes beyond the row.

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

// The reshaped tables, about 700 KB; a render builds only those its kernel reads.
struct WideTables {
    // [hi << 8 | lo] = first[lo] | first[hi] << 8: two bytes of a row, or a pixel's blue and green.
    std::array<std::uint16_t, 65536 + 1> pairs; // +1: a gather reads four bytes
    // [r << 8 | g] = 30 first[r] + 59 first[g] + 49, and in bits 16..18 the halfRoundsUp bits of that
    // pair of results. 49 instead of 50 rounds an exact half down; the bit for the blue adds the 1 back.
    std::array<std::uint32_t, 65536> greyPairs;
    // [c1 << 8 | c0] = sumPlain[c0] | sumPlain[c1] << 16, two 16-bit sums: noise followed by nothing else.
    std::array<std::uint32_t, 65536> sumPairs;
    // [c << 8 | n] = afterNoise[ClampByte(sumPlain[c] + n)]: noise and all the per-channel steps after it.
    std::array<std::uint8_t, 65536 + 3> withNoise;
    std::uint32_t greyBlue[256]; // 11 first[b] | (16 + first[b] div 100) << 16: the weight and the bit
    std::uint32_t red[256];      // first[r] << 16
};

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
PIXMORA_TARGET_AVX2 void rowGeneral256(const std::uint8_t* in, const std::uint8_t* noise, std::uint8_t* out,
                                       int width, const Tables& t, const GrayTables* gray) {
    const WideTables& w = *t.wide;
    const Avx2Registers k = loadAvx2Registers(t);
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

PIXMORA_TARGET_AVX2 void rowNoise256(const std::uint8_t* in, const std::uint8_t* noise, std::uint8_t* out,
                                     int width, const Tables& t, const GrayTables*) {
    rowBytes256<ByteRow::Noise>(in, noise, out, 3 * width, *t.wide, 0);
}

PIXMORA_TARGET_AVX2 void rowNoiseSums256(const std::uint8_t* in, const std::uint8_t* noise, std::uint8_t* out,
                                         int width, const Tables& t, const GrayTables*) {
    rowBytes256<ByteRow::NoiseSums>(in, noise, out, 3 * width, *t.wide, t.afterNoise[0]);
}

// Whether the steps after the noise are nothing or only the invert.
bool noiseIsLast(const Tables& t) {
    for (int c = 0; c < 256; ++c)
        if (t.afterNoise[c] != (c ^ t.afterNoise[0]))
            return false;
    return t.afterNoise[0] == 0 || t.afterNoise[0] == 255;
}

WideTables& wideTables() {
    // Built anew for every render, but kept for the thread's next one.
    thread_local std::unique_ptr<WideTables> tables;
    if (!tables)
        tables = std::make_unique<WideTables>();
    return *tables;
}

#endif

// --- kernel choice ---------------------------------------------------------------------------------------

using RowKernel = void (*)(const std::uint8_t*, const std::uint8_t*, std::uint8_t*, int, const Tables&,
                           const GrayTables*);

struct ScalarRows {
    template <bool Solar, bool Noise, Coupling C>
    static constexpr RowKernel kernel = &rowGeneral<Solar, Noise, C>;
};

#if PIXMORA_X86
struct Avx2Rows {
    // Noise alone needs no pixel lanes.
    template <bool Solar, bool Noise, Coupling C>
    static constexpr RowKernel kernel =
        Noise && !Solar && C == Coupling::None ? &rowNoise256 : &rowGeneral256<Solar, Noise, C>;
};

struct Avx512Rows {
    template <bool Solar, bool Noise, Coupling C>
    static constexpr RowKernel kernel = &rowGeneral512<Solar, Noise, C>;
};
#endif

template <typename Rows, bool Solar, bool Noise> RowKernel pickCoupling(Coupling c) {
    switch (c) {
    case Coupling::Gray:
        return Rows::template kernel<Solar, Noise, Coupling::Gray>;
    case Coupling::Saturation:
        return Rows::template kernel<Solar, Noise, Coupling::Saturation>;
    default:
        return Rows::template kernel<Solar, Noise, Coupling::None>;
    }
}

template <typename Rows> RowKernel pickKernel(bool solar, bool noise, Coupling c) {
    if (solar)
        return noise ? pickCoupling<Rows, true, true>(c) : pickCoupling<Rows, true, false>(c);
    return noise ? pickCoupling<Rows, false, true>(c) : pickCoupling<Rows, false, false>(c);
}

} // namespace

int splitlightValue(int c, int times) {
    const long double pi = 3.14159265358979323846264338327950288L;
    for (int i = 0; i < times; ++i) {
        const long double argument = ((static_cast<long double>(c) / 255.0L) * pi) / 2.0L;
        const double product = static_cast<double>(std::sin(argument) * 255.0L);
        c = static_cast<int>(std::nearbyint(product));
    }
    return c;
}

int grayValue(int r, int g, int b) {
    return grayFast(grayTables(), r, g, b);
}

void renderTone(const Bitmap& input, const Bitmap* noise, Bitmap& output, const ToneSettings& s) {
    const int width = input.width();
    const int height = input.height();
    const int rowBytes = width * 3;
    const Coupling coupling =
        s.grayScale ? Coupling::Gray : (s.saturation != 0 ? Coupling::Saturation : Coupling::None);
    const bool solar = s.posterize == 0 && s.solorize != 0;

    const KernelLevel level = kernelLevel();

    // The common cases of a single slider are plain byte loops.
    const bool onlyBrightness = !noise && coupling == Coupling::None && !solar && !s.invert &&
                                s.posterize == 0 && s.contrast == 0 && s.lightness == 0 && s.darkness == 0 &&
                                s.splitlight == 0;
    if (onlyBrightness) {
        auto brightnessRow = &rowBrightness;
#if PIXMORA_X86
        if (level >= KernelLevel::Sse2)
            brightnessRow = &rowBrightnessSse2;
#endif
        for (int y = 0; y < height; ++y) {
            if (s.brightness == 0)
                std::memcpy(output.row(y), input.row(y), static_cast<std::size_t>(rowBytes));
            else
                brightnessRow(input.row(y), output.row(y), rowBytes, s.brightness);
        }
        return;
    }

    Tables tables;
    buildTables(s, coupling, tables);
    if (!noise && !solar && coupling == Coupling::None) {
#if PIXMORA_X86
        if (level == KernelLevel::Avx2) {
            WideTables& wide = wideTables();
            buildWideTables(tables, tables.plain, WideShape::Pairs, wide);
            for (int y = 0; y < height; ++y)
                rowBytes256<ByteRow::Table>(input.row(y), nullptr, output.row(y), rowBytes, wide, 0);
            return;
        }
#endif
        auto tableRow = &rowTable;
#if PIXMORA_X86
        if (level >= KernelLevel::Avx512)
            tableRow = &rowTable512;
#endif
        for (int y = 0; y < height; ++y)
            tableRow(input.row(y), output.row(y), rowBytes, tables.plain);
        return;
    }
    const GrayTables* gray = coupling == Coupling::Gray ? &grayTables() : nullptr;
    RowKernel kernel = pickKernel<ScalarRows>(solar, noise != nullptr, coupling);
#if PIXMORA_X86
    if (level == KernelLevel::Avx2) {
        WideTables& wide = wideTables();
        const bool sumsOnly = noise && !solar && coupling == Coupling::None && noiseIsLast(tables);
        const WideShape shape = sumsOnly ? WideShape::NoiseSums
                                : noise  ? WideShape::Noise
                                         : (coupling == Coupling::Gray ? WideShape::Grey : WideShape::Pairs);
        buildWideTables(tables, tables.plain, shape, wide);
        tables.wide = &wide;
        kernel = pickKernel<Avx2Rows>(solar, noise != nullptr, coupling);
        if (sumsOnly)
            kernel = &rowNoiseSums256;
    }
    if (level >= KernelLevel::Avx512)
        kernel = pickKernel<Avx512Rows>(solar, noise != nullptr, coupling);
#endif
    for (int y = 0; y < height; ++y)
        kernel(input.row(y), noise ? noise->row(y) : nullptr, output.row(y), width, tables, gray);
}

} // namespace pixmora
