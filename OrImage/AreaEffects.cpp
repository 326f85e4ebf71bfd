// Neighbourhood effects. Each one computes, from the source into the area result, what the effect run in
// place on a copy of the source gives: a sample the in-place order has already rewritten is read from the
// result, one it has not yet reached from the source. The in-place order is part of the result.
#include "ByteMeans.h"
#include "Effects.h"
#include "Parallel.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace pixmora {

namespace {

// --- split blur -----------------------------------------------------------------------------------------

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

// Which rows of a split-blur pass hold their bytes negated (see ByteMeans.h): the sample rows above and
// below, the row as it was before the pass, and the row the pass writes.
struct RowStorage {
    bool up = false, down = false, old = false, out = false;
};

// One row of a split-blur pass. `out` is the row being computed and `oldSelf` what it held before the pass
// (`out` itself when the pass works in place). `up` and `down` are the sample rows as the pass sees them,
// or nullptr for the row itself: there, columns left of the pixel are already new, the others still old.
void splitBlurRow(std::uint8_t* out, const std::uint8_t* oldSelf, const std::uint8_t* up,
                  const std::uint8_t* down, int width, int amount, const ByteMeans& means,
                  RowStorage negated = {}) {
    // A sample's bytes and whether they are negated.
    struct Sample {
        const std::uint8_t* at;
        int flip;
    };
    auto sample = [&](const std::uint8_t* row, bool rowNegated, int column, int x) {
        if (row)
            return Sample{row + 3 * column, rowNegated ? 255 : 0};
        return column < x ? Sample{out + 3 * column, negated.out ? 255 : 0}
                          : Sample{oldSelf + 3 * column, negated.old ? 255 : 0};
    };
    auto edge = [&](int x) {
        const int l = splitLeft(x, amount), r = splitRight(x, width, amount);
        const Sample ul = sample(up, negated.up, l, x), dl = sample(down, negated.down, l, x);
        const Sample ur = sample(up, negated.up, r, x), dr = sample(down, negated.down, r, x);
        for (int c = 0; c < 3; ++c) {
            const int sum =
                (ul.at[c] ^ ul.flip) + (dl.at[c] ^ dl.flip) + (ur.at[c] ^ ur.flip) + (dr.at[c] ^ dr.flip);
            out[3 * x + c] = static_cast<std::uint8_t>((sum >> 2) ^ (negated.out ? 255 : 0));
        }
    };
    const int innerBegin = std::min(amount, width);
    const int innerEnd = std::max(width - amount, innerBegin);
    for (int x = 0; x < innerBegin; ++x)
        edge(x);
    if (innerEnd > innerBegin) {
        // Inner columns: left = x - amount, right = x + amount. In the row itself the left samples are
        // new and the right ones old, as long as no step covers more than `amount` pixels.
        const std::ptrdiff_t s = 3 * static_cast<std::ptrdiff_t>(amount);
        const int bytes = 3 * (innerEnd - innerBegin);
        const bool self = !up || !down;
        const std::uint8_t* ul = up ? up : out;
        const std::uint8_t* dl = down ? down : out;
        const std::uint8_t* ur = (up ? up : oldSelf) + 2 * s;
        const std::uint8_t* dr = (down ? down : oldSelf) + 2 * s;
        const Negated inner{up ? negated.up : negated.out, down ? negated.down : negated.out,
                            up ? negated.up : negated.old, down ? negated.down : negated.old, negated.out};
        means.mean4(out + s, ul, dl, ur, dr, bytes, self ? static_cast<int>(s) : bytes, inner);
    }
    for (int x = innerEnd; x < width; ++x)
        edge(x);
}

// Columns x0..x1-1 of a row whose two sample rows are other rows: any order will do.
void splitBlurColumns(std::uint8_t* out, const std::uint8_t* up, const std::uint8_t* down, int width,
                      int amount, int x0, int x1, const ByteMeans& means) {
    auto edge = [&](int x) {
        const int l = 3 * splitLeft(x, amount), r = 3 * splitRight(x, width, amount);
        for (int c = 0; c < 3; ++c)
            out[3 * x + c] =
                static_cast<std::uint8_t>((up[l + c] + down[l + c] + up[r + c] + down[r + c]) >> 2);
    };
    const int innerBegin = std::clamp(amount, x0, x1);
    const int innerEnd = std::clamp(width - amount, innerBegin, x1);
    for (int x = x0; x < innerBegin; ++x)
        edge(x);
    if (innerEnd > innerBegin) {
        const int bytes = 3 * (innerEnd - innerBegin);
        const std::size_t l = 3 * static_cast<std::size_t>(innerBegin - amount);
        const std::size_t r = 3 * static_cast<std::size_t>(innerBegin + amount);
        means.mean4(out + 3 * innerBegin, up + l, down + l, up + r, down + r, bytes, bytes, Negated{});
    }
    for (int x = innerEnd; x < x1; ++x)
        edge(x);
}

// One whole pass, row after row, from `old` (which may be `result` itself) into `result`; `tone`, if given,
// renders each row once it is done.
void splitPass(const Bitmap& old, Bitmap& result, int amount, const ByteMeans& means, const ToneRows* tone) {
    const int height = result.height();
    for (int y = 0; y < height; ++y) {
        const SplitRows rows = splitRows(y, height, amount);
        const std::uint8_t* up = rows.up == y ? nullptr : result.row(rows.up); // up is never below
        const std::uint8_t* down =
            rows.down == y ? nullptr : (rows.down < y ? result.row(rows.down) : old.row(rows.down));
        splitBlurRow(result.row(y), old.row(y), up, down, result.width(), amount, means);
        if (tone)
            (*tone)(y);
    }
}

// --- gaussian blur ----------------------------------------------------------------------------------------

constexpr int GaussAmount = 3;

// The passes of the gaussian blur as a wavefront. Pass q of row y reads row y - 3 after pass q and row
// y + 3 after pass q - 1, so pass q can follow pass q - 1 three rows behind it: every pass of a stage
// moves down one row per step, and the rows in flight stay in the cache where one pass at a time would
// stream the whole picture through memory once per pass. Near the bottom a row reads one of rows 1..3 as
// pass q left them, long rewritten by the passes behind: those are kept aside for every pass.
//
// Stages of passes form a pipeline between threads: the first pass of a stage follows the last pass of
// the stage before, three rows behind, wherever that one runs.
class GaussWavefront {
public:
    GaussWavefront(const Bitmap& source, Bitmap& result, int passes, const ByteMeans& means,
                   const ToneRows* tone)
        : m_source(source), m_result(result), m_passes(passes), m_means(means), m_tone(tone),
          m_rowBytes(result.rowBytes()) {
        m_saved.resize(static_cast<std::size_t>(passes) * 3 * m_rowBytes);
    }

    void run() {
        const int height = m_result.height();
        // A stage keeps about 3 rows per pass in flight; it should fit the second-level cache.
        constexpr std::ptrdiff_t CacheBudget = 512 * 1024;
        const int rowsInBudget =
            static_cast<int>(CacheBudget / std::max<std::ptrdiff_t>(1, m_result.stride()));
        const int maxStage = std::max(1, (rowsInBudget - 4) / 3);
        const PipelineStages stages(m_passes, maxStage, static_cast<long long>(m_result.width()) * height);
        std::vector<Progress> progress(static_cast<std::size_t>(stages.count));
        runParts(stages.threads, [&](int part, int parts) {
            for (int stage = part; stage < stages.count; stage += parts)
                runStage(stages.first(stage), stages.first(stage + 1),
                         stage > 0 ? &progress[stage - 1] : nullptr, progress[stage]);
        });
    }

private:
    std::uint8_t* saved(int pass, int row) { // rows 1..3 after the pass
        return m_saved.data() + (static_cast<std::size_t>(pass) * 3 + (row - 1)) * m_rowBytes;
    }

    void runStage(int first, int end, const Progress* before, Progress& done) {
        const int height = m_result.height();
        const int count = end - first;
        for (int t = 0; t < height + GaussAmount * (count - 1); ++t)
            for (int j = 0; j < count; ++j) {
                const int y = t - GaussAmount * j;
                if (y < 0)
                    break;
                if (y >= height)
                    continue;
                if (j == 0 && before)
                    before->waitFor(std::min(y + GaussAmount + 1, height));
                passRow(first + j, y);
                if (j == count - 1) {
                    done.publish(y + 1);
                    if (m_tone && end == m_passes) // the last pass of all
                        (*m_tone)(y);
                }
            }
    }

    // Between the first pass, which reads the source, and the last, which writes the result, the rows are
    // kept negated: the means of negated rows are the cheapest to take.
    void passRow(int pass, int y) {
        const int height = m_result.height();
        const Bitmap& old = pass == 0 ? m_source : m_result;
        const bool writesNegated = pass<m_passes - 1, readsNegated = pass> 0;
        const std::uint8_t* up = y >= GaussAmount ? m_result.row(y - GaussAmount) : nullptr;
        const bool downIsOld = y + GaussAmount < height;
        const std::uint8_t* down = downIsOld ? old.row(y + GaussAmount) : saved(pass, height - y);
        const RowStorage negated{writesNegated, downIsOld ? readsNegated : writesNegated, readsNegated,
                                 writesNegated};
        splitBlurRow(m_result.row(y), old.row(y), up, down, m_result.width(), GaussAmount, m_means, negated);
        if (y == GaussAmount)
            for (int row = 1; row <= 3; ++row)
                std::memcpy(saved(pass, row), m_result.row(row), m_rowBytes);
    }

    const Bitmap& m_source;
    Bitmap& m_result;
    int m_passes;
    const ByteMeans& m_means;
    const ToneRows* m_tone;
    std::size_t m_rowBytes;
    std::vector<std::uint8_t> m_saved;
};

} // namespace

void emboss(const Bitmap& source, Bitmap& result, const ToneRows* tone) {
    const int height = source.height();
    if (height < 2) { // a single row has no neighbour row: it stays as it is
        mosaic(source, result, 1, tone);
        return;
    }
    const ByteMeans& means = byteMeans();
    // Every row but the last reads the next row before it changes, that is from the source.
    parallelRanges(height - 1, source.width(), [&](int begin, int end) {
        for (int y = begin; y < end; ++y) {
            means.emboss(result.row(y), source.row(y), source.row(y + 1), source.width());
            if (tone)
                (*tone)(y);
        }
    });
    means.emboss(result.row(height - 1), source.row(height - 1), result.row(height - 2), source.width());
    if (tone)
        (*tone)(height - 1);
}

void mosaic(const Bitmap& source, Bitmap& result, int n, const ToneRows* tone) {
    const int width = source.width();
    const int height = source.height();
    if (n <= 1) {
        parallelRanges(height, width, [&](int begin, int end) {
            for (int y = begin; y < end; ++y) {
                std::memcpy(result.row(y), source.row(y), source.rowBytes());
                if (tone)
                    (*tone)(y);
            }
        });
        return;
    }
    const int bands = (height + n - 1) / n;
    parallelRanges(bands, static_cast<long long>(width) * n, [&](int begin, int end) {
        for (int band = begin; band < end; ++band) {
            // The band's first row holds every block's top-left pixel; each block takes that colour, and
            // the rest of the band repeats the row.
            const int top = band * n;
            const std::uint8_t* corners = source.row(top);
            std::uint8_t* first = result.row(top);
            for (int left = 0; left < width; left += n) {
                const std::uint8_t* corner = corners + 3 * left;
                const int right = std::min(left + n, width);
                for (int x = left; x < right; ++x)
                    std::memcpy(first + 3 * x, corner, 3);
            }
            const int bottom = std::min(top + n, height);
            for (int y = top; y < bottom; ++y) {
                if (y > top)
                    std::memcpy(result.row(y), first, source.rowBytes());
                if (tone)
                    (*tone)(y);
            }
        }
    });
}

void splitBlur(const Bitmap& source, Bitmap& result, int amount, const ToneRows* tone) {
    const int width = source.width(), height = source.height();
    const ByteMeans& means = byteMeans();
    if (amount <= 0) {
        mosaic(source, result, 1, tone);
        return;
    }
    // A row reads the row `amount` above it (already new) and below it (still old, so from the source);
    // near the bottom the lower row is counted from the top and is new. With the picture at least three
    // amounts high, those top rows are done before any row that reads them: threads split the columns and
    // a thread starts a row once every thread has finished the row above it that it reads.
    const int parts = partsFor(static_cast<long long>(width) * height, width);
    if (height < 3 * amount || parts == 1) {
        splitPass(source, result, amount, means, tone);
        return;
    }
    // The first `amount` rows read themselves and a row of the source only: any order will do.
    parallelRanges(amount, width, [&](int begin, int end) {
        for (int y = begin; y < end; ++y) {
            splitBlurRow(result.row(y), source.row(y), nullptr, source.row(y + amount), width, amount, means);
            if (tone)
                (*tone)(y);
        }
    });
    std::vector<Progress> progress(static_cast<std::size_t>(parts));
    for (Progress& p : progress)
        p.reset(amount);
    runParts(parts, [&](int part, int actualParts) {
        // The columns of this part, and the ones its samples may reach: a strip `amount` wide on each side.
        const int x0 = partBegin(width, part, actualParts), x1 = partBegin(width, part + 1, actualParts);
        for (int y = amount; y < height; ++y) {
            const SplitRows rows = splitRows(y, height, amount);
            const bool downIsNew = rows.down < y;
            for (int other = 0; other < actualParts; ++other)
                progress[other].waitFor(std::max(rows.up, downIsNew ? rows.down : 0) + 1);
            const std::uint8_t* up = result.row(rows.up);
            const std::uint8_t* down = downIsNew ? result.row(rows.down) : source.row(rows.down);
            splitBlurColumns(result.row(y), up, down, width, amount, x0, x1, means);
            progress[part].publish(y + 1);
            if (tone)
                (*tone)(y, x0, x1);
        }
    });
}

void gaussianBlur(const Bitmap& source, Bitmap& result, int strength, const ToneRows* tone) {
    const int passes = strength + 1;
    const ByteMeans& means = byteMeans();
    if (strength < 0) {
        mosaic(source, result, 1, tone);
        return;
    }
    // Small pictures, where the rows near the top and the bottom read each other, go pass by pass.
    if (source.height() < 16) {
        splitPass(source, result, GaussAmount, means, passes == 1 ? tone : nullptr);
        for (int pass = 1; pass < passes; ++pass)
            splitPass(result, result, GaussAmount, means, pass == passes - 1 ? tone : nullptr);
        return;
    }
    GaussWavefront(source, result, passes, means, tone).run();
}

} // namespace pixmora
