// Noise layers. The generator's sequence decides every byte, so a layer is drawn as one stream in pixel
// order; threads take bands of rows and start where the one-at-a-time generator would be at their first
// pixel, by jumping there.
#include "Effects.h"
#include "Parallel.h"

namespace pixmora {

LcgJump LcgJump::steps(std::uint64_t count) {
    LcgJump result;
    LcgJump power{NoiseGenerator::Multiplier, 1u}; // one step
    for (; count != 0; count >>= 1) {
        if (count & 1)
            result = result.then(power);
        power = power.then(power);
    }
    return result;
}

std::uint32_t NoiseGenerator::advance(std::uint32_t state, std::uint64_t steps) {
    return LcgJump::steps(steps)(state);
}

namespace {

struct Draws {
    std::uint32_t state;
    std::uint32_t range;
    std::int64_t half;

    std::uint8_t sample() {
        state = state * NoiseGenerator::Multiplier + 1u;
        const auto draw = static_cast<std::int64_t>((static_cast<std::uint64_t>(state) * range) >> 32);
        return static_cast<std::uint8_t>(ClampByte(draw - half));
    }
};

template <int DrawsPerPixel> void fillNoise(Bitmap& layer, int n) {
    const int width = layer.width();
    const std::uint32_t start = NoiseGenerator::state();
    const std::uint64_t drawsPerRow = static_cast<std::uint64_t>(width) * DrawsPerPixel;
    parallelRanges(layer.height(), width, [&](int begin, int end) {
        Draws draws{NoiseGenerator::advance(start, drawsPerRow * static_cast<std::uint64_t>(begin)),
                    static_cast<std::uint32_t>(n), n / 2};
        for (int y = begin; y < end; ++y) {
            std::uint8_t* p = layer.row(y);
            for (int x = 0; x < width; ++x, p += 3) {
                if constexpr (DrawsPerPixel == 3) {
                    // Drawn in the order red, green, blue; stored blue, green, red.
                    p[2] = draws.sample();
                    p[1] = draws.sample();
                    p[0] = draws.sample();
                } else {
                    p[0] = p[1] = p[2] = draws.sample();
                }
            }
        }
    });
    NoiseGenerator::setState(
        NoiseGenerator::advance(start, drawsPerRow * static_cast<std::uint64_t>(layer.height())));
}

} // namespace

void fillColorNoise(Bitmap& layer, int n) {
    fillNoise<3>(layer, n);
}

void fillMonoNoise(Bitmap& layer, int n) {
    fillNoise<1>(layer, n);
}

} // namespace pixmora
