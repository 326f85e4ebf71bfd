#include "Effects.h"

namespace pixmora {

namespace {

inline std::uint8_t sample(std::uint32_t range, std::int64_t half) {
    return static_cast<std::uint8_t>(
        ClampByte(static_cast<std::int64_t>(NoiseGenerator::draw(range)) - half));
}

} // namespace

void fillColorNoise(Bitmap& layer, int n) {
    const std::uint32_t range = static_cast<std::uint32_t>(n);
    const std::int64_t half = n / 2;
    for (int y = 0; y < layer.height(); ++y) {
        std::uint8_t* p = layer.row(y);
        for (int x = 0; x < layer.width(); ++x, p += 3) {
            // Drawn in the order red, green, blue; stored blue, green, red.
            p[2] = sample(range, half);
            p[1] = sample(range, half);
            p[0] = sample(range, half);
        }
    }
}

void fillMonoNoise(Bitmap& layer, int n) {
    const std::uint32_t range = static_cast<std::uint32_t>(n);
    const std::int64_t half = n / 2;
    for (int y = 0; y < layer.height(); ++y) {
        std::uint8_t* p = layer.row(y);
        for (int x = 0; x < layer.width(); ++x, p += 3)
            p[0] = p[1] = p[2] = sample(range, half);
    }
}

} // namespace pixmora
