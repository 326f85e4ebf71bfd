#include "ByteMeans.h"
#include "KernelLevels.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

class ByteMeansAtEveryLevel : public AtEveryKernelLevel {};
INSTANTIATE_AT_EVERY_KERNEL_LEVEL(ByteMeansAtEveryLevel);

// Quadruples whose low bits take every pattern, so that every carry between the halves occurs, with
// high bits from the whole range.
std::vector<std::uint8_t> lane(std::mt19937& rng, int bytes, int which) {
    std::vector<std::uint8_t> v(static_cast<std::size_t>(bytes));
    for (int i = 0; i < bytes; ++i)
        v[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(((i >> (2 * which)) & 3) | (rng() & 0xFC));
    return v;
}

} // namespace

TEST_P(ByteMeansAtEveryLevel, FloorMeansOfEveryCarry) {
    const pixmora::ByteMeans& means = pixmora::byteMeans();
    std::mt19937 rng(5);
    for (int bytes : {1, 15, 16, 17, 31, 32, 33, 63, 64, 65, 200, 256}) {
        const auto a = lane(rng, bytes, 0), b = lane(rng, bytes, 1), c = lane(rng, bytes, 2),
                   d = lane(rng, bytes, 3);
        for (int maxStep : {bytes, 9, 16, 40})
            for (int negations = 0; negations < 32; negations += maxStep == bytes ? 1 : 7) {
                // Rows kept negated hold 255 - v; the mean is of the values.
                const pixmora::Negated n{(negations & 1) != 0, (negations & 2) != 0, (negations & 4) != 0,
                                         (negations & 8) != 0, (negations & 16) != 0};
                auto value = [](bool negated, std::uint8_t byte) { return negated ? 255 - byte : byte; };
                std::vector<std::uint8_t> out(static_cast<std::size_t>(bytes));
                means.mean4(out.data(), a.data(), b.data(), c.data(), d.data(), bytes, maxStep, n);
                for (int i = 0; i < bytes; ++i)
                    ASSERT_EQ(value(n.out, out[i]),
                              (value(n.a, a[i]) + value(n.b, b[i]) + value(n.c, c[i]) + value(n.d, d[i])) / 4)
                        << bytes << " bytes, byte " << i << ", negations " << negations;
            }
    }
    // The extremes, where a mean taken in bytes would overflow.
    const std::vector<std::uint8_t> full(64, 255), none(64, 0), one(64, 1);
    std::vector<std::uint8_t> out(64);
    means.mean4(out.data(), full.data(), full.data(), full.data(), one.data(), 64, 64, {});
    EXPECT_EQ(out[0], (3 * 255 + 1) / 4);
    means.mean4(out.data(), none.data(), one.data(), one.data(), one.data(), 64, 64, {});
    EXPECT_EQ(out[63], 0);
}

TEST_P(ByteMeansAtEveryLevel, EmbossOfEveryPairOfBytes) {
    const pixmora::ByteMeans& means = pixmora::byteMeans();
    // Row bytes against every value of the partner three pixels on, for widths around the vector widths.
    for (int width : {1, 3, 4, 5, 21, 22, 23, 88, 89, 257}) {
        std::vector<std::uint8_t> row(3 * static_cast<std::size_t>(width)), other(row.size()),
            out(row.size());
        for (std::size_t i = 0; i < row.size(); ++i) {
            row[i] = static_cast<std::uint8_t>(i * 7);
            other[i] = static_cast<std::uint8_t>(255 - i * 13);
        }
        means.emboss(out.data(), row.data(), other.data(), width);
        for (int i = 0; i < 3 * width; ++i) {
            const int partner = i < 3 * (width - 3) ? other[i + 9] : other[i];
            ASSERT_EQ(out[i], (row[i] + 255 - partner) / 2) << "width " << width << " byte " << i;
        }
    }
}
