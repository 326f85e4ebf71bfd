#pragma once

// The parts of the tone pass that its kernels share: the 256-entry tables a setting turns into, and the
// plan that holds them together with the row kernel chosen for this processor. Each instruction-set level
// has a file of its own (ToneScalar.cpp, ToneSse2.cpp, ToneAvx2.cpp, ToneAvx512.cpp) that offers a kernel
// for a plan; ToneEffects.cpp makes the plans, keeps the recent ones and runs them.

#include "Effects.h"
#include "KernelLevel.h"

#include <array>
#include <cstdint>
#include <memory>

namespace pixmora::tone {

// Round to nearest, an exact half going to the even neighbour (the default rounding mode).
long double nearest(long double x);

struct GrayTables {
    // For t = 30R + 59G + 11B: bits 0..7 the rounded value t / 100, bit 8 set when t / 100 is an exact
    // half, whose rounding depends on the extended-precision evaluation.
    std::array<std::uint16_t, 25501> byWeightedSum;
    // For each (R, G): bit k tells whether the exact half with B = B0 + 100k (B0 < 100) rounds up.
    std::array<std::uint8_t, 65536 + 3> halfRoundsUp; // +3: read four bytes at a time
};

// Built once, on first use.
const GrayTables& grayTables();

inline int grayFast(const GrayTables& t, int r, int g, int b) {
    const unsigned entry = t.byWeightedSum[30 * r + 59 * g + 11 * b];
    if (entry < 0x100)
        return static_cast<int>(entry);
    return static_cast<int>(entry & 0xFF) + ((t.halfRoundsUp[(r << 8) | g] >> (b / 100)) & 1);
}

// The step that looks at all three channels of a pixel, after the per-channel steps.
enum class Coupling { None, Gray, Saturation };

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
};

void buildTables(const ToneSettings& s, Coupling coupling, Tables& t);
// Whether the steps after the noise are nothing or only the invert.
bool noiseIsLast(const Tables& t);

// The tables reshaped for the AVX2 kernels, which read them with gathers; about 700 KB, of which a plan
// fills only what its kernel reads.
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

struct TonePlan;
// Renders one row of `width` pixels; `noise` is the noise layer's row, or nullptr without a layer.
using ToneRow = void (*)(const TonePlan& plan, const std::uint8_t* in, const std::uint8_t* noise,
                         std::uint8_t* out, int width);

// Everything a render with one setting needs, made once when the setting changes and only read after
// that, by any number of threads at once.
struct TonePlan {
    // What the plan was made for.
    ToneSettings settings;
    bool noise = false;
    KernelLevel level = KernelLevel::Scalar;

    // The shape of the work.
    Coupling coupling = Coupling::None;
    bool solar = false;          // solorize decides per pixel
    bool brightnessOnly = false; // a saturating add of the brightness is all there is
    bool tableOnly = false;      // one table for every byte does it all

    Tables tables{};
    const GrayTables* gray = nullptr;
    std::unique_ptr<WideTables> wide; // at the AVX2 level only

    ToneRow row = nullptr;
};

// Each level's kernel for the plan's work, or nullptr where it has nothing better than the level below.
// A level may fill the parts of the plan that only its kernels read.
ToneRow scalarToneRow(TonePlan& plan); // never nullptr
ToneRow sse2ToneRow(TonePlan& plan);
ToneRow avx2ToneRow(TonePlan& plan);
ToneRow avx512ToneRow(TonePlan& plan);

} // namespace pixmora::tone

namespace pixmora::tone {

// The instance of a level's kernel template for the plan's shape: `Kernels::template row<Solar, Noise, C>`
// is a ToneRow for every shape.
template <typename Kernels> ToneRow pickShape(const TonePlan& plan) {
    auto coupled = [&]<bool Solar, bool Noise>() -> ToneRow {
        switch (plan.coupling) {
        case Coupling::Gray:
            return Kernels::template row<Solar, Noise, Coupling::Gray>;
        case Coupling::Saturation:
            return Kernels::template row<Solar, Noise, Coupling::Saturation>;
        default:
            return Kernels::template row<Solar, Noise, Coupling::None>;
        }
    };
    if (plan.solar)
        return plan.noise ? coupled.template operator()<true, true>()
                          : coupled.template operator()<true, false>();
    return plan.noise ? coupled.template operator()<false, true>()
                      : coupled.template operator()<false, false>();
}

} // namespace pixmora::tone
