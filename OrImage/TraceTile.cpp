#include "Effects.h"
#include "Parallel.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace pixmora {

namespace {

// The 256-colour reduction that trace compares on: six levels per channel, no dithering.
struct IndexTable {
    std::uint8_t level[256];
    IndexTable() {
        for (int c = 0; c < 256; ++c)
            level[c] = static_cast<std::uint8_t>((c + 25) / 51);
    }
};

std::vector<std::uint8_t> indexCopy(const Bitmap& p) {
    static const IndexTable table;
    const int width = p.width();
    std::vector<std::uint8_t> indices(static_cast<std::size_t>(width) * static_cast<std::size_t>(p.height()));
    std::uint8_t* out = indices.data();
    for (int y = 0; y < p.height(); ++y) {
        const std::uint8_t* in = p.row(y);
        for (int x = 0; x < width; ++x, in += 3)
            *out++ = static_cast<std::uint8_t>(36 * table.level[in[2]] + 6 * table.level[in[1]] +
                                               table.level[in[0]]);
    }
    return indices;
}

class Tracer {
public:
    Tracer(Bitmap& picture, const std::vector<std::uint8_t>& indices)
        : m_picture(picture), m_indices(indices), m_width(picture.width()) {}

    void forwardScan() {
        const int lastX = m_width < 3 ? 0 : m_width - 3;
        for (int y = 0; y + 1 < m_picture.height(); ++y)
            for (int x = 0; x <= lastX; ++x) {
                if (x + 1 < m_width)
                    edge(x, y, x + 1, y);
                edge(x, y, x, y + 1);
            }
    }

    void backwardScan() {
        const int firstX = m_width < 3 ? m_width - 1 : 2;
        for (int y = m_picture.height() - 1; y >= 1; --y)
            for (int x = m_width - 1; x >= firstX; --x) {
                if (x >= 1)
                    edge(x, y, x - 1, y);
                edge(x, y, x, y - 1);
            }
    }

private:
    int index(int x, int y) const { return m_indices[static_cast<std::size_t>(y) * m_width + x]; }
    void mark(int x, int y) {
        std::uint8_t* p = m_picture.pixel(x, y);
        p[0] = p[1] = p[2] = 0;
    }
    // At a border the pixel on the side that is not the reference colour is blackened; the reference
    // is the colour met across the first border of the whole trace.
    void edge(int px, int py, int qx, int qy) {
        const int p = index(px, py);
        const int q = index(qx, qy);
        if (p == q)
            return;
        if (!m_haveReference) {
            m_reference = q;
            m_haveReference = true;
            mark(px, py);
        } else if (p != m_reference) {
            mark(px, py);
        } else {
            mark(qx, qy);
        }
    }

    Bitmap& m_picture;
    const std::vector<std::uint8_t>& m_indices;
    int m_width;
    bool m_haveReference = false;
    int m_reference = 0;
};

} // namespace

void trace(const Bitmap& source, Bitmap& result, int intensity) {
    for (int y = 0; y < source.height(); ++y)
        std::memcpy(result.row(y), source.row(y), static_cast<std::size_t>(source.width()) * 3);
    if (intensity <= 0 || source.isEmpty())
        return;
    const std::vector<std::uint8_t> indices = indexCopy(source);
    Tracer tracer(result, indices);
    // The index copy never changes and the reference is fixed at the first border, so a pass repeats
    // every mark of the passes before it: the first forward and the first backward scan give them all.
    tracer.forwardScan();
    if (intensity >= 2)
        tracer.backwardScan();
}

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

void tile(const Bitmap& source, Bitmap& result, int tileWidth, int tileHeight) {
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
        }
    });
}

} // namespace pixmora
