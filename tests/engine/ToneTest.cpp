#include "EngineHelpers.h"
#include "KernelLevels.h"
#include "Reference.h"

#include <gtest/gtest.h>

#include <algorithm>
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
    EXPECT_EQ(renderGreys({0, 200, 255}, [](auto& e) { e.setPicLightness(100); }),
              (std::vector<int>{100, 221, 255}));
    EXPECT_EQ(renderGreys({0, 200, 255}, [](auto& e) { e.setPicDarkness(100); }),
              (std::vector<int>{0, 122, 155}));
    EXPECT_EQ(renderGreys({5, 15, 25, 35, 250, 254, 255}, [](auto& e) { e.setPicPosterize(10); }),
              (std::vector<int>{0, 20, 20, 40, 250, 250, 255}));
    EXPECT_EQ(renderGreys({15},
                          [](auto& e) {
                              e.setPicPosterize(10);
                              e.setPicBrightness(3);
                          }),
              (std::vector<int>{23}));
    EXPECT_EQ(renderPixel({200, 200, 200}, [](auto& e) { e.setPicSolorize(100); }), (Rgb{55, 55, 55}));
    EXPECT_EQ(renderPixel({150, 150, 150}, [](auto& e) { e.setPicSolorize(100); }), (Rgb{150, 150, 150}));
    EXPECT_EQ(renderPixel({255, 255, 0}, [](auto& e) { e.setPicSolorize(100); }), (Rgb{0, 0, 255}));
    EXPECT_EQ(renderGreys({128, 85, 64, 1, 0, 255}, [](auto& e) { e.setPicSplitlight(1); }),
              (std::vector<int>{181, 128, 98, 2, 0, 255}));
    EXPECT_EQ(renderGreys({128, 0, 255}, [](auto& e) { e.setPicSplitlight(2); }),
              (std::vector<int>{229, 0, 255}));
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
    EXPECT_EQ(renderPixel({100, 150, 200},
                          [](auto& e) {
                              e.setPicSaturation(255);
                              e.setPicGrayScale(true);
                          }),
              (Rgb{140, 140, 140}));
    EXPECT_EQ(renderPixel({255, 0, 0},
                          [](auto& e) {
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

class ToneKernels : public AtEveryKernelLevel {};
INSTANTIATE_AT_EVERY_KERNEL_LEVEL(ToneKernels);

TEST_P(ToneKernels, FastPassEqualsLiteralPassForManySettings) {
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

namespace {

// The fast render equals the literal one and leaves the rows' padding alone. The padding is marked
// first, so that even a stray zero beyond the end of a row shows.
::testing::AssertionResult rendersLikeLiteral(const Bitmap& input, const Bitmap* layer,
                                              const ToneSettings& s) {
    Bitmap fast(input.width(), input.height()), literal(input.width(), input.height());
    const std::ptrdiff_t rowBytes = 3 * static_cast<std::ptrdiff_t>(input.width());
    for (int y = 0; y < fast.height(); ++y)
        std::fill(fast.row(y) + rowBytes, fast.row(y) + fast.stride(), std::uint8_t{0xA5});
    pixmora::renderTone(input, layer, fast, s);
    reference::renderTone(input, layer, literal, s);
    const std::string difference = firstDifference(fast, literal);
    if (!difference.empty())
        return ::testing::AssertionFailure() << "pixel " << difference;
    for (int y = 0; y < fast.height(); ++y)
        if (std::any_of(fast.row(y) + rowBytes, fast.row(y) + fast.stride(),
                        [](auto b) { return b != 0xA5; }))
            return ::testing::AssertionFailure() << "the padding of row " << y << " was written";
    return ::testing::AssertionSuccess();
}

// One setting for each way through the tone pass.
const std::pair<const char*, ToneSettings> SettingsOfEveryKernel[] = {
    {"brightness up", {.brightness = 70}},
    {"brightness down", {.brightness = -70}},
    {"one table", {.contrast = 90, .splitlight = 1, .invert = true}},
    {"solorize", {.solorize = 100}},
    {"solorize grey", {.solorize = 60, .grayScale = true, .invert = true}},
    {"solorize saturation", {.contrast = 30, .saturation = 150, .solorize = 200}},
    {"posterize grey", {.brightness = 5, .posterize = 7, .grayScale = true}},
    {"saturation", {.lightness = 40, .saturation = -120, .invert = true}},
    {"grey", {.grayScale = true}},
};

Bitmap layerOfBytes(int w, int h, std::initializer_list<int> bytes, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Bitmap layer(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < 3 * w; ++x)
            layer.row(y)[x] = static_cast<std::uint8_t>(*(bytes.begin() + rng() % bytes.size()));
    return layer;
}

} // namespace

TEST_P(ToneKernels, RowsOfEveryLength) {
    // The vector kernels take 16 or 64 pixels at a time; every remainder, with and without row padding,
    // and rows that follow each other.
    std::uint32_t seed = 7;
    for (const auto& [name, s] : SettingsOfEveryKernel)
        for (int w = 1; w <= 70; ++w)
            for (int h = 1; h <= 3; h += 2) {
                const Bitmap input = noise(w, h, ++seed);
                const Bitmap layer = layerOfBytes(w, h, {0, 0, 0, 9, 130, 255}, ++seed);
                ASSERT_TRUE(rendersLikeLiteral(input, nullptr, s)) << name << " " << w << "x" << h;
                ASSERT_TRUE(rendersLikeLiteral(input, &layer, s)) << name << " with noise " << w << "x" << h;
            }
}

TEST_P(ToneKernels, ExactGreyHalvesInEveryLanePosition) {
    // Every colour whose weighted sum is an exact half (30R + 59G + 11B ending in 50), in rows of 61
    // pixels so that the colours keep landing in other lanes and next to other halves.
    std::vector<Rgb> halves;
    for (int r = 0; r < 256; ++r)
        for (int g = 0; g < 256; ++g)
            for (int b = 0; b < 256; ++b)
                if ((30 * r + 59 * g + 11 * b) % 100 == 50)
                    halves.push_back({r, g, b});
    const int w = 61, h = static_cast<int>((halves.size() + w - 1) / w);
    Bitmap all(w, h), inverted(w, h);
    for (std::size_t i = 0; i < halves.size(); ++i) {
        const Rgb c = halves[i];
        set(all, static_cast<int>(i % w), static_cast<int>(i / w), c);
        set(inverted, static_cast<int>(i % w), static_cast<int>(i / w), {255 - c.r, 255 - c.g, 255 - c.b});
    }
    ToneSettings grey;
    grey.grayScale = true;
    const Bitmap noNoise(w, h); // the noise kernels, adding nothing
    EXPECT_TRUE(rendersLikeLiteral(all, nullptr, grey));
    EXPECT_TRUE(rendersLikeLiteral(all, &noNoise, grey));
    ToneSettings solarGrey = grey; // every pixel is inverted back to a half before the grey step
    solarGrey.solorize = 255;
    solarGrey.invert = true;
    EXPECT_TRUE(rendersLikeLiteral(inverted, nullptr, solarGrey));

    // One half among ordinary pixels, at each position of three vector groups.
    Bitmap single = flat(48, 48, {10, 20, 30});
    for (int k = 0; k < 48; ++k)
        set(single, k, k, halves[static_cast<std::size_t>(k) * 997 % halves.size()]);
    EXPECT_TRUE(rendersLikeLiteral(single, nullptr, grey));
}

namespace {

// Every channel value against partners at both ends, so that every distance from the mean occurs.
Bitmap everyDistanceFromTheMean() {
    Bitmap input(64, 24);
    for (int a = 0; a < 256; ++a) {
        const Rgb partners[] = {{a, 0, 255}, {a, 255, 0}, {a, a, 0}, {255, a, 255}, {0, 0, a}, {a, 128, 127}};
        for (int k = 0; k < 6; ++k)
            set(input, a % 64, 6 * (a / 64) + k, partners[k]);
    }
    return input;
}

} // namespace

TEST_P(ToneKernels, SaturationExtremes) {
    const Bitmap input = everyDistanceFromTheMean();
    for (int saturation :
         {-255,  -254,  -128,  -1,    1,     2,       127,     254,  255,  256,    257,    509,    510,
          65025, 65279, 65280, 65281, 65535, 1 << 20, INT_MAX, -256, -511, -65535, -70000, INT_MIN}) {
        ToneSettings s;
        s.saturation = saturation;
        EXPECT_TRUE(rendersLikeLiteral(input, nullptr, s)) << saturation;
        s.invert = true;
        s.contrast = 60;
        EXPECT_TRUE(rendersLikeLiteral(input, nullptr, s)) << saturation << " with contrast and invert";
    }
}

TEST_P(ToneKernels, NoiseBytesNearTheTop) {
    // Sums near both ends of -256..256 plus noise bytes near 255: the clamp after the noise must hold.
    const Bitmap input = noise(53, 7, 99);
    const Bitmap layer = layerOfBytes(53, 7, {0, 1, 127, 128, 250, 251, 252, 253, 254, 255}, 5);
    for (int brightness : {-255, -254, -1, 0, 1, 254, 255})
        for (int coupling = 0; coupling < 3; ++coupling)
            for (bool solar : {false, true}) {
                ToneSettings s;
                s.brightness = brightness;
                s.contrast = brightness < 0 ? 2550 : -255;
                s.darkness = brightness == 0 ? -2550 : 0;
                s.grayScale = coupling == 1;
                s.saturation = coupling == 2 ? 300 : 0;
                s.solorize = solar ? 128 : 0;
                ASSERT_TRUE(rendersLikeLiteral(input, &layer, s))
                    << "brightness " << brightness << " coupling " << coupling << " solar " << solar;
            }
}

TEST_P(ToneKernels, SaturationOfEveryFactorAroundTheDialogRange) {
    // The step d * (S + 255) div 255 is taken as a multiply-high; each factor gets its own multiplier,
    // whole parts 0 to 3, in both directions.
    const Bitmap input = everyDistanceFromTheMean();
    for (int saturation = -600; saturation <= 600; ++saturation) {
        ToneSettings s;
        s.saturation = saturation;
        s.invert = saturation % 3 == 0;
        ASSERT_TRUE(rendersLikeLiteral(input, nullptr, s)) << saturation;
    }
}

namespace {

// Rows of bytes 0, y, 1, y, 2, y, ...: read as 16-bit pairs from the start of a row, every pair of byte
// values occurs once.
Bitmap everyBytePair() {
    Bitmap p(171, 256);
    for (int y = 0; y < 256; ++y)
        for (int i = 0; i < 3 * p.width(); ++i)
            p.row(y)[i] = static_cast<std::uint8_t>(i % 2 ? y : i / 2);
    return p;
}

// Pixels with every pair of blue and green, and every pair of red and green.
Bitmap everyChannelPair() {
    Bitmap p(256, 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            set(p, x, y, {(3 * x + y) % 256, y, x});
    return p;
}

// A picture and a noise layer where every channel value meets every noise byte, in each channel.
std::pair<Bitmap, Bitmap> everyValueWithEveryNoise() {
    Bitmap p(86, 256), layer(86, 256);
    for (int y = 0; y < 256; ++y)
        for (int i = 0; i < 3 * p.width(); ++i) {
            p.row(y)[i] = static_cast<std::uint8_t>(i);
            layer.row(y)[i] = static_cast<std::uint8_t>(y);
        }
    return {p, layer};
}

} // namespace

TEST_P(ToneKernels, EveryPairOfTableEntries) {
    // The kernels may read their tables by pairs of bytes, or by a byte and its noise; every pair must
    // come out right, with sums near both ends of the clamp.
    const Bitmap bytePairs = everyBytePair(), channelPairs = everyChannelPair();
    const Bitmap layer = layerOfBytes(bytePairs.width(), bytePairs.height(), {0, 1, 100, 254, 255}, 3);
    const ToneSettings oneTable{.contrast = 90, .splitlight = 1, .invert = true};
    const ToneSettings steep{.brightness = -60, .contrast = 700, .invert = true}; // noise is the last step
    EXPECT_TRUE(rendersLikeLiteral(bytePairs, nullptr, oneTable));
    EXPECT_TRUE(rendersLikeLiteral(bytePairs, &layer, steep));
    EXPECT_TRUE(rendersLikeLiteral(bytePairs, &layer, {.brightness = 200}));

    for (const ToneSettings& s : {ToneSettings{.contrast = 50, .saturation = 90},
                                  ToneSettings{.lightness = -300, .saturation = 400, .solorize = 90},
                                  ToneSettings{.contrast = -80, .splitlight = 2, .grayScale = true},
                                  ToneSettings{.darkness = 70, .solorize = 200, .grayScale = true},
                                  ToneSettings{.brightness = 30, .solorize = 40, .invert = true}})
        EXPECT_TRUE(rendersLikeLiteral(channelPairs, nullptr, s))
            << "saturation " << s.saturation << " grey " << s.grayScale << " solorize " << s.solorize;

    const auto [values, noiseBytes] = everyValueWithEveryNoise();
    for (const ToneSettings& s :
         {ToneSettings{.brightness = -200, .splitlight = 1}, ToneSettings{.brightness = -77},
          ToneSettings{.brightness = -255}, ToneSettings{.brightness = 0},
          ToneSettings{.brightness = 90, .invert = true},
          ToneSettings{.contrast = 2550, .splitlight = 1, .solorize = 120},
          ToneSettings{.brightness = 100, .splitlight = 3, .grayScale = true},
          ToneSettings{.lightness = 90, .saturation = -200, .splitlight = 1},
          ToneSettings{.darkness = -500, .saturation = 800, .solorize = 30}})
        EXPECT_TRUE(rendersLikeLiteral(values, &noiseBytes, s))
            << "brightness " << s.brightness << " saturation " << s.saturation << " grey " << s.grayScale;
}

TEST_P(ToneKernels, GreyHalvesMadeByTheChannelSteps) {
    // Pixels that become exact halves only after the per-channel steps: the rounding must look at the
    // stepped values, not at the picture's.
    std::vector<Rgb> inverted, lowered;
    for (int r = 0; r < 256; ++r)
        for (int g = 0; g < 256; ++g)
            for (int b = 0; b < 256; ++b)
                if ((30 * r + 59 * g + 11 * b) % 100 == 50) {
                    inverted.push_back({255 - r, 255 - g, 255 - b});
                    if (r > 0 && g > 0 && b > 0)
                        lowered.push_back({r - 1, g - 1, b - 1});
                }
    auto picture = [](const std::vector<Rgb>& colours) {
        const int w = 67, h = static_cast<int>((colours.size() + w - 1) / w);
        Bitmap p(w, h);
        for (std::size_t i = 0; i < colours.size(); ++i)
            set(p, static_cast<int>(i % w), static_cast<int>(i / w), colours[i]);
        return p;
    };
    // Lightness and darkness at 255 together turn c into 255 - c; brightness 1 adds one.
    EXPECT_TRUE(rendersLikeLiteral(picture(inverted), nullptr,
                                   {.lightness = 255, .darkness = 255, .grayScale = true, .invert = true}));
    EXPECT_TRUE(rendersLikeLiteral(picture(lowered), nullptr, {.brightness = 1, .grayScale = true}));
}

class ToneThreads : public AtEveryLevelAndThreadCount {};
INSTANTIATE_AT_EVERY_LEVEL_AND_THREAD_COUNT(ToneThreads);

TEST_P(ToneThreads, BandsOfRowsGiveTheLiteralPass) {
    std::mt19937 rng(4242);
    auto sizes = awkwardSizes();
    sizes.insert(sizes.end(), {{1, 40}, {40, 1}, {17, 23}, {64, 11}, {5, 8}});
    for (auto [w, h] : sizes)
        for (int round = 0; round < 6; ++round) {
            const ToneSettings s = randomSettings(rng);
            const Bitmap input = noise(w, h, rng());
            const Bitmap layer = layerOfBytes(w, h, {0, 0, 3, 200, 255}, rng());
            ASSERT_TRUE(rendersLikeLiteral(input, round % 2 ? &layer : nullptr, s))
                << w << "x" << h << " round " << round;
        }
}

TEST_P(ToneKernels, NoEffectCopiesEveryPieceAsItIs) {
    // With nothing to do the pass is a copy (with streaming stores where the level has them): pieces of
    // every length and alignment, on rows of every width around the vector sizes.
    std::mt19937 rng(7);
    for (int w : {1, 2, 21, 22, 63, 64, 65, 200, 1001}) {
        const Bitmap input = noise(w, 3, rng());
        Bitmap out(w, 3);
        const pixmora::ToneRows rows(input, nullptr, out, ToneSettings{});
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < w;) {
                const int end = std::min(w, x + 1 + static_cast<int>(rng() % 90));
                rows(y, x, end);
                x = end;
            }
        ASSERT_EQ(firstDifference(out, input), "") << w << " wide";
        ASSERT_TRUE(paddingIsZero(out)) << w << " wide";
    }
}

TEST_P(ToneKernels, PiecesOfRowsFromAnyThread) {
    // A kernel that finishes its result in pieces of rows renders them piece by piece; the pieces must
    // join to the pass over whole rows, whatever their lengths.
    std::mt19937 rng(99);
    const Bitmap input = noise(133, 6, 1);
    const Bitmap layer = layerOfBytes(133, 6, {0, 7, 200}, 2);
    for (int round = 0; round < 40; ++round) {
        const ToneSettings s = randomSettings(rng);
        const Bitmap* noiseLayer = round % 2 ? &layer : nullptr;
        Bitmap whole(133, 6), pieces(133, 6);
        pixmora::renderTone(input, noiseLayer, whole, s);
        const pixmora::ToneRows rows(input, noiseLayer, pieces, s);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 133;) {
                const int end = std::min(133, x + 1 + static_cast<int>(rng() % 70));
                rows(y, x, end);
                x = end;
            }
        ASSERT_EQ(firstDifference(pieces, whole), "") << "round " << round;
    }
}
