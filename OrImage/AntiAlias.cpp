// Antialias: n passes, each pixel of the inner rectangle the floor mean of its four neighbours, the one
// above and the one to the left already holding the current pass's value. Every pixel waits for the one
// before it, so the work is a chain along each row; the kernels below cut it into many short chains that
// run side by side.
#include "Effects.h"
#include "KernelLevel.h"
#include "Parallel.h"
#include "Vector512.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#if PIXMORA_X86
#include <immintrin.h>
#endif

namespace pixmora {

namespace {

// --- rows -------------------------------------------------------------------------------------------------
// One pass over one row at a time; a stage runs its passes as a wavefront, each a row behind the one
// before, so that the rows in flight stay in the cache.

// One row of one pass.
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

// Pass q of row r reads row r - 1 after pass q and rows r and r + 1 after pass q - 1 only, so in a stage
// pass q runs one row behind pass q - 1. The first pass of a stage follows the last pass of the stage
// before in the same way, wherever that one runs. Works in place on `p`, which holds the source; `tone`, if
// given, renders each inner row once the last pass is done with it.
void antiAliasByRows(Bitmap& p, int passes, const ToneRows* tone) {
    const int x1 = p.width() - 2, y1 = p.height() - 2; // the inner rectangle starts at (1, 1)
    auto rowKernel = &antiAliasRow;
#if PIXMORA_X86
    if (kernelLevel() >= KernelLevel::Sse2) // wider instruction sets gain nothing on the serial walk
        rowKernel = &antiAliasRowSse2;
#endif
    constexpr std::ptrdiff_t CacheBudget = 512 * 1024;
    const int maxStage = static_cast<int>(std::max<std::ptrdiff_t>(1, CacheBudget / p.stride() - 3));
    const PipelineStages stages(passes, maxStage, static_cast<long long>(p.width()) * p.height());
    std::vector<Progress> progress(static_cast<std::size_t>(stages.count));
    runParts(stages.threads, [&](int part, int parts) {
        for (int stage = part; stage < stages.count; stage += parts) {
            const int count = stages.size(stage);
            const Progress* before = stage > 0 ? &progress[stage - 1] : nullptr;
            for (int y = 1; y < y1 + count; ++y)
                for (int q = std::max(0, y - y1); q < count && q <= y - 1; ++q) {
                    const int row = y - q;
                    if (q == 0 && before)
                        before->waitFor(std::min(row + 2, y1 + 1));
                    rowKernel(p.row(row), p.row(row - 1), p.row(row + 1), 1, x1);
                    if (q == count - 1) {
                        progress[stage].publish(row + 1);
                        if (tone && stage == stages.count - 1)
                            (*tone)(row);
                    }
                }
            progress[stage].publish(y1 + 1);
        }
    });
}

#if PIXMORA_X86
PIXMORA_VECTOR_CODE_BEGIN

// --- passes in lanes --------------------------------------------------------------------------------------
// A stage of up to 31 passes runs in the 16-bit lanes of one register per channel. Pass q runs on the row
// q above the row of the first pass and two columns further left per pass, so on diagonal d = x + 2q. Then
// everything a pass needs is at hand without waiting long: the pixel to its left is its own previous step;
// the pixel below (after pass q - 1) is what pass q - 1 computed two steps ago; the pixel above (after pass
// q) is what pass q left on the same diagonal in the previous sweep, one row up; and the pixel to the right
// (after pass q - 1) is what pass q - 1 left on diagonal d - 1 in that sweep. The one dependency from step
// to step is an add and a shift; moving values to the next lane has two steps of slack. A sweep walks the
// diagonals, one vector per channel and step, through a buffer holding the previous sweep's value of every
// lane on every diagonal.
//
// The passes go in the lanes backwards: of a stage of P passes, pass q is in lane P - 1 - q, so the last
// pass, whose values are the stage's output, is in lane 0, and each step writes its output pixel with a
// plain store of the register's lowest lanes. Lane P - 1 takes its pixels below and to the right from the
// rows the stage reads (the source, or the stage before).
//
// That buffer holds 192 bytes a diagonal, far more than the first-level cache for a wide picture. So the
// sweeps go in bands of a few rows, and a band in strips of diagonals: every sweep of the band walks one
// strip before the band moves to the next, and the strip stays in the first-level cache meanwhile. A sweep
// only ever reads diagonals of its own strip and the one before it, which is how the strips can go first.
//
// The picture's border never changes: lanes on a border row or column take its pixels instead of
// computing, and lanes outside the picture compute values that nothing reads.

constexpr int Lanes = 32;
constexpr int Block = 32;       // steps between the checks for the border columns
constexpr int StripSteps = 128; // diagonals of a strip: 24 KiB of the buffer
constexpr int BandSweeps = 16;  // sweeps of a band

struct alignas(64) LaneVector {
    std::uint16_t lane[Lanes];
};

// For each step k of a block, for a stage of `passes` passes: the first pass's lane takes element k of the
// second operand, every other lane the lane above it in the first (the pass before).
struct ShiftIndices {
    LaneVector step[Block];
    explicit ShiftIndices(int passes) {
        for (int k = 0; k < Block; ++k)
            for (int j = 0; j < Lanes; ++j)
                step[k].lane[j] = static_cast<std::uint16_t>(j == passes - 1 ? Lanes + k : (j + 1) % Lanes);
    }
};

// What a sweep carries from step to step and from strip to strip, per channel.
struct SweepState {
    __m512i left[3];                // the previous step's values
    __m512i left2[3];               // the values of the step before that
    __m512i border0[3], border1[3]; // columns 0 and W - 1 on every lane's row
    __mmask32 topLane, bottomLane;  // the lane on the top row and on the last row, if any
    int topOffset, bottomOffset;    // from a diagonal to that lane's column
};

// Lane `passes - 1` of pass q on diagonal d with column x = d - 2q.
inline int laneOfPass(int q, int passes) {
    return passes - 1 - q;
}

// The rows of a sweep: the one below the first pass's (r + 1) as it was before the stage, and the
// picture's first and last rows; each channel as 16-bit values from column 0. `out` is where the last
// pass's value on diagonal d goes, at out[c] + d.
struct SweepRows {
    const std::uint16_t *below[3], *top[3], *bottom[3];
    std::uint16_t* out[3];
    const ShiftIndices* shift;
    int passes; // of the stage; lane `passes` is the spare
};

// A stage has 31 passes at most, so that the lane after the first pass's is a spare. On each diagonal it
// holds the value the first pass of the next sweep takes from its own row as the pixel to its right, in
// the one place the load of the pixels to the right (which starts one value late) reads it from, so that
// load is all that lane needs there.
constexpr int MaxPasses = Lanes - 1;

// The value the spare of channel c on diagonal e holds for the sweep whose first pass is on `row`.
inline std::uint16_t spareValue(const std::uint16_t* const* row, int e, int c) {
    return row[c][e + 2];
}

// One block of steps from d0 on. Edge: some lane is on column 0 or W - 1 in it. Rows: some lane is on
// the first or the last row.
//
// A step's values go to their diagonal two steps later: until then the step after it still reads what the
// last sweep left there. None of the loads overlaps a store that is still in flight, so none of them waits
// for one.
template <bool Edge, bool Rows>
PIXMORA_TARGET_AVX512 inline void sweepBlock(LaneVector* diagonals, int d0, int width, const SweepRows& rows,
                                             SweepState& s) {
    // In locals, so that they stay in registers: the compiler cannot tell the stores from the state.
    __m512i left[3], left2[3], lowerRow[3];
    for (int c = 0; c < 3; ++c) {
        left[c] = s.left[c];
        left2[c] = s.left2[c];
        lowerRow[c] = _mm512_loadu_si512(rows.below[c] + d0);
    }
    for (int k = 0; k < Block; ++k) {
        const int d = d0 + k;
        __mmask32 force0 = 0, force1 = 0;
        if constexpr (Edge) {
            // Pass q is on column 0 when d = 2q, on column W - 1 when d = W - 1 + 2q.
            const int passes = rows.passes;
            if (d % 2 == 0 && d / 2 < passes)
                force0 = __mmask32{1} << laneOfPass(d / 2, passes);
            const int atEnd = d - (width - 1);
            if (atEnd >= 0 && atEnd % 2 == 0 && atEnd / 2 < passes)
                force1 = __mmask32{1} << laneOfPass(atEnd / 2, passes);
        }
        const __m512i index = _mm512_load_si512(rows.shift->step[k].lane);
        LaneVector* slot = diagonals + 3 * static_cast<std::ptrdiff_t>(d);
        for (int c = 0; c < 3; ++c) {
            const __m512i above = _mm512_load_si512(slot[c].lane);
            // The previous diagonal from its lane 1: lane j gets lane j + 1, the first pass's the spare.
            const __m512i right = _mm512_loadu_si512(slot[c - 3].lane + 1);
            const __m512i lower = _mm512_permutex2var_epi16(left2[c], index, lowerRow[c]);
            const __m512i sum = _mm512_add_epi16(_mm512_add_epi16(above, right), lower);
            __m512i v = _mm512_srli_epi16(_mm512_add_epi16(sum, left[c]), 2);
            if constexpr (Edge) {
                v = _mm512_mask_blend_epi16(force0, v, s.border0[c]);
                v = _mm512_mask_blend_epi16(force1, v, s.border1[c]);
            }
            if constexpr (Rows) {
                v = _mm512_mask_blend_epi16(
                    s.topLane, v, _mm512_set1_epi16(static_cast<short>(rows.top[c][d + s.topOffset])));
                v = _mm512_mask_blend_epi16(
                    s.bottomLane, v,
                    _mm512_set1_epi16(static_cast<short>(rows.bottom[c][d + s.bottomOffset])));
            }
            // The last pass's value, with the lane after it, which the next step overwrites.
            _mm_storeu_si32(rows.out[c] + d, _mm512_castsi512_si128(v));
            _mm512_store_si512(slot[c - 6].lane, left2[c]);
            slot[c - 6].lane[rows.passes] = spareValue(rows.below, d - 2, c);
            left2[c] = left[c];
            left[c] = v;
        }
    }
    for (int c = 0; c < 3; ++c) {
        s.left[c] = left[c];
        s.left2[c] = left2[c];
    }
}

// Pixels x0..x1-1 of a row from its three channels' 16-bit values, 32 pixels a step.
PIXMORA_TARGET_AVX512 void interleave(const std::uint16_t* blue, const std::uint16_t* green,
                                      const std::uint16_t* red, std::uint8_t* row, int x0, int x1) {
    // Byte j of the 96 takes byte j / 3 of channel j % 3: blue and green in the first operand, red in the
    // second.
    static const ByteIndex first =
        byteIndex([](int j) { return j % 3 == 2 ? 64 + j / 3 : 32 * (j % 3) + j / 3; });
    static const ByteIndex second = byteIndex(
        [](int j) { return (j + 64) % 3 == 2 ? 64 + (j + 64) / 3 : 32 * ((j + 64) % 3) + (j + 64) / 3; });
    const __m512i firstIndex = _mm512_load_si512(first.at), secondIndex = _mm512_load_si512(second.at);
    for (int x = x0; x < x1; x += 32) {
        const int count = std::min(32, x1 - x);
        auto narrow = [&](const std::uint16_t* values) PIXMORA_TARGET_AVX512 {
            return _mm512_cvtepi16_epi8(loadBytes(values + x, 2 * count));
        };
        const __m512i blueGreen = _mm512_inserti64x4(_mm512_castsi256_si512(narrow(blue)), narrow(green), 1);
        const __m512i r = _mm512_castsi256_si512(narrow(red));
        std::uint8_t* out = row + 3 * x;
        const int bytes = 3 * count;
        storeBytes(out, _mm512_permutex2var_epi8(blueGreen, firstIndex, r), bytes);
        if (bytes > 64)
            storeBytes(out + 64, _mm512_permutex2var_epi8(blueGreen, secondIndex, r), bytes - 64);
    }
}

class LaneStage {
public:
    LaneStage(const Bitmap& source, int passes)
        : m_source(source), m_width(source.width()), m_height(source.height()), m_passes(passes),
          m_steps((m_width + 2 * (passes - 1) + Block - 1) / Block * Block), m_shift(passes) {
        m_diagonals.assign(3 * (static_cast<std::size_t>(m_steps) + FrontSteps), LaneVector{});
        m_in.assign(3 * rowStride() * (BandSweeps + 1), 0);
        m_out.assign(3 * rowStride() * BandSweeps, 0);
        m_edges.assign(6 * static_cast<std::size_t>((m_steps + StripSteps - 1) / StripSteps), LaneVector{});
        m_top.assign(3 * rowStride(), 0);
        m_bottom.assign(3 * rowStride(), 0);
        loadRow(source, 0, m_top, 0);
        loadRow(source, m_height - 1, m_bottom, 0);
    }

    // Applies the stage's passes to `in`, whose rows the stage before finishes as `before` reports, and
    // writes the result rows into `out` (which may be `in`), reporting them in `done`.
    // `tone`, if given, renders each output row once it is written.
    PIXMORA_TARGET_AVX512 void run(const Bitmap& in, Bitmap& out, const Progress* before, Progress& done,
                                   const ToneRows* tone);

private:
    static constexpr int Pad = 2 * Lanes + Block; // around a planar row, for loads that run past its ends
    static constexpr int FrontSteps = 2;          // diagonals before step 0, read by the first steps

    std::size_t rowStride() const { return static_cast<std::size_t>(m_width) + 2 * Pad; }
    // Channel c of a planar row at column 0; `rows` holds such rows one after the other.
    std::uint16_t* planar(std::vector<std::uint16_t>& rows, int row, int c) {
        return rows.data() + (3 * static_cast<std::size_t>(row) + c) * rowStride() + Pad;
    }
    LaneVector* diagonals() { return m_diagonals.data() + 3 * FrontSteps; }
    LaneVector& diagonal(int d, int c) { return diagonals()[3 * static_cast<std::ptrdiff_t>(d) + c]; }

    // Row y of `in` (0 below the picture) into planar row `row` of `rows`.
    void loadRow(const Bitmap& in, int y, std::vector<std::uint16_t>& rows, int row);
    void startSweep(int r, SweepState& s);
    PIXMORA_TARGET_AVX512 void sweepStrip(int band, int d0, int d1, SweepState& s);

    const Bitmap& m_source;
    int m_width, m_height, m_passes;
    int m_steps; // diagonals of a sweep, whole blocks
    ShiftIndices m_shift;
    std::vector<LaneVector> m_diagonals;
    std::vector<std::uint16_t> m_in;  // the rows the first pass reads in a band: r0 .. r0 + BandSweeps
    std::vector<std::uint16_t> m_out; // the rows the last pass finishes in a band
    std::vector<std::uint16_t> m_top, m_bottom; // the first and the last row
    std::vector<LaneVector> m_edges;            // the two diagonals before each strip, as the band found them
    SweepState m_states[BandSweeps];
};

void LaneStage::loadRow(const Bitmap& in, int y, std::vector<std::uint16_t>& rows, int row) {
    for (int c = 0; c < 3; ++c) {
        std::uint16_t* values = planar(rows, row, c);
        if (y >= m_height) {
            std::fill(values, values + m_width, std::uint16_t{0});
            continue;
        }
        const std::uint8_t* pixels = in.row(y) + c;
        for (int x = 0; x < m_width; ++x)
            values[x] = pixels[3 * x];
    }
}

// Sweep r starts with pass q on row r - q.
PIXMORA_TARGET_AVX512 void LaneStage::startSweep(int r, SweepState& s) {
    auto laneOn = [&](int y) {
        return r - y >= 0 && r - y < m_passes ? __mmask32{1} << laneOfPass(r - y, m_passes) : __mmask32{0};
    };
    s.topLane = laneOn(0);
    s.bottomLane = laneOn(m_height - 1);
    // Without such a lane the offset stays 0, so that the value read (and not used) lies in the row.
    s.topOffset = s.topLane ? -2 * r : 0;
    s.bottomOffset = s.bottomLane ? -2 * (r - (m_height - 1)) : 0;
    for (int c = 0; c < 3; ++c) {
        alignas(64) std::uint16_t column0[Lanes] = {}, column1[Lanes] = {};
        for (int q = 0; q < m_passes; ++q) {
            const int y = r - q;
            const bool inside = y >= 0 && y < m_height;
            column0[laneOfPass(q, m_passes)] = inside ? m_source.pixel(0, y)[c] : 0;
            column1[laneOfPass(q, m_passes)] = inside ? m_source.pixel(m_width - 1, y)[c] : 0;
        }
        s.border0[c] = _mm512_load_si512(column0);
        s.border1[c] = _mm512_load_si512(column1);
        s.left[c] = s.left2[c] = _mm512_setzero_si512();
    }
}

// Steps d0..d1 - 1 of the band's sweep `band`.
PIXMORA_TARGET_AVX512 void LaneStage::sweepStrip(int band, int d0, int d1, SweepState& s) {
    SweepRows rows;
    for (int c = 0; c < 3; ++c) {
        rows.below[c] = planar(m_in, band + 1, c);
        rows.top[c] = planar(m_top, 0, c);
        rows.bottom[c] = planar(m_bottom, 0, c);
        rows.out[c] = planar(m_out, band, c) - 2 * (m_passes - 1);
    }
    rows.shift = &m_shift;
    rows.passes = m_passes;
    const bool onRows = s.topLane != 0 || s.bottomLane != 0;
    LaneVector* const slots = diagonals();
    for (int d = d0; d < d1; d += Block) {
        const bool edge = d < 2 * m_passes || d + Block > m_width - 1;
        if (edge && onRows)
            sweepBlock<true, true>(slots, d, m_width, rows, s);
        else if (edge)
            sweepBlock<true, false>(slots, d, m_width, rows, s);
        else if (onRows)
            sweepBlock<false, true>(slots, d, m_width, rows, s);
        else
            sweepBlock<false, false>(slots, d, m_width, rows, s);
    }
    // The strip's last two steps, still in the registers: the next sweep reads them. The next strip of
    // this sweep stores them again from the state it takes over.
    for (int c = 0; c < 3; ++c) {
        _mm512_store_si512(diagonal(d1 - 2, c).lane, s.left2[c]);
        _mm512_store_si512(diagonal(d1 - 1, c).lane, s.left[c]);
        diagonal(d1 - 2, c).lane[m_passes] = spareValue(rows.below, d1 - 2, c);
        diagonal(d1 - 1, c).lane[m_passes] = spareValue(rows.below, d1 - 1, c);
    }
}

PIXMORA_TARGET_AVX512 void LaneStage::run(const Bitmap& in, Bitmap& out, const Progress* before,
                                          Progress& done, const ToneRows* tone) {
    // Before the first sweep the first pass stands on the top row.
    for (int x = 0; x < m_width; ++x)
        for (int c = 0; c < 3; ++c)
            diagonal(x, c).lane[laneOfPass(0, m_passes)] = m_source.pixel(x, 0)[c];
    const int last = m_passes - 1;
    const int sweeps = m_height - 2 + last;
    for (int r0 = 1; r0 <= sweeps; r0 += BandSweeps) {
        const int count = std::min(BandSweeps, sweeps + 1 - r0);
        // The first pass reads rows r0 .. r0 + count; inside the picture the stage before must have
        // finished them.
        if (before)
            before->waitFor(std::min(r0 + count + 1, m_height - 1));
        for (int i = 0; i <= count; ++i)
            loadRow(in, r0 + i, m_in, i);
        for (int i = 0; i < count; ++i)
            startSweep(r0 + i, m_states[i]);
        if (r0 == 1) { // the spares for the first sweep, from row 1
            const std::uint16_t* row[3] = {planar(m_in, 0, 0), planar(m_in, 0, 1), planar(m_in, 0, 2)};
            for (int e = -FrontSteps; e < m_steps; ++e)
                for (int c = 0; c < 3; ++c)
                    diagonal(e, c).lane[m_passes] = spareValue(row, e, c);
        }
        // Each strip's first sweep reads the two diagonals before it as the band found them; the strip
        // before has gone through all the band's sweeps by then.
        for (int d0 = StripSteps, e = 0; d0 < m_steps; d0 += StripSteps, ++e)
            for (int c = 0; c < 6; ++c)
                m_edges[6 * e + c] = (&diagonal(d0 - 2, 0))[c];
        for (int d0 = 0, e = -1; d0 < m_steps; d0 += StripSteps, ++e) {
            if (e >= 0)
                for (int c = 0; c < 6; ++c)
                    (&diagonal(d0 - 2, 0))[c] = m_edges[6 * e + c];
            const int d1 = std::min(d0 + StripSteps, m_steps);
            for (int i = 0; i < count; ++i)
                sweepStrip(i, d0, d1, m_states[i]);
        }
        for (int i = 0; i < count; ++i) {
            const int y = r0 + i - last; // the row the last pass finished in this sweep
            if (y < 1 || y > m_height - 2)
                continue;
            interleave(planar(m_out, i, 0), planar(m_out, i, 1), planar(m_out, i, 2), out.row(y), 1,
                       m_width - 1);
            if (tone)
                (*tone)(y);
        }
        const int finished = r0 + count - 1 - last;
        if (finished >= 1)
            done.publish(std::min(finished + 1, m_height - 1));
    }
    done.publish(m_height - 1);
}
PIXMORA_VECTOR_CODE_END
#endif

} // namespace

void antiAlias(const Bitmap& source, Bitmap& result, int passes, const ToneRows* tone) {
    const int width = source.width(), height = source.height();
    auto copyRow = [&](int y) {
        std::memcpy(result.row(y), source.row(y), source.rowBytes());
        if (tone)
            (*tone)(y);
    };
    if (width < 3 || height < 3 || passes <= 0) {
        for (int y = 0; y < height; ++y)
            copyRow(y);
        return;
    }
#if PIXMORA_X86
    if (kernelLevel() >= KernelLevel::Avx512) {
        // The stages write every inner pixel; the border is the source's.
        copyRow(0);
        copyRow(height - 1);
        for (int y = 1; y < height - 1; ++y) {
            std::memcpy(result.pixel(0, y), source.pixel(0, y), 3);
            std::memcpy(result.pixel(width - 1, y), source.pixel(width - 1, y), 3);
        }
        const PipelineStages stages(passes, MaxPasses, static_cast<long long>(width) * height);
        std::vector<Progress> progress(static_cast<std::size_t>(stages.count));
        std::vector<std::unique_ptr<LaneStage>> lanes;
        for (int stage = 0; stage < stages.count; ++stage)
            lanes.push_back(std::make_unique<LaneStage>(source, stages.size(stage)));
        runParts(stages.threads, [&](int part, int parts) {
            for (int stage = part; stage < stages.count; stage += parts)
                lanes[stage]->run(stage == 0 ? source : result, result,
                                  stage > 0 ? &progress[stage - 1] : nullptr, progress[stage],
                                  stage == stages.count - 1 ? tone : nullptr);
        });
        return;
    }
#endif
    for (int y = 0; y < height; ++y)
        std::memcpy(result.row(y), source.row(y), source.rowBytes());
    if (tone) {
        (*tone)(0);
        (*tone)(height - 1);
    }
    antiAliasByRows(result, passes, tone);
}

} // namespace pixmora
