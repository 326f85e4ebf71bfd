#include "Reference.h"

#include <cmath>
#include <cstdlib>

namespace reference {

namespace {

int clampByte(std::int64_t x) {
    return x > 255 ? 255 : (x < 0 ? 0 : static_cast<int>(x));
}

int get(const Bitmap& p, int x, int y, int c) {
    return p.pixel(x, y)[c];
}
void put(Bitmap& p, int x, int y, int c, int v) {
    p.pixel(x, y)[c] = static_cast<std::uint8_t>(v);
}

} // namespace

long double nearest(long double x) {
    // Round half to even, written out.
    const long double f = std::floor(x);
    const long double diff = x - f;
    if (diff < 0.5L)
        return f;
    if (diff > 0.5L)
        return f + 1;
    return std::fmod(f, 2.0L) == 0 ? f : f + 1;
}

int grayValue(int r, int g, int b) {
    const long double sum = (static_cast<long double>(r) * 0.3L + static_cast<long double>(g) * 0.59L) +
                            static_cast<long double>(b) * 0.11L;
    return static_cast<int>(nearest(sum));
}

int splitlightOnce(int c) {
    const long double pi = 3.14159265358979323846264338327950288L;
    const long double arg = ((static_cast<long double>(c) / 255.0L) * pi) / 2.0L;
    const double product = static_cast<double>(sinl(arg) * 255.0L);
    return static_cast<int>(nearest(product));
}

void renderTone(const Bitmap& input, const Bitmap* noise, Bitmap& output, const ToneSettings& s) {
    for (int y = 0; y < input.height(); ++y)
        for (int x = 0; x < input.width(); ++x) {
            std::int64_t ch[3];
            for (int c = 0; c < 3; ++c)
                ch[c] = get(input, x, y, c);
            // 1. posterize or solorize
            if (s.posterize != 0) {
                for (auto& c : ch)
                    c = static_cast<std::int64_t>(nearest(static_cast<long double>(c) / s.posterize)) *
                        s.posterize;
            } else if (s.solorize != 0) {
                const std::int64_t m = (ch[0] + ch[1] + ch[2]) / 3;
                if (m > 255 - s.solorize)
                    for (auto& c : ch)
                        c = 255 - c;
            }
            // 2. and 3. offsets from the same values, summed and clamped
            for (int c = 0; c < 3; ++c) {
                const std::int64_t v = ch[c];
                const std::int64_t n = noise ? get(*noise, x, y, c) : 0;
                std::int64_t k = 0, l = 0, d = 0;
                if (s.contrast != 0) {
                    k = (std::llabs(127 - v) * s.contrast) / 255;
                    if (v <= 127)
                        k = -k;
                }
                if (s.lightness != 0)
                    l = (static_cast<std::int64_t>(s.lightness) * (255 - v)) / 255;
                if (s.darkness != 0)
                    d = (-(v * s.darkness)) / 255;
                ch[c] = clampByte(v + n + k + l + d + s.brightness);
            }
            // 4. splitlight
            for (int i = 0; i < s.splitlight; ++i)
                for (auto& c : ch)
                    c = splitlightOnce(static_cast<int>(c));
            // 5. grey scale or saturation (channels are B, G, R here)
            if (s.grayScale) {
                const int g =
                    grayValue(static_cast<int>(ch[2]), static_cast<int>(ch[1]), static_cast<int>(ch[0]));
                ch[0] = ch[1] = ch[2] = g;
            } else if (s.saturation != 0) {
                const std::int64_t m = (ch[0] + ch[1] + ch[2]) / 3;
                for (auto& c : ch)
                    c = clampByte(((c - m) * (static_cast<std::int64_t>(s.saturation) + 255)) / 255 + m);
            }
            // 6. write, inverted or not
            for (int c = 0; c < 3; ++c)
                put(output, x, y, c, static_cast<int>(s.invert ? 255 - ch[c] : ch[c]));
        }
}

void emboss(Bitmap& p) {
    const int w = p.width(), h = p.height();
    if (h < 2)
        return;
    auto step = [&](int y, int other) {
        for (int x = 0; x <= w - 4; ++x)
            for (int c = 0; c < 3; ++c)
                put(p, x, y, c, (get(p, x, y, c) + 255 - get(p, x + 3, other, c)) / 2);
        for (int x = std::max(0, w - 3); x <= w - 1; ++x)
            for (int c = 0; c < 3; ++c)
                put(p, x, y, c, (get(p, x, y, c) + 255 - get(p, x, other, c)) / 2);
    };
    for (int y = 0; y <= h - 2; ++y)
        step(y, y + 1);
    step(h - 1, h - 2);
}

void mosaic(Bitmap& p, int n) {
    for (int by = 0; by < p.height(); by += n)
        for (int bx = 0; bx < p.width(); bx += n) {
            int col[3];
            for (int c = 0; c < 3; ++c)
                col[c] = get(p, bx, by, c);
            for (int y = by; y < by + n && y < p.height(); ++y)
                for (int x = bx; x < bx + n && x < p.width(); ++x)
                    for (int c = 0; c < 3; ++c)
                        put(p, x, y, c, col[c]);
        }
}

void splitBlur(Bitmap& p, int a) {
    if (a <= 0)
        return;
    const int w = p.width(), h = p.height();
    for (int y = 0; y < h; ++y) {
        const int u = y - a >= 0 ? y - a : y;
        int d = y + a < h ? y + a : h - y;
        if (d == h)
            d = h - 1;
        for (int x = 0; x < w; ++x) {
            const int l = x - a >= 0 ? x - a : x;
            int r = x + a < w ? x + a : w - x;
            if (r == w)
                r = w - 1;
            for (int c = 0; c < 3; ++c)
                put(p, x, y, c, (get(p, l, u, c) + get(p, l, d, c) + get(p, r, u, c) + get(p, r, d, c)) / 4);
        }
    }
}

void gaussianBlur(Bitmap& p, int g) {
    for (int i = 0; i < g + 1; ++i)
        reference::splitBlur(p, 3);
}

void antiAlias(Bitmap& p, int n) {
    for (int pass = 0; pass < n; ++pass) {
        int x0 = 0, y0 = 0, x1 = p.width(), y1 = p.height();
        x0 = std::max(1, x0);
        y0 = std::max(1, y0);
        x1 = std::min(p.width() - 2, x1);
        y1 = std::min(p.height() - 2, y1);
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                for (int c = 0; c < 3; ++c)
                    put(p, x, y, c,
                        (get(p, x, y - 1, c) + get(p, x, y + 1, c) + get(p, x - 1, y, c) +
                         get(p, x + 1, y, c)) /
                            4);
    }
}

int traceIndex(const std::uint8_t* bgr) {
    auto q = [](int c) { return (c + 25) / 51; };
    return 36 * q(bgr[2]) + 6 * q(bgr[1]) + q(bgr[0]);
}

void trace(Bitmap& p, int n) {
    const int w = p.width(), h = p.height();
    std::vector<int> idx(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            idx[static_cast<std::size_t>(y) * w + x] = traceIndex(p.pixel(x, y));
    auto C = [&](int x, int y) { return idx[static_cast<std::size_t>(y) * w + x]; };
    auto mark = [&](int x, int y) {
        for (int c = 0; c < 3; ++c)
            put(p, x, y, c, 0);
    };
    bool first = false;
    int ref = 0;
    auto rule = [&](int px, int py, int qx, int qy) {
        if (qx < 0 || qx >= w || qy < 0 || qy >= h)
            return; // the neighbour does not exist
        if (C(qx, qy) == C(px, py))
            return;
        if (!first) {
            ref = C(qx, qy);
            first = true;
            mark(px, py);
        } else if (C(px, py) != ref) {
            mark(px, py);
        } else {
            mark(qx, qy);
        }
    };
    for (int i = 1; i <= n; ++i) {
        const int lastX = w < 3 ? 0 : w - 3;
        for (int y = 0; y <= h - 2; ++y)
            for (int x = 0; x <= lastX; ++x) {
                rule(x, y, x + 1, y);
                rule(x, y, x, y + 1);
            }
        if (i >= 2) {
            const int firstX = w < 3 ? w - 1 : 2;
            for (int y = h - 1; y >= 1; --y)
                for (int x = w - 1; x >= firstX; --x) {
                    rule(x, y, x - 1, y);
                    rule(x, y, x, y - 1);
                }
        }
    }
}

void resampleBilinear(const Bitmap& s, Bitmap& d) {
    const int ws = s.width(), hs = s.height(), wd = d.width(), hd = d.height();
    const int xstep = ((ws - 1) * 32768) / wd;
    const int ystep = ((hs - 1) * 32768) / hd;
    for (int j = 0; j < hd; ++j) {
        const int sy = j * ystep;
        const int iy = sy / 32768, fy = sy % 32768, gy = 32768 - fy;
        const int upper = iy, lower = hs == 1 ? iy : iy + 1;
        for (int i = 0; i < wd; ++i) {
            const int sx = i * xstep;
            const int ix = sx / 32768, fx = sx % 32768;
            const int w10 = (fx * gy) / 32768, w00 = gy - w10, w11 = (fx * fy) / 32768, w01 = fy - w11;
            const int ix1 = ws == 1 ? ix : ix + 1;
            for (int c = 0; c < 3; ++c)
                put(d, i, j, c,
                    (get(s, ix, upper, c) * w00 + get(s, ix1, upper, c) * w10 + get(s, ix, lower, c) * w01 +
                     get(s, ix1, lower, c) * w11) /
                        32768);
        }
    }
}

void tile(Bitmap& area, const Bitmap& source, int tw, int th) {
    Bitmap t(tw, th);
    reference::resampleBilinear(source, t);
    const int W = source.width(), H = source.height();
    for (int r = 0; r * th <= H; ++r)
        for (int c = 0; c * tw <= W; ++c)
            for (int y = 0; y < th; ++y)
                for (int x = 0; x < tw; ++x) {
                    const int X = c * tw + x, Y = r * th + y;
                    if (X < W && Y < H)
                        for (int k = 0; k < 3; ++k)
                            put(area, X, Y, k, get(t, x, y, k));
                }
}

std::uint32_t Generator::draw(std::uint32_t n) {
    state = static_cast<std::uint32_t>((static_cast<std::uint64_t>(state) * 134775813u + 1u) % 4294967296u);
    return static_cast<std::uint32_t>((static_cast<std::uint64_t>(state) * n) / 4294967296u);
}

void colorNoise(Bitmap& layer, int n, Generator& g) {
    for (int y = 0; y < layer.height(); ++y)
        for (int x = 0; x < layer.width(); ++x) {
            const int r = clampByte(static_cast<std::int64_t>(g.draw(n)) - n / 2);
            const int gr = clampByte(static_cast<std::int64_t>(g.draw(n)) - n / 2);
            const int b = clampByte(static_cast<std::int64_t>(g.draw(n)) - n / 2);
            put(layer, x, y, 2, r);
            put(layer, x, y, 1, gr);
            put(layer, x, y, 0, b);
        }
}

void monoNoise(Bitmap& layer, int n, Generator& g) {
    for (int y = 0; y < layer.height(); ++y)
        for (int x = 0; x < layer.width(); ++x) {
            const int s = clampByte(static_cast<std::int64_t>(g.draw(n)) - n / 2);
            for (int c = 0; c < 3; ++c)
                put(layer, x, y, c, s);
        }
}

} // namespace reference
