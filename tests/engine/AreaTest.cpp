#include "EngineHelpers.h"
#include "InPlace.h"
#include "KernelLevels.h"
#include "Reference.h"

#include <gtest/gtest.h>

#include <functional>

using namespace testpics;
using pixmora::Bitmap;

namespace {

std::vector<std::vector<int>> channelRows(const Bitmap& p) {
    std::vector<std::vector<int>> rows(static_cast<std::size_t>(p.height()));
    for (int y = 0; y < p.height(); ++y)
        for (int x = 0; x < p.width(); ++x)
            rows[static_cast<std::size_t>(y)].push_back(channel(p, x, y));
    return rows;
}

// Runs a fast effect and its literal version on many pictures of awkward sizes and compares them.
void expectSameAsLiteral(const char* name, const std::function<void(Bitmap&, int)>& fast,
                         const std::function<void(Bitmap&, int)>& literal,
                         std::initializer_list<int> amounts) {
    std::uint32_t seed = 1;
    for (auto [w, h] : awkwardSizes())
        for (int amount : amounts)
            for (int kind = 0; kind < 2; ++kind) {
                Bitmap a = kind ? photoLike(w, h, ++seed) : noise(w, h, ++seed);
                Bitmap b = a;
                fast(a, amount);
                literal(b, amount);
                ASSERT_EQ(a, b) << name << " " << w << "x" << h << " amount " << amount;
            }
}

} // namespace

TEST(Emboss, FlatPicturesAndTheLastRow) {
    Bitmap grey = flat(6, 4, {128, 128, 128});
    inPlace::emboss(grey);
    Bitmap black = flat(6, 4, {0, 0, 0});
    inPlace::emboss(black);
    for (int x = 0; x < 6; ++x) {
        for (int y = 0; y < 3; ++y) {
            EXPECT_EQ(channel(grey, x, y), 127);
            EXPECT_EQ(channel(black, x, y), 127);
        }
        EXPECT_EQ(channel(grey, x, 3), 128);
        EXPECT_EQ(channel(black, x, 3), 64);
    }
    // A single row has no row to compare with and stays as it is.
    Bitmap single = noise(9, 1, 3);
    const Bitmap before = single;
    inPlace::emboss(single);
    EXPECT_EQ(single, before);
}

TEST(Emboss, ReadsThreeColumnsRightInTheNextRow) {
    Bitmap p = grid({{10, 20, 30, 40, 50}, {60, 70, 80, 90, 100}});
    inPlace::emboss(p);
    // Row 0: x=0,1 against row 1 at x+3; the last three columns straight below.
    EXPECT_EQ(channelRows(p)[0],
              (std::vector<int>{(10 + 255 - 90) / 2, (20 + 255 - 100) / 2, (30 + 255 - 80) / 2,
                                (40 + 255 - 90) / 2, (50 + 255 - 100) / 2}));
    // Row 1 against the already changed row 0.
    const auto r0 = channelRows(p)[0];
    EXPECT_EQ(channel(p, 0, 1), (60 + 255 - r0[3]) / 2);
    EXPECT_EQ(channel(p, 4, 1), (100 + 255 - r0[4]) / 2);
    expectSameAsLiteral(
        "emboss", [](Bitmap& b, int) { inPlace::emboss(b); }, [](Bitmap& b, int) { reference::emboss(b); },
        {0});
}

TEST(Mosaic, BlocksTakeTheirTopLeftColour) {
    Bitmap p = noise(5, 3, 11);
    const Bitmap source = p;
    inPlace::mosaic(p, 2);
    EXPECT_EQ(at(p, 4, 1), at(source, 4, 0));
    EXPECT_EQ(at(p, 3, 2), at(source, 2, 2));
    EXPECT_EQ(at(p, 1, 1), at(source, 0, 0));
    Bitmap one = source;
    inPlace::mosaic(one, 1);
    EXPECT_EQ(one, source);
    expectSameAsLiteral("mosaic", inPlace::mosaic, reference::mosaic, {1, 2, 3, 5, 17, 31});
}

TEST(SplitBlur, WorkedExampleAndEdges) {
    Bitmap p = grid({{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 200, 0}, {0, 0, 0, 0}});
    inPlace::splitBlur(p, 1);
    EXPECT_EQ(channelRows(p), (std::vector<std::vector<int>>{
                                  {0, 0, 0, 0}, {0, 50, 0, 50}, {12, 0, 25, 12}, {15, 9, 28, 18}}));
    // Near the bottom the lower row is counted from the top: in 100 rows with amount 10, row 95 reads row 5.
    Bitmap tall(3, 100);
    for (int x = 0; x < 3; ++x)
        set(tall, x, 5, {200, 200, 200});
    inPlace::splitBlur(tall, 10);
    EXPECT_GT(channel(tall, 0, 95), 0);
    expectSameAsLiteral("split blur", inPlace::splitBlur, reference::splitBlur,
                        {1, 2, 3, 4, 5, 8, 9, 16, 17, 30, 31, 255});
}

TEST(GaussianBlur, IsStrengthPlusOneSplitBlurPasses) {
    Bitmap a = photoLike(23, 17, 5);
    Bitmap b = a;
    inPlace::gaussianBlur(a, 1);
    inPlace::splitBlur(b, 3);
    inPlace::splitBlur(b, 3);
    EXPECT_EQ(a, b);
    expectSameAsLiteral("gaussian", inPlace::gaussianBlur, reference::gaussianBlur, {1, 2, 7});
}

TEST(AntiAlias, MeanOfFourNeighboursInPlace) {
    Bitmap p = grid({{0, 40, 0}, {80, 255, 120}, {0, 160, 0}});
    inPlace::antiAlias(p, 1);
    EXPECT_EQ(channel(p, 1, 1), 100);
    // The border never changes; a picture two pixels high does not change at all.
    Bitmap low = noise(9, 2, 4);
    const Bitmap lowBefore = low;
    inPlace::antiAlias(low, 50);
    EXPECT_EQ(low, lowBefore);
    Bitmap big = noise(8, 6, 9);
    const Bitmap bigBefore = big;
    inPlace::antiAlias(big, 3);
    for (int x = 0; x < 8; ++x) {
        EXPECT_EQ(at(big, x, 0), at(bigBefore, x, 0));
        EXPECT_EQ(at(big, x, 5), at(bigBefore, x, 5));
    }
}

class AntiAliasKernels : public AtEveryKernelLevel {
protected:
    static void expectLiteral(Bitmap p, int passes) {
        Bitmap literal = p;
        inPlace::antiAlias(p, passes);
        reference::antiAlias(literal, passes);
        ASSERT_EQ(firstDifference(p, literal), "")
            << p.width() << "x" << p.height() << ", " << passes << " passes";
        ASSERT_TRUE(paddingIsZero(p)) << p.width() << "x" << p.height();
    }
};
INSTANTIATE_AT_EVERY_KERNEL_LEVEL(AntiAliasKernels);

TEST_P(AntiAliasKernels, EqualsLiteralOnAwkwardSizes) {
    expectSameAsLiteral("antialias", inPlace::antiAlias, reference::antiAlias, {1, 2, 5, 50});
}

TEST_P(AntiAliasKernels, RowsOfEveryLengthAndNarrowPictures) {
    // Odd and even counts of inner pixels for the two-pixel steps, pictures one to three pixels wide or
    // high, and rows that cross the chunks of the vector rows.
    std::uint32_t seed = 3;
    for (int w = 1; w <= 70; ++w)
        for (int h = 1; h <= 5; ++h)
            for (int passes : {0, 1, 2, 3})
                expectLiteral(noise(w, h, ++seed), passes);
    for (int w : {1, 2, 3})
        expectLiteral(noise(w, 40, ++seed), 7);
    for (int w : {255, 256, 257, 258, 259, 513, 514, 515})
        expectLiteral(photoLike(w, 4, ++seed), 2);
}

TEST_P(AntiAliasKernels, ManyPassesAsAWavefront) {
    // Tall: all passes in flight at once, each a row behind the one before. Wide: fewer rows than passes
    // fit the band kept in the cache, so the passes go in groups.
    expectLiteral(noise(5, 300, 17), 50);
    expectLiteral(noise(4000, 6, 18), 50);
    expectLiteral(photoLike(20000, 4, 19), 50);
    // Pictures crossing several strips of diagonals and bands of sweeps, with the largest stages (all
    // passes in one register but its spare lane) and the smallest that need two.
    std::uint32_t seed = 20;
    for (int passes : {29, 30, 31, 32, 33})
        expectLiteral(noise(301, 45, ++seed), passes);
}

class AreaThreads : public AtEveryLevelAndThreadCount {};
INSTANTIATE_AT_EVERY_LEVEL_AND_THREAD_COUNT(AreaThreads);

TEST_P(AreaThreads, EveryEffectEqualsTheLiteralOne) {
    // Sizes where threads get bands thinner than the rows an effect reads, where the rows near the top
    // and the bottom read each other, and widths around the vector widths.
    auto sizes = awkwardSizes();
    sizes.insert(sizes.end(), {{1, 40},
                               {40, 1},
                               {5, 16},
                               {7, 17},
                               {33, 50},
                               {70, 23},
                               {22, 64},
                               {3, 100},
                               {100, 3},
                               {129, 31},
                               {43, 9},
                               {9, 130}});
    struct Effect {
        const char* name;
        void (*fast)(Bitmap&, int);
        void (*literal)(Bitmap&, int);
        std::vector<int> amounts;
    };
    const Effect effects[] = {
        {"emboss",
         [](Bitmap& p, int) { inPlace::emboss(p); },
         [](Bitmap& p, int) { reference::emboss(p); },
         {0}},
        {"mosaic", inPlace::mosaic, reference::mosaic, {1, 2, 3, 7}},
        {"split blur", inPlace::splitBlur, reference::splitBlur, {1, 2, 3, 5, 8, 16, 22, 40, 255}},
        {"gaussian", inPlace::gaussianBlur, reference::gaussianBlur, {0, 1, 4, 50}},
        {"antialias", inPlace::antiAlias, reference::antiAlias, {1, 3, 50}},
        {"trace", inPlace::trace, reference::trace, {1, 2}},
    };
    std::uint32_t seed = 5;
    for (const Effect& effect : effects)
        for (auto [w, h] : sizes)
            for (int amount : effect.amounts) {
                Bitmap fast = ++seed % 2 ? photoLike(w, h, seed) : noise(w, h, seed);
                Bitmap literal = fast;
                effect.fast(fast, amount);
                effect.literal(literal, amount);
                ASSERT_EQ(firstDifference(fast, literal), "")
                    << effect.name << " " << amount << " on " << w << "x" << h;
            }
}

TEST_P(AreaThreads, GaussianStagesOfFewPasses) {
    // Rows so wide that a stage holds one or two passes: many stages in turn on each thread.
    for (auto [w, h, strength] : {std::tuple{20000, 20, 11}, std::tuple{9000, 33, 6}}) {
        Bitmap fast = photoLike(w, h, static_cast<std::uint32_t>(strength));
        Bitmap literal = fast;
        inPlace::gaussianBlur(fast, strength);
        reference::gaussianBlur(literal, strength);
        ASSERT_EQ(firstDifference(fast, literal), "") << w << "x" << h << " strength " << strength;
    }
}
