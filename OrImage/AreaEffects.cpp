// Neighbourhood effects. All of them work in place on one bitmap, and the in-place order is part of the
// result: a pixel computed earlier in the same pass is read with its new value.
#include "Effects.h"

#include <cstring>

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

inline int splitLeft(int x, int amount) { return x - amount >= 0 ? x - amount : x; }

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
            out[3 * x + c] = static_cast<std::uint8_t>((up[l + c] + down[l + c] + up[r + c] + down[r + c]) >> 2);
    }
}

// A row whose samples all lie in two other rows: the order within the row does not matter.
void splitBlurRowFrom(std::uint8_t* __restrict out, const std::uint8_t* __restrict up,
                      const std::uint8_t* __restrict down, int width, int amount) {
    auto edge = [&](int x) {
        const int l = 3 * splitLeft(x, amount);
        const int r = 3 * splitRight(x, width, amount);
        for (int c = 0; c < 3; ++c)
            out[3 * x + c] = static_cast<std::uint8_t>((up[l + c] + down[l + c] + up[r + c] + down[r + c]) >> 2);
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
    if (x1 < x0 || y1 < y0)
        return;
    for (int pass = 0; pass < passes; ++pass)
        for (int y = y0; y <= y1; ++y)
            antiAliasRow(p.row(y), p.row(y - 1), p.row(y + 1), x0, x1);
}

} // namespace pixmora
