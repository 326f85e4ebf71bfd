// Trace: black outlines along the borders between the regions of a 256-colour copy of the picture.
//
// The scans compare fixed pairs of neighbours of the copy, which never changes, and the only state they
// carry is the reference colour fixed at the first border met. Once that colour is known, every pair
// decides on its own which of its pixels turns black, and a mark can be made twice without harm: so a
// pixel's fate depends only on its own colour and those of its four neighbours, and the picture can be
// traced row by row, on any number of threads, straight from the source into the result.
#include "Effects.h"
#include "KernelLevel.h"
#include "Parallel.h"
#include "Vector512.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#if PIXMORA_X86
#include <immintrin.h>
#endif

namespace pixmora {

namespace {

// The 256-colour reduction that trace compares on: six levels per channel, no dithering. A pixel's index
// is the sum of one table entry per channel.
struct IndexTables {
    std::uint8_t blue[256], green[256], red[256];
    IndexTables() {
        for (int c = 0; c < 256; ++c) {
            const int level = (c + 25) / 51;
            blue[c] = static_cast<std::uint8_t>(level);
            green[c] = static_cast<std::uint8_t>(6 * level);
            red[c] = static_cast<std::uint8_t>(36 * level);
        }
    }
};

const IndexTables& indexTables() {
    static const IndexTables tables;
    return tables;
}

void indexRow(const std::uint8_t* pixels, int width, std::uint8_t* out) {
    const IndexTables& t = indexTables();
    for (int x = 0; x < width; ++x, pixels += 3)
        out[x] = static_cast<std::uint8_t>(t.blue[pixels[0]] + t.green[pixels[1]] + t.red[pixels[2]]);
}

// Which pairs the scans compare: the forward scan pairs (x, y) with its right and lower neighbours for
// x <= lastX and y <= H - 2; the backward scan (from the second pass on) pairs (x, y) with its left and
// upper neighbours for x >= firstX and y >= 1.
struct Scans {
    int width, height;
    int lastX, firstX;
    bool backward;
};

Scans scansOf(const Bitmap& p, int intensity) {
    const int w = p.width();
    return {w, p.height(), w < 3 ? 0 : w - 3, w < 3 ? w - 1 : 2, intensity >= 2};
}

// The colour across the first border the scans meet, in their own order.
std::optional<int> findReference(const Bitmap& source, const Scans& s) {
    std::vector<std::uint8_t> upper(static_cast<std::size_t>(s.width)), lower(upper.size());
    for (int y = 0; y + 1 < s.height; ++y) {
        indexRow(source.row(y), s.width, upper.data());
        indexRow(source.row(y + 1), s.width, lower.data());
        for (int x = 0; x <= s.lastX; ++x) {
            if (x + 1 < s.width && upper[x + 1] != upper[x])
                return upper[x + 1];
            if (lower[x] != upper[x])
                return lower[x];
        }
    }
    if (!s.backward)
        return std::nullopt;
    for (int y = s.height - 1; y >= 1; --y) {
        indexRow(source.row(y), s.width, lower.data());
        indexRow(source.row(y - 1), s.width, upper.data());
        for (int x = s.width - 1; x >= s.firstX; --x) {
            if (x >= 1 && lower[x - 1] != lower[x])
                return lower[x - 1];
            if (upper[x] != lower[x])
                return upper[x];
        }
    }
    return std::nullopt;
}

// What a row kernel needs besides the rows.
struct RowRules {
    const Scans* scans;
    int reference;
    int y;
};

// Whether pixel x of row y turns black: it is not of the reference colour, and it is on the marked side
// of a pair that one of the scans compares. `up` and `down` are the index rows around `mid`.
void traceRow(const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down,
              const std::uint8_t* in, std::uint8_t* out, const RowRules& r) {
    const Scans& s = *r.scans;
    const int ref = r.reference, y = r.y;
    const bool forwardRow = y <= s.height - 2, backwardRow = s.backward && y >= 1;
    std::memcpy(out, in, 3 * static_cast<std::size_t>(s.width));
    for (int x = 0; x < s.width; ++x) {
        const int c = mid[x];
        if (c == ref)
            continue;
        bool mark = false;
        if (forwardRow && x <= s.lastX) // the pixel first in a forward pair
            mark = (x + 1 < s.width && mid[x + 1] != c) || down[x] != c;
        if (forwardRow && x >= 1 && x - 1 <= s.lastX && mid[x - 1] == ref) // second in a forward pair
            mark = true;
        if (y >= 1 && x <= s.lastX && up[x] == ref)
            mark = true;
        if (backwardRow && x >= s.firstX && ((x >= 1 && mid[x - 1] != c) || up[x] != c))
            mark = true;
        if (backwardRow && x + 1 >= s.firstX && x + 1 <= s.width - 1 && mid[x + 1] == ref)
            mark = true;
        if (s.backward && y <= s.height - 2 && x >= s.firstX && down[x] == ref)
            mark = true;
        if (mark)
            std::memset(out + 3 * x, 0, 3);
    }
}

#if PIXMORA_X86
PIXMORA_VECTOR_CODE_BEGIN

// Lanes whose column x0 + lane is at most `last`, or at least `first`.
PIXMORA_TARGET_AVX512 inline __mmask64 upTo(int x0, int last) {
    const int count = last - x0 + 1;
    return count <= 0 ? 0 : (count >= 64 ? ~__mmask64{0} : (__mmask64{1} << count) - 1);
}
PIXMORA_TARGET_AVX512 inline __mmask64 from(int x0, int first) {
    return ~upTo(x0, first - 1);
}

struct Lut512 {
    __m512i part[4];
};

PIXMORA_TARGET_AVX512 inline Lut512 loadLut(const std::uint8_t (&table)[256]) {
    return {{_mm512_loadu_si512(table), _mm512_loadu_si512(table + 64), _mm512_loadu_si512(table + 128),
             _mm512_loadu_si512(table + 192)}};
}

PIXMORA_TARGET_AVX512 inline __m512i lookup(const Lut512& lut, __m512i index) {
    const __m512i low = _mm512_permutex2var_epi8(lut.part[0], index, lut.part[1]);
    const __m512i high = _mm512_permutex2var_epi8(lut.part[2], index, lut.part[3]);
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(index), low, high);
}

// Byte j of channel c of 64 pixels held in 192 bytes: from the first two registers while 3j + c < 128,
// from the last two after that.
struct Deinterleave {
    ByteIndex low[3], high[3];
    __mmask64 fromHigh[3];
    Deinterleave() {
        for (int c = 0; c < 3; ++c) {
            fromHigh[c] = 0;
            for (int j = 0; j < 64; ++j) {
                const int at = 3 * j + c;
                low[c].at[j] = static_cast<unsigned char>(at < 128 ? at : 0);
                high[c].at[j] = static_cast<unsigned char>(at >= 64 ? at - 64 : 0);
                if (at >= 128)
                    fromHigh[c] |= __mmask64{1} << j;
            }
        }
    }
};

PIXMORA_TARGET_AVX512 void indexRow512(const std::uint8_t* pixels, int width, std::uint8_t* out) {
    static const Deinterleave split;
    const IndexTables& t = indexTables();
    const Lut512 blue = loadLut(t.blue), green = loadLut(t.green), red = loadLut(t.red);
    for (int x = 0; x < width; x += 64) {
        const int bytes = 3 * std::min(64, width - x);
        __m512i v[3];
        for (int k = 0; k < 3; ++k)
            v[k] = loadBytes(pixels + 3 * x + 64 * k, bytes - 64 * k);
        auto channel = [&](int c) PIXMORA_TARGET_AVX512 {
            return _mm512_mask_blend_epi8(
                split.fromHigh[c], _mm512_permutex2var_epi8(v[0], _mm512_load_si512(split.low[c].at), v[1]),
                _mm512_permutex2var_epi8(v[1], _mm512_load_si512(split.high[c].at), v[2]));
        };
        const __m512i index = _mm512_add_epi8(
            _mm512_add_epi8(lookup(blue, channel(0)), lookup(green, channel(1))), lookup(red, channel(2)));
        storeBytes(out + x, index, width - x);
    }
}

// Pixel j of 64 to bytes 3j..3j+2 of 192.
struct Triple {
    ByteIndex part[3];
    Triple() {
        for (int k = 0; k < 3; ++k)
            for (int j = 0; j < 64; ++j)
                part[k].at[j] = static_cast<unsigned char>((64 * k + j) / 3);
    }
};

PIXMORA_TARGET_AVX512 void traceRow512(const std::uint8_t* up, const std::uint8_t* mid,
                                       const std::uint8_t* down, const std::uint8_t* in, std::uint8_t* out,
                                       const RowRules& r) {
    static const Triple triple;
    const Scans& s = *r.scans;
    const int y = r.y;
    const bool forwardRow = y <= s.height - 2, backwardRow = s.backward && y >= 1;
    const bool forwardBelow = y >= 1, backwardAbove = s.backward && y <= s.height - 2;
    const __m512i ref = _mm512_set1_epi8(static_cast<char>(r.reference));
    for (int x0 = 0; x0 < s.width; x0 += 64) {
        const __m512i c = _mm512_loadu_si512(mid + x0);
        const __m512i left = _mm512_loadu_si512(mid + x0 - 1), right = _mm512_loadu_si512(mid + x0 + 1);
        const __m512i above = _mm512_loadu_si512(up + x0), below = _mm512_loadu_si512(down + x0);
        __mmask64 mark = 0;
        if (forwardRow) {
            mark |= upTo(x0, s.lastX) & ((upTo(x0, s.width - 2) & _mm512_cmpneq_epi8_mask(right, c)) |
                                         _mm512_cmpneq_epi8_mask(below, c));
            mark |= from(x0, 1) & upTo(x0, s.lastX + 1) & _mm512_cmpeq_epi8_mask(left, ref);
        }
        if (forwardBelow)
            mark |= upTo(x0, s.lastX) & _mm512_cmpeq_epi8_mask(above, ref);
        if (backwardRow) {
            mark |= from(x0, s.firstX) &
                    ((from(x0, 1) & _mm512_cmpneq_epi8_mask(left, c)) | _mm512_cmpneq_epi8_mask(above, c));
            mark |= from(x0, s.firstX - 1) & upTo(x0, s.width - 2) & _mm512_cmpeq_epi8_mask(right, ref);
        }
        if (backwardAbove)
            mark |= from(x0, s.firstX) & _mm512_cmpeq_epi8_mask(below, ref);
        mark &= _mm512_cmpneq_epi8_mask(c, ref);
        // The pixels of this step, with the marked ones black.
        const __m512i marks = _mm512_movm_epi8(mark);
        const int bytes = 3 * std::min(64, s.width - x0);
        for (int k = 0; k < 3; ++k) {
            const __mmask64 black =
                _mm512_movepi8_mask(_mm512_permutexvar_epi8(_mm512_load_si512(triple.part[k].at), marks));
            const int left = bytes - 64 * k;
            storeBytes(out + 3 * x0 + 64 * k,
                       _mm512_maskz_mov_epi8(~black, loadBytes(in + 3 * x0 + 64 * k, left)), left);
        }
    }
}

PIXMORA_VECTOR_CODE_END
#endif

} // namespace

void trace(const Bitmap& source, Bitmap& result, int intensity, const ToneRows* tone) {
    const int width = source.width(), height = source.height();
    const Scans scans = scansOf(source, intensity);
    const std::optional<int> reference =
        intensity > 0 && !source.isEmpty() ? findReference(source, scans) : std::nullopt;
    if (!reference) { // no border at all: nothing turns black
        parallelRanges(height, width, [&](int begin, int end) {
            for (int y = begin; y < end; ++y) {
                std::memcpy(result.row(y), source.row(y), source.rowBytes());
                if (tone)
                    (*tone)(y);
            }
        });
        return;
    }
    auto rowKernel = &traceRow;
    auto indexKernel = &indexRow;
#if PIXMORA_X86
    if (kernelLevel() >= KernelLevel::Avx512) {
        rowKernel = &traceRow512;
        indexKernel = &indexRow512;
    }
#endif
    // Each thread keeps the index rows around its current row, with room for vector loads beyond both ends.
    constexpr int Margin = 64;
    const std::size_t rowSize = static_cast<std::size_t>(width) + 2 * Margin;
    const int parts = partsFor(static_cast<long long>(width) * height, height);
    std::vector<std::uint8_t> rows(static_cast<std::size_t>(parts) * 3 * rowSize, 0);
    runParts(parts, [&](int part, int actualParts) {
        const int begin = partBegin(height, part, actualParts),
                  end = partBegin(height, part + 1, actualParts);
        std::uint8_t* ring[3];
        for (int k = 0; k < 3; ++k)
            ring[k] = rows.data() + (static_cast<std::size_t>(part) * 3 + k) * rowSize + Margin;
        // ring[0] holds row y - 1, ring[1] row y, ring[2] row y + 1 (when they exist).
        if (begin > 0)
            indexKernel(source.row(begin - 1), width, ring[0]);
        if (begin < end)
            indexKernel(source.row(begin), width, ring[1]);
        for (int y = begin; y < end; ++y) {
            if (y + 1 < height)
                indexKernel(source.row(y + 1), width, ring[2]);
            rowKernel(ring[0], ring[1], ring[2], source.row(y), result.row(y),
                      RowRules{&scans, *reference, y});
            if (tone)
                (*tone)(y);
            std::rotate(ring, ring + 1, ring + 3);
        }
    });
}

} // namespace pixmora
