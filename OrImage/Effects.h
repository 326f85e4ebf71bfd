#pragma once

#include "Bitmap.h"

#include <cstdint>
#include <memory>

// The pixel work of the effect image component, as plain functions over working bitmaps. The engine
// decides when each one runs; these only compute.
namespace pixmora {

constexpr int ClampByte(std::int64_t x) {
    return x > 255 ? 255 : (x < 0 ? 0 : static_cast<int>(x));
}
constexpr int IntMin(int a, int b) {
    return a < b ? a : b;
}
constexpr int IntMax(int a, int b) {
    return a > b ? a : b;
}

// --- tone effects (one pixel at a time) -------------------------------------------------------------
struct ToneSettings {
    int brightness = 0;
    int contrast = 0;
    int lightness = 0;
    int darkness = 0;
    int saturation = 0;
    int splitlight = 0; // 0..10
    int posterize = 0;  // >= 0
    int solorize = 0;   // 0..255
    bool grayScale = false;
    bool invert = false;
    friend bool operator==(const ToneSettings&, const ToneSettings&) = default;
};

// Renders input (plus the noise layer, when given) into output, which has the input's size.
void renderTone(const Bitmap& input, const Bitmap* noise, Bitmap& output, const ToneSettings& settings);

namespace tone {
struct TonePlan;
}

// The same pass a part of a row at a time, from any thread: for a kernel that renders the rows of its
// result as it finishes them, while they are still in the cache.
class ToneRows {
public:
    ToneRows(const Bitmap& input, const Bitmap* noise, Bitmap& output, const ToneSettings& settings);
    ~ToneRows();
    ToneRows(const ToneRows&) = delete;
    ToneRows& operator=(const ToneRows&) = delete;
    // Pixels x0..x1-1 of row y.
    void operator()(int y, int x0, int x1) const;
    void operator()(int y) const { (*this)(y, 0, m_input.width()); }
    // Row y into `row` (the input's row bytes) instead of the output: for a pass in place, whose row
    // kernels must not write the row they read.
    void intoRow(int y, std::uint8_t* row) const;

private:
    std::shared_ptr<const tone::TonePlan> m_plan;
    const Bitmap& m_input;
    const Bitmap* m_noise;
    Bitmap& m_output;
};

// The splitlight curve applied `times` times to one channel value.
int splitlightValue(int c, int times);
// The grey value of a pixel, as the extended-precision weighted sum rounded to nearest, ties to even.
int grayValue(int r, int g, int b);

// --- neighbourhood effects ---------------------------------------------------------------------------
// Each writes into `result` (another bitmap of the source's size) what the effect gives when it works in
// place on a copy of `source`, in its own order. With `tone`, every pixel of the result also goes through
// that pass (of input `result`) once it is final.
void emboss(const Bitmap& source, Bitmap& result, const ToneRows* tone = nullptr);
void mosaic(const Bitmap& source, Bitmap& result, int blockSize, const ToneRows* tone = nullptr);
void splitBlur(const Bitmap& source, Bitmap& result, int amount, const ToneRows* tone = nullptr);
// strength + 1 split blurs of 3
void gaussianBlur(const Bitmap& source, Bitmap& result, int strength, const ToneRows* tone = nullptr);
void antiAlias(const Bitmap& source, Bitmap& result, int passes, const ToneRows* tone = nullptr);
void trace(const Bitmap& source, Bitmap& result, int intensity, const ToneRows* tone = nullptr);
// Copies of the bilinear resampling of `source` to tileWidth x tileHeight, laid over `result` from its
// top-left corner and clipped at its edges.
void tile(const Bitmap& source, Bitmap& result, int tileWidth, int tileHeight,
          const ToneRows* tone = nullptr);
// The result as a copy of the source, for an effect whose setting leaves the picture as it is.
void copyRows(const Bitmap& source, Bitmap& result, const ToneRows* tone = nullptr);
// Fills `destination` (of its own size) with the bilinear resampling of the whole `source`.
void resampleBilinear(const Bitmap& source, Bitmap& destination);

// --- noise ------------------------------------------------------------------------------------------
// The process-wide generator: a 32-bit linear congruential generator that starts at 0 and is never
// reseeded. Only the noise layers draw from it.
class NoiseGenerator {
public:
    static constexpr std::uint32_t Multiplier = 134775813u;

    static std::uint32_t state() { return s_state; }
    static void setState(std::uint32_t state) { s_state = state; } // tests and tools only
    // One draw in 0..range-1 (range >= 1).
    static std::uint32_t draw(std::uint32_t range) {
        s_state = s_state * Multiplier + 1u;
        return static_cast<std::uint32_t>((static_cast<std::uint64_t>(s_state) * range) >> 32);
    }
    // The state `steps` draws after `state`, without drawing them.
    static std::uint32_t advance(std::uint32_t state, std::uint64_t steps);

private:
    static inline std::uint32_t s_state = 0;
};

// The generator's jump of a fixed number of steps: state -> multiplier * state + increment. Jumps compose,
// so any distance takes a handful of them.
struct LcgJump {
    std::uint32_t multiplier = 1;
    std::uint32_t increment = 0;

    static LcgJump steps(std::uint64_t count);
    std::uint32_t operator()(std::uint32_t state) const { return multiplier * state + increment; }
    // This jump, then `next`.
    LcgJump then(const LcgJump& next) const {
        return {next.multiplier * multiplier, next.multiplier * increment + next.increment};
    }
};

// Fill a layer (already of the picture's size) with noise offsets of strength n >= 1.
void fillColorNoise(Bitmap& layer, int n);
void fillMonoNoise(Bitmap& layer, int n);

} // namespace pixmora
