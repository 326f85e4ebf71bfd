// Tile: copies of a bilinear resampling of the whole picture, laid side by side.
#include "Effects.h"
#include "Parallel.h"

#include <algorithm>
#include <cstring>

namespace pixmora {

namespace {

// Pixels 0..count-1 of row j of the bilinear resampling of `s` to wd x hd.
void resampleRow(const Bitmap& s, int wd, int hd, int j, std::uint8_t* out, int count) {
    const int ws = s.width(), hs = s.height();
    const int xstep = static_cast<int>((static_cast<std::int64_t>(ws - 1) * 32768) / wd);
    const int ystep = static_cast<int>((static_cast<std::int64_t>(hs - 1) * 32768) / hd);
    const int sy = j * ystep;
    const int iy = sy >> 15, fy = sy & 32767, gy = 32768 - fy;
    const std::uint8_t* upper = s.row(iy);
    const std::uint8_t* lower = hs == 1 ? upper : s.row(iy + 1);
    const bool oneColumn = ws == 1;
    for (int i = 0; i < count; ++i) {
        const int sx = i * xstep;
        const int ix = sx >> 15, fx = sx & 32767;
        const int w10 = (fx * gy) >> 15;
        const int w00 = gy - w10;
        const int w11 = (fx * fy) >> 15;
        const int w01 = fy - w11;
        const int a = 3 * ix;
        const int b = oneColumn ? a : a + 3; // weights of the missing column are 0 then
        for (int c = 0; c < 3; ++c)
            out[3 * i + c] = static_cast<std::uint8_t>(
                (upper[a + c] * w00 + upper[b + c] * w10 + lower[a + c] * w01 + lower[b + c] * w11) >> 15);
    }
}

} // namespace

void resampleBilinear(const Bitmap& s, Bitmap& d) {
    if (s.isEmpty() || d.isEmpty())
        return;
    for (int j = 0; j < d.height(); ++j)
        resampleRow(s, d.width(), d.height(), j, d.row(j), d.width());
}

void tile(const Bitmap& source, Bitmap& result, int tileWidth, int tileHeight, const ToneRows* tone) {
    if (tileWidth <= 0 || tileHeight <= 0 || result.isEmpty() || source.isEmpty())
        return;
    const int width = result.width(), height = result.height();
    const std::size_t total = result.rowBytes();
    const int shownColumns = std::min(tileWidth, width);
    const std::size_t period = static_cast<std::size_t>(shownColumns) * 3;
    // Each row of the tile is resampled once, straight into the first result row that shows it, and
    // only as far as the picture shows it; the other rows that show it copy that row while it is in the
    // cache. No tile bitmap, and no pass over the result besides the one that writes it.
    const int tileRows = std::min(tileHeight, height);
    const int copies = (height + tileHeight - 1) / tileHeight;
    parallelRanges(tileRows, static_cast<long long>(width) * copies, [&](int begin, int end) {
        for (int j = begin; j < end; ++j) {
            std::uint8_t* first = result.row(j);
            resampleRow(source, tileWidth, tileHeight, j, first, shownColumns);
            for (std::size_t filled = period; filled < total;) {
                const std::size_t bytes = std::min(filled, total - filled);
                std::memcpy(first + filled, first, bytes);
                filled += bytes;
            }
            if (tone)
                (*tone)(j);
            for (int y = j + tileHeight; y < height; y += tileHeight) {
                std::memcpy(result.row(y), first, total);
                if (tone)
                    (*tone)(y);
            }
        }
    });
}

} // namespace pixmora
