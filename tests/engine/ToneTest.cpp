#include "EngineHelpers.h"
#include "Reference.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>

using namespace testpics;
using pixmora::Bitmap;
using pixmora::ToneSettings;

namespace {

// Renders a row of grey values with one setting applied through the engine; returns the red channels.
template <typename Setter> std::vector<int> renderGreys(std::initializer_list<int> values, Setter&& setter) {
    CountingEngine e;
    e.setPictureOriginal(greys(values));
    setter(e);
    std::vector<int> out;
    for (int x = 0; x < shown(e).width(); ++x)
        out.push_back(at(shown(e), x, 0).r);
    return out;
}

Rgb renderPixel(Rgb c, const std::function<void(CountingEngine&)>& setter) {
    CountingEngine e;
    e.setPictureOriginal(row({c}));
    setter(e);
    return at(shown(e), 0, 0);
}

} // namespace

TEST(ToneEffects, WorkedExamplesOfSingleSettings) {
    EXPECT_EQ(renderPixel({100, 200, 250}, [](auto& e) { e.setPicBrightness(50); }), (Rgb{150, 250, 255}));
    EXPECT_EQ(renderGreys({0, 100, 127, 128, 200, 255}, [](auto& e) { e.setPicContrast(255); }),
              (std::vector<int>{0, 73, 127, 129, 255, 255}));
    EXPECT_EQ(renderGreys({0, 200, 255}, [](auto& e) { e.setPicLightness(100); }), (std::vector<int>{100, 221, 255}));
    EXPECT_EQ(renderGreys({0, 200, 255}, [](auto& e) { e.setPicDarkness(100); }), (std::vector<int>{0, 122, 155}));
    EXPECT_EQ(renderGreys({5, 15, 25, 35, 250, 254, 255}, [](auto& e) { e.setPicPosterize(10); }),
              (std::vector<int>{0, 20, 20, 40, 250, 250, 255}));
    EXPECT_EQ(renderGreys({15}, [](auto& e) {
                  e.setPicPosterize(10);
                  e.setPicBrightness(3);
              }),
              (std::vector<int>{23}));
    EXPECT_EQ(renderPixel({200, 200, 200}, [](auto& e) { e.setPicSolorize(100); }), (Rgb{55, 55, 55}));
    EXPECT_EQ(renderPixel({150, 150, 150}, [](auto& e) { e.setPicSolorize(100); }), (Rgb{150, 150, 150}));
    EXPECT_EQ(renderPixel({255, 255, 0}, [](auto& e) { e.setPicSolorize(100); }), (Rgb{0, 0, 255}));
    EXPECT_EQ(renderGreys({128, 85, 64, 1, 0, 255}, [](auto& e) { e.setPicSplitlight(1); }),
              (std::vector<int>{181, 128, 98, 2, 0, 255}));
    EXPECT_EQ(renderGreys({128, 0, 255}, [](auto& e) { e.setPicSplitlight(2); }), (std::vector<int>{229, 0, 255}));
    EXPECT_EQ(renderPixel({255, 0, 0}, [](auto& e) { e.setPicSaturation(-255); }), (Rgb{85, 85, 85}));
    EXPECT_EQ(renderPixel({200, 100, 0}, [](auto& e) { e.setPicSaturation(255); }), (Rgb{255, 100, 0}));
}

TEST(ToneEffects, GreyScaleWeightsAndItsPartners) {
    auto grey = [](Rgb c) { return renderPixel(c, [](auto& e) { e.setPicGrayScale(true); }); };
    EXPECT_EQ(grey({255, 0, 0}), (Rgb{76, 76, 76}));
    EXPECT_EQ(grey({0, 255, 0}), (Rgb{150, 150, 150}));
    EXPECT_EQ(grey({0, 0, 255}), (Rgb{28, 28, 28}));
    EXPECT_EQ(grey({5, 0, 0}), (Rgb{2, 2, 2}));
    EXPECT_EQ(grey({100, 150, 200}), (Rgb{140, 140, 140}));
    // Grey scale wins over saturation; inversion comes last.
    EXPECT_EQ(renderPixel({100, 150, 200}, [](auto& e) {
                  e.setPicSaturation(255);
                  e.setPicGrayScale(true);
              }),
              (Rgb{140, 140, 140}));
    EXPECT_EQ(renderPixel({255, 0, 0}, [](auto& e) {
                  e.setPicInvert(true);
                  e.setPicGrayScale(true);
              }),
              (Rgb{179, 179, 179}));
}

TEST(ToneEffects, ExtremeSettingsFlattenThePicture) {
    const Bitmap source = noise(17, 9, 7);
    auto everyChannel = [&](const std::function<void(CountingEngine&)>& setter, auto&& expected) {
        CountingEngine e;
        e.setPictureOriginal(source);
        setter(e);
        for (int y = 0; y < source.height(); ++y)
            for (int x = 0; x < 3 * source.width(); ++x)
                ASSERT_EQ(shown(e).row(y)[x], expected(source.row(y)[x])) << "byte " << x << " row " << y;
    };
    everyChannel([](auto& e) { e.setPicContrast(-255); }, [](int) { return 127; });
    everyChannel([](auto& e) { e.setPicLightness(255); }, [](int) { return 255; });
    everyChannel([](auto& e) { e.setPicDarkness(255); }, [](int) { return 0; });
    everyChannel(
        [](auto& e) {
            e.setPicLightness(255);
            e.setPicDarkness(255);
        },
        [](int c) { return 255 - c; });
    everyChannel([](auto& e) { e.setPicPosterize(500); }, [](int c) { return c <= 250 ? 0 : 255; });
    everyChannel([](auto&) {}, [](int c) { return c; });
}

TEST(ToneEffects, SplitlightHalfIsTheOneExactTie) {
    // sin(pi/6) * 255 is 127.5 exactly; evaluated with extended precision it rounds to the even 128.
    EXPECT_EQ(pixmora::splitlightValue(85, 1), 128);
    for (int times = 0; times <= 10; ++times)
        for (int c = 0; c < 256; ++c) {
            int expected = c;
            for (int i = 0; i < times; ++i)
                expected = reference::splitlightOnce(expected);
            ASSERT_EQ(pixmora::splitlightValue(c, times), expected) << c << " x" << times;
        }
}

TEST(ToneEffects, GreyValueEqualsExtendedPrecisionForEveryColour) {
    // The table path must agree with the extended-precision sum on all 16.7 million colours, including
    // every exact half.
    for (int r = 0; r < 256; ++r)
        for (int g = 0; g < 256; ++g)
            for (int b = 0; b < 256; ++b)
                if (pixmora::grayValue(r, g, b) != reference::grayValue(r, g, b))
                    FAIL() << r << "," << g << "," << b;
}

TEST(ToneEffects, NoiseIsAddedBeforeTheClamp) {
    Bitmap input = row({{100, 100, 100}, {250, 250, 250}});
    Bitmap layer(2, 1);
    layer.pixel(0, 0)[2] = 7; // red of the first pixel
    layer.pixel(1, 0)[2] = 7;
    Bitmap out(2, 1);
    pixmora::renderTone(input, &layer, out, ToneSettings{});
    EXPECT_EQ(at(out, 0, 0), (Rgb{107, 100, 100}));
    EXPECT_EQ(at(out, 1, 0), (Rgb{255, 250, 250}));
    ToneSettings dark;
    dark.brightness = -10;
    pixmora::renderTone(input, &layer, out, dark);
    EXPECT_EQ(at(out, 0, 0), (Rgb{97, 90, 90}));
}

namespace {

// Settings drawn from the dialog ranges, from the edges, and from anywhere in 32 bits.
ToneSettings randomSettings(std::mt19937& rng) {
    auto pick = [&](std::initializer_list<int> special, int lo, int hi) {
        const unsigned roll = rng() % 10;
        if (roll < 3)
            return 0;
        if (roll < 6)
            return *(special.begin() + rng() % special.size());
        if (roll < 8)
            return static_cast<int>(rng());
        return lo + static_cast<int>(rng() % static_cast<unsigned>(hi - lo + 1));
    };
    ToneSettings s;
    s.brightness = std::clamp(pick({-255, 255, 1, -1}, -255, 255), -255, 255);
    s.contrast = std::max(pick({-255, 2550, INT_MAX, 1}, -255, 2550), -255);
    s.lightness = std::min(pick({-2550, 255, INT_MIN, -1}, -2550, 255), 255);
    s.darkness = std::min(pick({-2550, 255, INT_MIN, 1}, -2550, 255), 255);
    s.saturation = std::max(pick({-255, 2550, INT_MAX, -254}, -255, 2550), -255);
    s.splitlight = static_cast<int>(rng() % 11);
    if (rng() % 2)
        s.posterize = std::max(pick({1, 2, 3, 255, 256, 510, 511, INT_MAX}, 0, 500), 0);
    else
        s.solorize = std::clamp(pick({1, 254, 255, 128}, 0, 255), 0, 255);
    s.grayScale = rng() % 3 == 0;
    s.invert = rng() % 2 == 0;
    if (rng() % 4 == 0) { // only one or two settings on
        ToneSettings few;
        few.brightness = s.brightness;
        if (rng() % 2)
            few.contrast = s.contrast;
        few.invert = s.invert;
        return few;
    }
    return s;
}

} // namespace

TEST(ToneEffects, FastPassEqualsLiteralPassForManySettings) {
    std::mt19937 rng(20261208);
    for (int round = 0; round < 1500; ++round) {
        const ToneSettings s = randomSettings(rng);
        const int w = 1 + static_cast<int>(rng() % 23), h = 1 + static_cast<int>(rng() % 4);
        const Bitmap input = noise(w, h, rng());
        Bitmap layerStore = noise(w, h, rng());
        // Noise layers hold mostly zero and some large offsets, as real layers do.
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < 3 * w; ++x)
                if (layerStore.row(y)[x] < 128)
                    layerStore.row(y)[x] = 0;
        const Bitmap* layer = rng() % 2 ? &layerStore : nullptr;
        Bitmap fast(w, h), literal(w, h);
        pixmora::renderTone(input, layer, fast, s);
        reference::renderTone(input, layer, literal, s);
        ASSERT_EQ(fast, literal) << "round " << round << " b" << s.brightness << " c" << s.contrast << " l"
                                 << s.lightness << " d" << s.darkness << " s" << s.saturation << " sp"
                                 << s.splitlight << " p" << s.posterize << " so" << s.solorize << " g"
                                 << s.grayScale << " i" << s.invert << " noise" << (layer != nullptr);
    }
}
