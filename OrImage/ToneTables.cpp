// The tables of the tone pass: every per-channel step of a setting as a 256-entry table, and the grey
// value's rounding, with the plain functions they are built from.
#include "ToneKernels.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace pixmora {

namespace tone {

long double nearest(long double x) {
    return std::nearbyintl(x);
}

namespace {

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

long double grayExtended(int r, int g, int b) {
    // 0.3, 0.59 and 0.11 as the nearest extended-precision values, summed in this order.
    const long double wr = 0.3L, wg = 0.59L, wb = 0.11L;
    return (static_cast<long double>(r) * wr + static_cast<long double>(g) * wg) +
           static_cast<long double>(b) * wb;
}

} // namespace

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

bool noiseIsLast(const Tables& t) {
    for (int c = 0; c < 256; ++c)
        if (t.afterNoise[c] != (c ^ t.afterNoise[0]))
            return false;
    return t.afterNoise[0] == 0 || t.afterNoise[0] == 255;
}

} // namespace tone

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
    return tone::grayFast(tone::grayTables(), r, g, b);
}

} // namespace pixmora
