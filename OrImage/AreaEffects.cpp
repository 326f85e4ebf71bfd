// Neighbourhood effects. All of them work in place on one bitmap, and the in-place order is part of the
// result: a pixel computed earlier in the same pass is read with its new value.
#include "Effects.h"
#include "KernelLevel.h"

#include <algorithm>
#include <cstring>

#if PIXMORA_X86
#include <emmintrin.h>
#endif

namespace pixmora {

namespace {

// --- emboss -------------------------------------------------------------------------------------------

// Averages each byte of `row` with the inverted byte three pixels to the right in `other` (the pixel
// straight across for the last three columns).
void embossRow(std::uint8_t* __restrict row, const std::uint8_t* __restrict other, int width) {
    const int shifted = width > 3 ? (width - 3) * 3 : 0;
    for (int i = 0; i < shifted; ++i)
        row[i] = static_cast<std::uint8_t>((row[i] + 255 - other[i + 9]) >> 1);
    for (int i = shifted; i < width * 3; ++i)
        row[i] = static_cast<std::uint8_t>((row[i] + 255 - other[i]) >> 1);
}

// --- split blur ---------------------------------------------------------------------------------------

struct SplitRows {
    int up;
    int down;
};

SplitRows splitRows(int y, int height, int amount) {
    const int up = y - amount >= 0 ? y - amount : y;
    int down = y + amount < height ? y + amount : height - y;
    if (down >= height) // row 0 with an amount that reaches the height: the last row stands in
        down = height - 1;
    return {up, down};
}

inline int splitLeft(int x, int amount) {
    return x - amount >= 0 ? x - amount : x;
}

inline int splitRight(int x, int width, int amount) {
    if (x + amount < width)
        return x + amount;
    const int r = width - x;
    return r >= width ? width - 1 : r; // column 0 with an amount that reaches the width
}

// The literal in-place order, for rows whose samples include the row itself.
void splitBlurRowInPlace(Bitmap& p, int y, SplitRows rows, int amount) {
    const int width = p.width();
    std::uint8_t* out = p.row(y);
    const std::uint8_t* up = p.row(rows.up);
    const std::uint8_t* down = p.row(rows.down);
    for (int x = 0; x < width; ++x) {
        const int l = 3 * splitLeft(x, amount);
        const int r = 3 * splitRight(x, width, amount);
        for (int c = 0; c < 3; ++c)
            out[3 * x + c] =
                static_cast<std::uint8_t>((up[l + c] + down[l + c] + up[r + c] + down[r + c]) >> 2);
    }
}

// A row whose samples all lie in two other rows: the order within the row does not matter.
void splitBlurRowFrom(std::uint8_t* __restrict out, const std::uint8_t* __restrict up,
                      const std::uint8_t* __restrict down, int width, int amount) {
    auto edge = [&](int x) {
        const int l = 3 * splitLeft(x, amount);
        const int r = 3 * splitRight(x, width, amount);
        for (int c = 0; c < 3; ++c)
            out[3 * x + c] =
                static_cast<std::uint8_t>((up[l + c] + down[l + c] + up[r + c] + down[r + c]) >> 2);
    };
    const int innerBegin = amount < width ? amount : width;
    const int innerEnd = width - amount > innerBegin ? width - amount : innerBegin;
    for (int x = 0; x < innerBegin; ++x)
        edge(x);
    // Inner columns: left = x - amount, right = x + amount.
    const int s = 3 * amount;
    for (int i = 3 * innerBegin; i < 3 * innerEnd; ++i)
        out[i] = static_cast<std::uint8_t>((up[i - s] + down[i - s] + up[i + s] + down[i + s]) >> 2);
    for (int x = innerEnd; x < width; ++x)
        edge(x);
}

// --- antialias ----------------------------------------------------------------------------------------

// One row of one pass: each inner pixel becomes the mean of its four neighbours, the left one already
// holding its new value.
void antiAliasRow(std::uint8_t* __restrict row, const std::uint8_t* __restrict up,
                  const std::uint8_t* __restrict down, int x0, int x1) {
    int b = row[3 * x0 - 3], g = row[3 * x0 - 2], r = row[3 * x0 - 1];
    for (int x = x0; x <= x1; ++x) {
        const int i = 3 * x;
        b = (up[i] + down[i] + row[i + 3] + b) >> 2;
        g = (up[i + 1] + down[i + 1] + row[i + 4] + g) >> 2;
        r = (up[i + 2] + down[i + 2] + row[i + 5] + r) >> 2;
        row[i] = static_cast<std::uint8_t>(b);
        row[i + 1] = static_cast<std::uint8_t>(g);
        row[i + 2] = static_cast<std::uint8_t>(r);
    }
}

#if PIXMORA_X86
// --- antialias, vector rows ---------------------------------------------------------------------------
// A row goes through in chunks, each in three steps over 16-bit lanes (three per pixel): the sums that do
// not depend on the new values of the row, a serial walk from left to right, and the narrowing back to
// bytes, which writes exactly the inner pixels and never the border columns.

constexpr int AntiAliasChunk = 256; // pixels: both lane buffers stay in the first-level cache

// Up + down + right of every channel.
inline void neighbourSums(const std::uint8_t* __restrict up, const std::uint8_t* __restrict down,
                          const std::uint8_t* __restrict right, std::uint16_t* __restrict sums, int count) {
    for (int i = 0; i < count; ++i)
        sums[i] = static_cast<std::uint16_t>(up[i] + down[i] + right[i]);
}

// Every value is a byte already.
inline void narrowValues(const std::uint16_t* __restrict values, std::uint8_t* __restrict out, int count) {
    for (int i = 0; i < count; ++i)
        out[i] = static_cast<std::uint8_t>(values[i]);
}

// The walk, one pixel's three channels in one register (the fourth lane is a spare that belongs to the
// next pixel), two pixels per step: with s0, s1 the sums of two neighbours and a the new pixel left of
// them, floor((s1 + floor((s0 + a) / 4)) / 4) equals floor((4 s1 + s0 + a) / 16), so the second pixel
// does not wait for the first. The saturating add never saturates (the lanes stay below 4096); it only
// keeps the compiler from sharing s0 + a with the first pixel, which would put two adds on the chain.
// Returns the last pixel.
inline __m128i walkPairs(const std::uint16_t* __restrict sums, std::uint16_t* __restrict values, int pixels,
                         __m128i left) {
    auto load = [](const std::uint16_t* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); };
    auto store = [](std::uint16_t* p, __m128i v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v); };
    const std::uint16_t* const pairsEnd = sums + 3 * (pixels & ~1);
    for (; sums != pairsEnd; sums += 6, values += 6) {
        const __m128i s0 = load(sums), s1 = load(sums + 3);
        // Each store also writes the spare lane, which the next store then replaces.
        store(values, _mm_srli_epi16(_mm_add_epi16(s0, left), 2));
        left = _mm_srli_epi16(_mm_adds_epu16(_mm_add_epi16(_mm_slli_epi16(s1, 2), s0), left), 4);
        store(values + 3, left);
    }
    if (pixels & 1) {
        left = _mm_srli_epi16(_mm_add_epi16(load(sums), left), 2);
        store(values, left);
    }
    return left;
}

void antiAliasRowSse2(std::uint8_t* row, const std::uint8_t* up, const std::uint8_t* down, int x0, int x1) {
    std::uint16_t sums[3 * AntiAliasChunk + 1], values[3 * AntiAliasChunk + 1];
    __m128i left = _mm_unpacklo_epi8(_mm_loadu_si32(row + 3 * x0 - 3), _mm_setzero_si128());
    for (int x = x0; x <= x1; x += AntiAliasChunk) {
        const int pixels = std::min(AntiAliasChunk, x1 - x + 1);
        std::uint8_t* inner = row + 3 * x;
        neighbourSums(up + 3 * x, down + 3 * x, inner + 3, sums, 3 * pixels);
        sums[3 * pixels] = 0; // the spare lane of the last pixel
        left = walkPairs(sums, values, pixels, left);
        narrowValues(values, inner, 3 * pixels);
    }
}
#endif

} // namespace

void emboss(Bitmap& p) {
    const int height = p.height();
    if (height < 2) // a single row has no neighbour row: it stays as it is
        return;
    for (int y = 0; y + 1 < height; ++y)
        embossRow(p.row(y), p.row(y + 1), p.width());
    embossRow(p.row(height - 1), p.row(height - 2), p.width());
}

void mosaic(Bitmap& p, int n) {
    if (n <= 1)
        return;
    const int width = p.width();
    const int height = p.height();
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    for (int top = 0; top < height; top += n) {
        // The band's first row holds every block's top-left pixel; each block takes that colour, and
        // the rest of the band repeats the row.
        std::uint8_t* first = p.row(top);
        for (int left = 0; left < width; left += n) {
            const std::uint8_t* corner = first + 3 * left;
            const std::uint8_t b = corner[0], g = corner[1], r = corner[2];
            const int right = left + n < width ? left + n : width;
            for (int x = left + 1; x < right; ++x) {
                first[3 * x] = b;
                first[3 * x + 1] = g;
                first[3 * x + 2] = r;
            }
        }
        const int bottom = top + n < height ? top + n : height;
        for (int y = top + 1; y < bottom; ++y)
            std::memcpy(p.row(y), first, rowBytes);
    }
}

void splitBlur(Bitmap& p, int amount) {
    if (amount <= 0)
        return;
    const int height = p.height();
    for (int y = 0; y < height; ++y) {
        const SplitRows rows = splitRows(y, height, amount);
        if (rows.up == y || rows.down == y)
            splitBlurRowInPlace(p, y, rows, amount);
        else
            splitBlurRowFrom(p.row(y), p.row(rows.up), p.row(rows.down), p.width(), amount);
    }
}

void gaussianBlur(Bitmap& p, int strength) {
    for (int pass = 0; pass <= strength; ++pass)
        splitBlur(p, 3);
}

void antiAlias(Bitmap& p, int passes) {
    const int x0 = 1, y0 = 1;
    const int x1 = p.width() - 2, y1 = p.height() - 2;
    if (x1 < x0 || y1 < y0 || passes <= 0)
        return;
    auto rowKernel = &antiAliasRow;
#if PIXMORA_X86
    if (kernelLevel() >= KernelLevel::Sse2) // wider instruction sets gain nothing on the serial walk
        rowKernel = &antiAliasRowSse2;
#endif
    // Pass q of row r needs row r - 1 after pass q, and rows r and r + 1 after pass q - 1 only. So a group
    // of passes runs as a wavefront: each step moves every pass of the group down one row, each pass one
    // row behind the one before. The rows in flight stay in the second-level cache, where one pass at a
    // time would stream the whole picture through memory once per pass.
    constexpr std::ptrdiff_t CacheBudget = 512 * 1024;
    const int maxGroup = static_cast<int>(std::max<std::ptrdiff_t>(1, CacheBudget / p.stride() - 3));
    const int sweeps = (passes + maxGroup - 1) / maxGroup;
    const int group = (passes + sweeps - 1) / sweeps;
    for (int done = 0; done < passes; done += group) {
        const int count = std::min(group, passes - done);
        for (int y = y0; y < y1 + count; ++y)
            for (int q = std::max(0, y - y1); q < count && q <= y - y0; ++q)
                rowKernel(p.row(y - q), p.row(y - q - 1), p.row(y - q + 1), x0, x1);
    }
}

} // namespace pixmora
