#pragma once

// Byte-wise means of whole rows, the inner loops of the blurs and of emboss, in the widest vectors the
// processor has. Floor means of bytes are taken without widening: with pavg (which rounds up), floor((a +
// b) / 2) is pavg(a, b) - ((a ^ b) & 1), and the floor of a mean of four follows from two such halves and
// the carry of their low bits.

#include <cstdint>

namespace pixmora {

struct ByteMeans {
    // out[i] = (a[i] + b[i] + c[i] + d[i]) div 4 for i < bytes, in steps of at most `maxStep` bytes: a step
    // may read what an earlier step wrote (out may lie behind a, c or d in the same row).
    void (*mean4)(std::uint8_t* out, const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c,
                  const std::uint8_t* d, int bytes, int maxStep);
    // Emboss of one row: out[i] = (row[i] + 255 - other[i + 9]) div 2, and other[i] for the last three
    // pixels. `out` may be `row`.
    void (*emboss)(std::uint8_t* out, const std::uint8_t* row, const std::uint8_t* other, int width);
};

// The means of the current kernel level.
const ByteMeans& byteMeans();

} // namespace pixmora
