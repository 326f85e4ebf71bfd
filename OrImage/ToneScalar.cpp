// Tone row kernels in plain C++: the fallback for every processor and the yardstick of the vector ones.
#include "ToneKernels.h"

#include <cstring>

namespace pixmora::tone {

namespace {

void copyRow(const TonePlan&, const std::uint8_t* in, const std::uint8_t*, std::uint8_t* out, int width) {
    std::memcpy(out, in, 3 * static_cast<std::size_t>(width));
}

// Brightness alone: a saturating add or subtract of every byte.
void brightnessRow(const TonePlan& plan, const std::uint8_t* __restrict in, const std::uint8_t*,
                   std::uint8_t* __restrict out, int width) {
    const int brightness = plan.settings.brightness;
    for (int i = 0; i < 3 * width; ++i)
        out[i] = static_cast<std::uint8_t>(ClampByte(in[i] + brightness));
}

// Every byte through one table.
void tableRow(const TonePlan& plan, const std::uint8_t* __restrict in, const std::uint8_t*,
              std::uint8_t* __restrict out, int width) {
    const std::uint8_t(&table)[256] = plan.tables.plain;
    const int bytes = 3 * width;
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
void generalRow(const TonePlan& plan, const std::uint8_t* __restrict in, const std::uint8_t* __restrict noise,
                std::uint8_t* __restrict out, int width) {
    const Tables& t = plan.tables;
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
            const int v = t.finalOut[grayFast(*plan.gray, vr, vg, vb)];
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

struct ScalarKernels {
    template <bool Solar, bool Noise, Coupling C> static constexpr ToneRow row = &generalRow<Solar, Noise, C>;
};

} // namespace

ToneRow scalarToneRow(TonePlan& plan) {
    if (plan.brightnessOnly)
        return plan.settings.brightness == 0 ? &copyRow : &brightnessRow;
    if (plan.tableOnly)
        return &tableRow;
    return pickShape<ScalarKernels>(plan);
}

} // namespace pixmora::tone
