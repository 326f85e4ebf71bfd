#include "EngineHelpers.h"
#include "KernelLevels.h"
#include "Reference.h"

#include <gtest/gtest.h>

#include <climits>

using namespace testpics;
using pixmora::Bitmap;
using pixmora::NoiseGenerator;

TEST(Noise, GeneratorSequenceFromZero) {
    NoiseGenerator::setState(0);
    std::vector<std::uint32_t> draws;
    for (int i = 0; i < 6; ++i)
        draws.push_back(NoiseGenerator::draw(10));
    EXPECT_EQ(draws, (std::vector<std::uint32_t>{0, 0, 8, 2, 2, 6}));
    // Every draw stays within its range, also for the largest one.
    NoiseGenerator::setState(12345);
    for (int i = 0; i < 1000; ++i)
        ASSERT_LT(NoiseGenerator::draw(0x7FFFFFFFu), 0x7FFFFFFFu);
}

TEST(Noise, FirstColourLayerOfTheProgram) {
    NoiseGenerator::setState(0);
    CountingEngine e;
    e.setPictureOriginal(flat(2, 1, {0, 0, 0}));
    e.setPicColorNoise(10);
    ASSERT_NE(e.NoiseLayer(), nullptr);
    EXPECT_EQ(at(*e.NoiseLayer(), 0, 0), (Rgb{0, 0, 3}));
    EXPECT_EQ(at(*e.NoiseLayer(), 1, 0), (Rgb{0, 0, 1}));
    EXPECT_EQ(at(shown(e), 0, 0), (Rgb{0, 0, 3}));
    EXPECT_EQ(NoiseGenerator::state(), [] {
        reference::Generator g;
        for (int i = 0; i < 6; ++i)
            g.draw(10);
        return g.state;
    }());
}

TEST(Noise, LayersEqualTheLiteralFill) {
    for (int n : {1, 2, 3, 10, 255, 510, 511, 5000, 0x7FFFFFFF}) {
        for (bool mono : {false, true}) {
            const std::uint32_t start = 0x9E3779B9u * static_cast<std::uint32_t>(n);
            NoiseGenerator::setState(start);
            Bitmap fast(13, 7);
            if (mono)
                pixmora::fillMonoNoise(fast, n);
            else
                pixmora::fillColorNoise(fast, n);
            reference::Generator g{start};
            Bitmap literal(13, 7);
            if (mono)
                reference::monoNoise(literal, n, g);
            else
                reference::colorNoise(literal, n, g);
            ASSERT_EQ(fast, literal) << n << (mono ? " mono" : " colour");
            EXPECT_EQ(NoiseGenerator::state(), g.state);
        }
    }
}

TEST(Noise, SmallStrengthsAddNothingAndNoiseOnlyBrightens) {
    const Bitmap source = photoLike(40, 30, 3);
    for (int n : {1, 2}) {
        CountingEngine e;
        e.setPictureOriginal(source);
        e.setPicColorNoise(n);
        EXPECT_EQ(shown(e), source) << n;
    }
    CountingEngine e;
    e.setPictureOriginal(source);
    e.setPicColorNoise(600);
    bool someBrighter = false;
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < 3 * source.width(); ++x) {
            ASSERT_GE(shown(e).row(y)[x], source.row(y)[x]);
            someBrighter |= shown(e).row(y)[x] > source.row(y)[x];
        }
    EXPECT_TRUE(someBrighter);
}

TEST(Noise, MonoLayerIsGreyAndStrength5000Splits) {
    CountingEngine e;
    e.setPictureOriginal(flat(100, 100, {0, 0, 0}));
    e.setPicMonoNoise(5000);
    const Bitmap& layer = *e.NoiseLayer();
    int zeros = 0, full = 0;
    for (int y = 0; y < layer.height(); ++y)
        for (int x = 0; x < layer.width(); ++x) {
            const Rgb c = at(layer, x, y);
            ASSERT_TRUE(c.r == c.g && c.g == c.b);
            zeros += c.r == 0;
            full += c.r == 255;
        }
    // 2501 of 5000 draws give 0 and 2245 give 255.
    EXPECT_NEAR(zeros / 10000.0, 2501 / 5000.0, 0.03);
    EXPECT_NEAR(full / 10000.0, 2245 / 5000.0, 0.03);
}

TEST(Noise, PatternStaysForOtherSettingsAndChangesOnRewrite) {
    CountingEngine e;
    e.setPictureOriginal(photoLike(30, 20, 8));
    e.setPicColorNoise(200);
    const Bitmap first = *e.NoiseLayer();
    const std::uint32_t state = NoiseGenerator::state();
    e.setPicBrightness(10);
    EXPECT_EQ(*e.NoiseLayer(), first);
    EXPECT_EQ(NoiseGenerator::state(), state); // a render draws nothing
    e.setPicBrightness(0);
    e.setPicColorNoise(200);
    EXPECT_NE(*e.NoiseLayer(), first);
}

TEST(Noise, SettersExcludeEachOtherAndKeepAreaEffects) {
    CountingEngine e;
    e.setPictureOriginal(photoLike(30, 20, 9));
    e.setPicMosaic(4);
    e.setPicMonoNoise(50);
    e.setPicColorNoise(200);
    EXPECT_EQ(e.PicMonoNoise(), 0);
    EXPECT_EQ(e.PicColorNoise(), 200);
    EXPECT_EQ(e.PicMosaic(), 4);
    ASSERT_NE(e.AreaResult(), nullptr);
    e.setPicMonoNoise(-7);
    EXPECT_EQ(e.PicMonoNoise(), 0);
    EXPECT_EQ(e.PicColorNoise(), 0);
    EXPECT_EQ(e.NoiseLayer(), nullptr);
    EXPECT_EQ(shown(e), *e.AreaResult()); // no noise left on the mosaic
}

TEST(Noise, JumpsAgreeWithDrawingOneByOne) {
    for (std::uint32_t start : {0u, 1u, 0xFFFFFFFFu, 0x12345678u}) {
        reference::Generator g{start};
        for (std::uint64_t k = 0; k <= 5000; ++k) {
            ASSERT_EQ(NoiseGenerator::advance(start, k), g.state) << start << " + " << k;
            g.draw(1);
        }
        // The sequence repeats after 2^32 draws, and jumps add up.
        EXPECT_EQ(NoiseGenerator::advance(start, std::uint64_t{1} << 32), start);
        const std::uint64_t a = 123456789012, b = 98765;
        EXPECT_EQ(NoiseGenerator::advance(NoiseGenerator::advance(start, a), b),
                  NoiseGenerator::advance(start, a + b));
    }
}

class NoiseThreads : public AtEveryLevelAndThreadCount {};
INSTANTIATE_AT_EVERY_LEVEL_AND_THREAD_COUNT(NoiseThreads);

TEST_P(NoiseThreads, LayerAndGeneratorEqualOneDrawAtATime) {
    auto sizes = awkwardSizes();
    sizes.insert(sizes.end(), {{1, 100},
                               {100, 1},
                               {37, 29},
                               {64, 16},
                               {65, 15},
                               {21, 3},
                               {32, 2},
                               {33, 2},
                               {63, 3},
                               {96, 2},
                               {127, 2},
                               {129, 3}});
    std::uint32_t start = 0;
    for (auto [w, h] : sizes)
        for (int n : {1, 2, 7, 200, 511, 5000, INT_MAX})
            for (bool mono : {false, true}) {
                start = start * 2654435761u + 0x9E3779B9u + static_cast<std::uint32_t>(n);
                NoiseGenerator::setState(start);
                Bitmap fast(w, h);
                if (mono)
                    pixmora::fillMonoNoise(fast, n);
                else
                    pixmora::fillColorNoise(fast, n);
                reference::Generator g{start};
                Bitmap literal(w, h);
                if (mono)
                    reference::monoNoise(literal, n, g);
                else
                    reference::colorNoise(literal, n, g);
                ASSERT_EQ(firstDifference(fast, literal), "")
                    << w << "x" << h << " n " << n << (mono ? " mono" : " colour") << " from " << start;
                ASSERT_EQ(NoiseGenerator::state(), g.state) << w << "x" << h << " n " << n;
                ASSERT_TRUE(paddingIsZero(fast));
            }
}
