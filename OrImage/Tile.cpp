// Tile: copies of a bilinear resampling of the whole picture, laid side by side.
#include "Effects.h"
#include "Parallel.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace pixmora {

void resampleBilinear(const Bitmap& s, Bitmap& d) {
    const int ws = s.width(), hs = s.height();
    const int wd = d.width(), hd = d.height();
    if (ws == 0 || hs == 0 || wd == 0 || hd == 0)
        return;
    const int xstep = static_cast<int>((static_cast<std::int64_t>(ws - 1) * 32768) / wd);
    const int ystep = static_cast<int>((static_cast<std::int64_t>(hs - 1) * 32768) / hd);
    const bool oneColumn = ws == 1;
    for (int j = 0; j < hd; ++j) {
        const int sy = j * ystep;
        const int iy = sy >> 15, fy = sy & 32767, gy = 32768 - fy;
        const std::uint8_t* upper = s.row(iy);
        const std::uint8_t* lower = hs == 1 ? upper : s.row(iy + 1);
        std::uint8_t* out = d.row(j);
        for (int i = 0; i < wd; ++i) {
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
                    (upper[a + c] * w00 + upper[b + c] * w10 + lower[a + c] * w01 + lower[b + c] * w11) >>
                    15);
        }
    }
}

void tile(const Bitmap& source, Bitmap& result, int tileWidth, int tileHeight, const ToneRows* tone) {
    if (tileWidth <= 0 || tileHeight <= 0 || result.isEmpty())
        return;
    Bitmap tileBitmap(tileWidth, tileHeight);
    resampleBilinear(source, tileBitmap);
    const std::size_t total = static_cast<std::size_t>(result.width()) * 3;
    const std::size_t period = static_cast<std::size_t>(std::min(tileWidth, result.width())) * 3;
    parallelRanges(result.height(), result.width(), [&](int begin, int end) {
        for (int y = begin; y < end; ++y) {
            // One row of the tile, then the row so far copied after itself until it is full.
            std::uint8_t* out = result.row(y);
            std::memcpy(out, tileBitmap.row(y % tileHeight), period);
            for (std::size_t filled = period; filled < total;) {
                const std::size_t bytes = std::min(filled, total - filled);
                std::memcpy(out + filled, out, bytes);
                filled += bytes;
            }
            if (tone)
                (*tone)(y);
        }
    });
}

} // namespace pixmora
