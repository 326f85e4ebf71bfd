// The per-pixel pass of a render. Every per-channel step becomes a 256-entry table built once per render;
// only the steps that look at a whole pixel (solorize's threshold, grey scale, saturation) and the noise
// are computed per pixel. Each row kernel is a small function so it can be tuned on its own.
#include "Effects.h"

#include <array>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pixmora {

namespace {

// Round to nearest, an exact half going to the even neighbour (the default rounding mode).
long double nearest(long double x) { return std::nearbyintl(x); }

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
    std::array<std::uint8_t, 65536> halfRoundsUp;
};

long double grayExtended(int r, int g, int b) {
    // 0.3, 0.59 and 0.11 as the nearest extended-precision values, summed in this order.
    const long double wr = 0.3L, wg = 0.59L, wb = 0.11L;
    return (static_cast<long double>(r) * wr + static_cast<long double>(g) * wg) + static_cast<long double>(b) * wb;
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

struct Tables {
    std::uint8_t plain[256];  // whole chain for a channel when nothing couples the channels (no noise)
    std::uint8_t solar[256];  // the same for a channel that solorize inverted first
    std::int16_t sumPlain[256]; // steps up to the sum, before noise and clamp
    std::int16_t sumSolar[256];
    std::uint8_t split[256];    // splitlight, for the steps after the sum
    std::uint8_t finalOut[256]; // the last step when grey scale and saturation are off: invert or not
    std::int16_t saturation[511]; // (d * (S + 255)) div 255 for d = c - m in -255..255, clamped
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
    if (coupling == Coupling::Saturation) {
        const std::int64_t factor = static_cast<std::int64_t>(s.saturation) + 255;
        for (int d = -255; d <= 255; ++d)
            t.saturation[d + 255] = clampSum((d * factor) / 255);
    }
}

// --- row kernels --------------------------------------------------------------------------------------

// Brightness alone: a saturating add or subtract of every byte.
void rowBrightness(const std::uint8_t* in, std::uint8_t* out, int bytes, int brightness) {
    int i = 0;
#if defined(__SSE2__)
    const __m128i amount = _mm_set1_epi8(static_cast<char>(static_cast<std::uint8_t>(std::abs(brightness))));
    if (brightness >= 0)
        for (; i + 16 <= bytes; i += 16)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                             _mm_adds_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i)), amount));
    else
        for (; i + 16 <= bytes; i += 16)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                             _mm_subs_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i)), amount));
#endif
    for (; i < bytes; ++i)
        out[i] = static_cast<std::uint8_t>(ClampByte(in[i] + brightness));
}

// Every byte through one table.
void rowTable(const std::uint8_t* __restrict in, std::uint8_t* __restrict out, int bytes,
              const std::uint8_t* __restrict table) {
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
void rowGeneral(const std::uint8_t* __restrict in, const std::uint8_t* __restrict noise, std::uint8_t* __restrict out,
                int width, const ToneSettings& s, const Tables& t, const GrayTables* gray) {
    const int threshold = 255 - s.solorize;
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

using RowKernel = void (*)(const std::uint8_t*, const std::uint8_t*, std::uint8_t*, int, const ToneSettings&,
                           const Tables&, const GrayTables*);

template <bool Solar, bool Noise> RowKernel pickCoupling(Coupling c) {
    switch (c) {
    case Coupling::Gray:
        return &rowGeneral<Solar, Noise, Coupling::Gray>;
    case Coupling::Saturation:
        return &rowGeneral<Solar, Noise, Coupling::Saturation>;
    default:
        return &rowGeneral<Solar, Noise, Coupling::None>;
    }
}

RowKernel pickKernel(bool solar, bool noise, Coupling c) {
    if (solar)
        return noise ? pickCoupling<true, true>(c) : pickCoupling<true, false>(c);
    return noise ? pickCoupling<false, true>(c) : pickCoupling<false, false>(c);
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

int grayValue(int r, int g, int b) { return grayFast(grayTables(), r, g, b); }

void renderTone(const Bitmap& input, const Bitmap* noise, Bitmap& output, const ToneSettings& s) {
    const int width = input.width();
    const int height = input.height();
    const int rowBytes = width * 3;
    const Coupling coupling =
        s.grayScale ? Coupling::Gray : (s.saturation != 0 ? Coupling::Saturation : Coupling::None);
    const bool solar = s.posterize == 0 && s.solorize != 0;

    // The common cases of a single slider are plain byte loops.
    const bool onlyBrightness = !noise && coupling == Coupling::None && !solar && !s.invert && s.posterize == 0 &&
                                s.contrast == 0 && s.lightness == 0 && s.darkness == 0 && s.splitlight == 0;
    if (onlyBrightness) {
        for (int y = 0; y < height; ++y) {
            if (s.brightness == 0)
                std::memcpy(output.row(y), input.row(y), static_cast<std::size_t>(rowBytes));
            else
                rowBrightness(input.row(y), output.row(y), rowBytes, s.brightness);
        }
        return;
    }

    Tables tables;
    buildTables(s, coupling, tables);
    if (!noise && !solar && coupling == Coupling::None) {
        for (int y = 0; y < height; ++y)
            rowTable(input.row(y), output.row(y), rowBytes, tables.plain);
        return;
    }
    const GrayTables* gray = coupling == Coupling::Gray ? &grayTables() : nullptr;
    const RowKernel kernel = pickKernel(solar, noise != nullptr, coupling);
    for (int y = 0; y < height; ++y)
        kernel(input.row(y), noise ? noise->row(y) : nullptr, output.row(y), width, s, tables, gray);
}

} // namespace pixmora
