#pragma once

// Byte-wise means of whole rows, the inner loops of the blurs and of emboss, in the widest vectors the
// processor has, taken without widening. pavg rounds up: pavg(a, b) is ceil((a + b) / 2), and
// ceil((a + b + c + d) / 4) is pavg(pavg(a, b), pavg(c, d)) less one where a ^ b, c ^ d and the two halves'
// exclusive or all have their low bit set. The blurs want floor means, and floor((a + b + c + d) / 4) is
// 255 minus the ceil mean of the negated bytes: so a row may be kept negated from one pass to the next, and
// the negations cost nothing in between.

#include <cstdint>

namespace pixmora {

// Which of the rows a mean reads and writes hold their bytes negated (255 - v).
struct Negated {
    bool a = false, b = false, c = false, d = false, out = false;
};

struct ByteMeans {
    // out[i] = (a[i] + b[i] + c[i] + d[i]) div 4 for i < bytes, each row as `negated` says, in steps of at
    // most `maxStep` bytes: a step may read what an earlier step wrote (out may lie behind a, c or d in the
    // same row).
    void (*mean4)(std::uint8_t* out, const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c,
                  const std::uint8_t* d, int bytes, int maxStep, Negated negated);
    // Emboss of one row: out[i] = (row[i] + 255 - other[i + 9]) div 2, and other[i] for the last three
    // pixels. `out` may be `row`.
    void (*emboss)(std::uint8_t* out, const std::uint8_t* row, const std::uint8_t* other, int width);
};

// The means of the current kernel level.
const ByteMeans& byteMeans();

} // namespace pixmora
