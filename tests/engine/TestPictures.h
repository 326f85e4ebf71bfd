#pragma once

#include "Bitmap.h"

#include <cstdint>
#include <initializer_list>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace testpics {

using pixmora::Bitmap;

struct Rgb {
    int r, g, b;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline Rgb at(const Bitmap& p, int x, int y) {
    const std::uint8_t* q = p.pixel(x, y);
    return {q[2], q[1], q[0]};
}

inline void set(Bitmap& p, int x, int y, Rgb c) {
    std::uint8_t* q = p.pixel(x, y);
    q[0] = static_cast<std::uint8_t>(c.b);
    q[1] = static_cast<std::uint8_t>(c.g);
    q[2] = static_cast<std::uint8_t>(c.r);
}

// One row of the given colours.
inline Bitmap row(std::initializer_list<Rgb> colours) {
    Bitmap p(static_cast<int>(colours.size()), 1);
    int x = 0;
    for (const Rgb& c : colours)
        set(p, x++, 0, c);
    return p;
}

// One row holding grey pixels of the given channel values.
inline Bitmap greys(std::initializer_list<int> values) {
    Bitmap p(static_cast<int>(values.size()), 1);
    int x = 0;
    for (int v : values)
        set(p, x++, 0, {v, v, v});
    return p;
}

inline Bitmap flat(int w, int h, Rgb c) {
    Bitmap p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            set(p, x, y, c);
    return p;
}

// A single-channel picture (all three channels equal) from rows of values.
inline Bitmap grid(std::initializer_list<std::initializer_list<int>> rows) {
    const int h = static_cast<int>(rows.size());
    const int w = h ? static_cast<int>(rows.begin()->size()) : 0;
    Bitmap p(w, h);
    int y = 0;
    for (const auto& r : rows) {
        int x = 0;
        for (int v : r)
            set(p, x++, y, {v, v, v});
        ++y;
    }
    return p;
}

inline int channel(const Bitmap& p, int x, int y) {
    return p.pixel(x, y)[0];
}

// Random bytes everywhere.
inline Bitmap noise(int w, int h, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Bitmap p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < 3 * w; ++x)
            p.row(y)[x] = static_cast<std::uint8_t>(rng() & 0xFF);
    return p;
}

// Smooth gradients with a few flat regions and edges, closer to a photograph than pure noise.
inline Bitmap photoLike(int w, int h, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Bitmap p(w, h);
    const int cx = w ? static_cast<int>(rng() % static_cast<unsigned>(w)) : 0;
    const int cy = h ? static_cast<int>(rng() % static_cast<unsigned>(h)) : 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool inside = (x - cx) * (x - cx) + (y - cy) * (y - cy) < (w * w + h * h) / 16;
            const int jitter = static_cast<int>(rng() % 9) - 4;
            auto clamp = [](int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); };
            set(p, x, y,
                {clamp((inside ? 200 : 40) + jitter), clamp((w ? 255 * x / w : 0) + jitter),
                 clamp((h ? 255 * y / h : 0) + jitter)});
        }
    return p;
}

// Whether the padding bytes at the end of every row are still zero.
inline bool paddingIsZero(const Bitmap& p) {
    for (int y = 0; y < p.height(); ++y)
        for (std::ptrdiff_t i = 3 * static_cast<std::ptrdiff_t>(p.width()); i < p.stride(); ++i)
            if (p.row(y)[i] != 0)
                return false;
    return true;
}

// Where two pictures of one size first differ, as "x,y: r,g,b instead of r,g,b"; empty when they are equal.
inline std::string firstDifference(const Bitmap& got, const Bitmap& expected) {
    for (int y = 0; y < got.height(); ++y)
        for (int x = 0; x < got.width(); ++x)
            if (!(at(got, x, y) == at(expected, x, y))) {
                const Rgb g = at(got, x, y), e = at(expected, x, y);
                std::ostringstream text;
                text << x << "," << y << ": " << g.r << "," << g.g << "," << g.b << " instead of " << e.r
                     << "," << e.g << "," << e.b;
                return text.str();
            }
    return {};
}

// Sizes that catch edge handling: single rows and columns, sizes around the kernel reaches.
inline std::vector<std::pair<int, int>> awkwardSizes() {
    return {{1, 1}, {1, 2}, {2, 1}, {2, 2}, {3, 1}, {1, 3}, {3, 3},  {4, 4},  {5, 3},
            {3, 5}, {4, 7}, {6, 2}, {7, 6}, {8, 8}, {9, 9}, {13, 5}, {2, 17}, {31, 19}};
}

} // namespace testpics
