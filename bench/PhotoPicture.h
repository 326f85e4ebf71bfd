#pragma once

#include "Bitmap.h"

#include <cstdint>
#include <random>

// The benchmarks' photo-like picture: smooth gradients, a bright disc with a hard edge, and a little
// noise, the same bytes in every run.
inline pixmora::Bitmap photoPicture(int width, int height) {
    pixmora::Bitmap p(width, height);
    std::mt19937 rng(42);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = p.row(y);
        for (int x = 0; x < width; ++x) {
            const int jitter = static_cast<int>(rng() % 17) - 8;
            const bool disc = (x - 2500) * (x - 2500) + (y - 1200) * (y - 1200) < 900 * 900;
            auto clamp = [](int v) { return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); };
            row[3 * x] = clamp(255 * y / height + jitter);
            row[3 * x + 1] = clamp(255 * x / width + jitter);
            row[3 * x + 2] = clamp((disc ? 210 : 50) + jitter);
        }
    }
    return p;
}
