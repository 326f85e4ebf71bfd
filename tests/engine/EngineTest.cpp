#include "EngineHelpers.h"
#include "KernelLevels.h"
#include "Reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

using namespace testpics;
using pixmora::Bitmap;
using pixmora::NoiseGenerator;

TEST(Engine, SettersClampWhatTheyStore) {
    CountingEngine e; // no picture: the setters only store
    auto check = [&](auto setter, auto getter, int written, int stored) {
        (e.*setter)(written);
        EXPECT_EQ((e.*getter)(), stored) << "wrote " << written;
    };
    using E = pixmora::OrImageEngine;
    check(&E::setPicBrightness, &E::PicBrightness, 300, 255);
    check(&E::setPicBrightness, &E::PicBrightness, -300, -255);
    check(&E::setPicContrast, &E::PicContrast, -1000, -255);
    check(&E::setPicContrast, &E::PicContrast, 5000, 5000);
    check(&E::setPicLightness, &E::PicLightness, 1000, 255);
    check(&E::setPicLightness, &E::PicLightness, -2550, -2550);
    check(&E::setPicDarkness, &E::PicDarkness, INT_MAX, 255);
    check(&E::setPicDarkness, &E::PicDarkness, INT_MIN, INT_MIN);
    check(&E::setPicSaturation, &E::PicSaturation, INT_MIN, -255);
    check(&E::setPicSaturation, &E::PicSaturation, INT_MAX, INT_MAX);
    check(&E::setPicSplitlight, &E::PicSplitlight, 11, 10);
    check(&E::setPicSplitlight, &E::PicSplitlight, -1, 0);
    check(&E::setPicColorNoise, &E::PicColorNoise, -5, 0);
    check(&E::setPicMonoNoise, &E::PicMonoNoise, INT_MAX, INT_MAX);
    check(&E::setPicPosterize, &E::PicPosterize, -1, 0);
    check(&E::setPicPosterize, &E::PicPosterize, 100000, 100000);
    check(&E::setPicSolorize, &E::PicSolorize, 256, 255);
    check(&E::setPicMosaic, &E::PicMosaic, -3, 0);
    check(&E::setPicMosaic, &E::PicMosaic, 5, 5); // unclamped without a picture
    check(&E::setPicSplitBlur, &E::PicSplitBlur, 300, 255);
    check(&E::setPicGaussianBlur, &E::PicGaussianBlur, 60, 50);
    check(&E::setPicAntiAlias, &E::PicAntiAlias, 60, 50);
    check(&E::setPicAntiAlias, &E::PicAntiAlias, -1, 0);
    check(&E::setPicTrace, &E::PicTrace, 12, 10);
    check(&E::setPicTrace, &E::PicTrace, -2, 0);
    check(&E::setPicTile, &E::PicTile, 0, 0);
    check(&E::setPicTile, &E::PicTile, 1000, 1000); // no size rule without a picture
    EXPECT_EQ(e.renders, 0);
    EXPECT_EQ(e.AreaResult(), nullptr);
    EXPECT_EQ(e.NoiseLayer(), nullptr);
    EXPECT_FALSE(e.PictureShown().hasGraphic());
}

TEST(Engine, PartnersExcludeEachOther) {
    CountingEngine e;
    e.setPictureOriginal(photoLike(640, 480, 1));
    e.setPicSolorize(100);
    e.setPicPosterize(8);
    EXPECT_EQ(e.PicSolorize(), 0);
    e.setPicSolorize(100);
    EXPECT_EQ(e.PicPosterize(), 0);

    e.setPicColorNoise(30);
    e.setPicBrightness(20);
    e.setPicMosaic(5);
    e.setPicEmboss(true);
    EXPECT_EQ(e.PicMosaic(), 0);
    EXPECT_TRUE(e.PicEmboss());
    EXPECT_EQ(e.PicColorNoise(), 30);
    EXPECT_EQ(e.PicBrightness(), 20);

    e.setPicSplitBlur(10);
    EXPECT_FALSE(e.PicEmboss());
    e.setPicMosaic(0); // even the neutral value switches the others off
    EXPECT_EQ(e.PicSplitBlur(), 0);
    EXPECT_EQ(e.AreaResult(), nullptr);

    e.setPicMosaic(1000);
    EXPECT_EQ(e.PicMosaic(), 640);
    e.setPicTrace(3);
    e.setPicTile(0);
    EXPECT_EQ(e.PicTrace(), 0);
    EXPECT_EQ(e.AreaResult(), nullptr);

    // After every write at most one area value is on.
    e.setPicGaussianBlur(2);
    e.setPicAntiAlias(3);
    const int on = e.PicEmboss() + (e.PicMosaic() > 0) + (e.PicSplitBlur() > 0) + (e.PicGaussianBlur() > 0) +
                   (e.PicAntiAlias() > 0) + (e.PicTrace() > 0) + (e.PicTile() > 0);
    EXPECT_EQ(on, 1);
}

TEST(Engine, EveryWriteRendersOnceEvenWhenUnchanged) {
    CountingEngine e;
    e.setPictureOriginal(noise(8, 5, 2));
    const int before = e.renders;
    e.setPicBrightness(10);
    e.setPicBrightness(10);
    e.setPicGrayScale(false);
    e.setPicMosaic(0);
    e.setPicGaussianBlur(2);
    e.setPicColorNoise(0);
    e.setPicMonoNoise(20);
    EXPECT_EQ(e.renders - before, 7);
}

TEST(Engine, AreaEffectsStartFromTheSourceEveryTime) {
    CountingEngine e;
    const Bitmap source = photoLike(40, 30, 4);
    e.setPictureOriginal(source);
    e.setPicGaussianBlur(5);
    e.setPicGaussianBlur(6);
    Bitmap expected = source;
    reference::gaussianBlur(expected, 6);
    EXPECT_EQ(shown(e), expected);
    const Bitmap once = shown(e);
    e.setPicGaussianBlur(6);
    EXPECT_EQ(shown(e), once);
    EXPECT_EQ(e.PictureOriginal().bitmap(), source);
}

TEST(Engine, ToneEffectsApplyOnTopOfTheAreaResult) {
    CountingEngine e;
    const Bitmap source = noise(9, 7, 5);
    e.setPictureOriginal(source);
    e.setPicMosaic(2);
    e.setPicBrightness(30);
    e.setPicInvert(true);
    Bitmap area = source;
    reference::mosaic(area, 2);
    Bitmap expected(9, 7);
    pixmora::ToneSettings s;
    s.brightness = 30;
    s.invert = true;
    reference::renderTone(area, nullptr, expected, s);
    EXPECT_EQ(shown(e), expected);
    // Setting values back restores the source exactly.
    e.setPicInvert(false);
    e.setPicBrightness(0);
    e.setPicMosaic(0);
    EXPECT_EQ(shown(e), source);
}

TEST(Engine, NewPictureKeepsTheValuesAndRebuildsIntermediates) {
    CountingEngine e;
    e.setPicMosaic(1000);
    e.setPicBrightness(-20);
    e.setPicColorNoise(40);
    EXPECT_EQ(e.PicMosaic(), 1000);

    NoiseGenerator::setState(77);
    const Bitmap source = photoLike(64, 48, 6);
    e.setPictureOriginal(source);
    // The mosaic is clamped against the new picture and the noise layer drawn exactly once.
    EXPECT_EQ(e.PicMosaic(), 64);
    ASSERT_NE(e.AreaResult(), nullptr);
    ASSERT_NE(e.NoiseLayer(), nullptr);
    reference::Generator g{77};
    Bitmap layer(64, 48);
    reference::colorNoise(layer, 40, g);
    EXPECT_EQ(*e.NoiseLayer(), layer);
    EXPECT_EQ(NoiseGenerator::state(), g.state);
    Bitmap area = source;
    reference::mosaic(area, 64);
    Bitmap expected(64, 48);
    pixmora::ToneSettings s;
    s.brightness = -20;
    reference::renderTone(area, &layer, expected, s);
    EXPECT_EQ(shown(e), expected);

    // The next picture gets the stored values again; the tile size is worked out anew.
    e.setPicTile(100);
    EXPECT_EQ(e.PicTile(), 6); // 64 x 48 with tiles of at least 10 pixels
    e.setPictureOriginal(photoLike(300, 200, 7));
    EXPECT_EQ(e.PicTile(), 6);
    EXPECT_EQ(e.PicBrightness(), -20);
    EXPECT_EQ(e.PicColorNoise(), 40);
    e.setPictureOriginal(noise(9, 9, 8)); // too small for tiles: the value falls to 0
    EXPECT_EQ(e.PicTile(), 0);
    EXPECT_EQ(e.AreaResult(), nullptr);
}

TEST(Engine, EmptyAndZeroSizedPictures) {
    CountingEngine e;
    e.ResetEffects();
    EXPECT_FALSE(e.PictureShown().hasGraphic());
    e.Render();
    EXPECT_EQ(e.renders, 0);

    e.setPicMosaic(5);
    e.setPictureOriginal(Bitmap(0, 0));
    EXPECT_EQ(e.PicMosaic(), 0); // nothing to divide into blocks
    EXPECT_EQ(e.AreaResult(), nullptr);
    e.setPictureOriginal(Bitmap(0, 4));
    e.setPicMosaic(5);
    EXPECT_EQ(e.PicMosaic(), 4); // capped at the larger side
    const int before = e.renders;
    e.setPicBrightness(9);
    EXPECT_EQ(e.renders, before + 1); // repainted although there is no pixel

    // Clearing the source clears the shown picture and keeps the intermediates.
    CountingEngine f;
    f.setPictureOriginal(noise(5, 5, 1));
    f.setPicSplitBlur(2);
    f.clearPictureOriginal();
    EXPECT_FALSE(f.PictureShown().hasGraphic());
    EXPECT_NE(f.AreaResult(), nullptr);
    EXPECT_EQ(f.PicSplitBlur(), 2);
}

TEST(Bitmap, KeptBuffersComeBackBlack) {
    // Large bitmaps of one rounded length but other widths, so that the padding lies elsewhere each time;
    // each is scribbled over before it goes back.
    Bitmap::keepReleasedBuffers(2);
    struct Restore {
        ~Restore() { Bitmap::keepReleasedBuffers(0); }
    } restore;
    const std::pair<int, int> sizes[] = {{1001, 900}, {1000, 901}, {1003, 899}, {1001, 900}, {2000, 2000}};
    for (const auto& [w, h] : sizes) {
        Bitmap b(w, h);
        const std::uint8_t* bytes = b.bits();
        ASSERT_TRUE(std::all_of(bytes, bytes + b.byteCount(), [](std::uint8_t v) { return v == 0; }))
            << w << "x" << h;
        std::memset(b.bits(), 0xAB, b.byteCount());
    }
}

TEST(Engine, ResetEffectsReturnsToTheSource) {
    CountingEngine e;
    const Bitmap source = photoLike(20, 10, 9);
    e.setPictureOriginal(source);
    e.setPicGrayScale(true);
    e.setPicContrast(90);
    e.setPicMonoNoise(300);
    e.setPicTrace(2);
    e.setPicPosterize(4);
    const int changes = e.shownChanges;
    e.ResetEffects();
    EXPECT_EQ(e.shownChanges, changes + 1);
    EXPECT_EQ(shown(e), source);
    EXPECT_EQ(e.AreaResult(), nullptr);
    EXPECT_EQ(e.NoiseLayer(), nullptr);
    EXPECT_FALSE(e.PicGrayScale());
    EXPECT_EQ(e.PicContrast() + e.PicMonoNoise() + e.PicTrace() + e.PicPosterize(), 0);
}

class EngineThreads : public AtEveryLevelAndThreadCount {};
INSTANTIATE_AT_EVERY_LEVEL_AND_THREAD_COUNT(EngineThreads);

TEST_P(EngineThreads, AreaSettersRenderTheToneEffectsAndNoiseOnTop) {
    // An area setter renders its result as it finishes rows; what is shown must be the literal tone pass
    // over the literal effect, with the noise layer, whatever the order of the writes.
    struct Area {
        void (*set)(CountingEngine&, int);
        void (*literal)(Bitmap&, int);
        int value;
    };
    const Area areas[] = {
        {[](CountingEngine& e, int) { e.setPicEmboss(true); }, [](Bitmap& p, int) { reference::emboss(p); },
         0},
        {[](CountingEngine& e, int v) { e.setPicMosaic(v); }, reference::mosaic, 3},
        {[](CountingEngine& e, int v) { e.setPicSplitBlur(v); }, reference::splitBlur, 4},
        {[](CountingEngine& e, int v) { e.setPicGaussianBlur(v); }, reference::gaussianBlur, 3},
        {[](CountingEngine& e, int v) { e.setPicAntiAlias(v); }, reference::antiAlias, 7},
        {[](CountingEngine& e, int v) { e.setPicTrace(v); }, reference::trace, 2},
        {[](CountingEngine& e, int v) { e.setPicTile(v); },
         [](Bitmap& p, int v) {
             const int tw = std::max(10, p.width() / v), th = std::max(10, p.height() / v);
             if (tw > 10 || th > 10 || std::max(p.width(), p.height()) >= 10)
                 reference::tile(p, Bitmap(p), tw, th);
         },
         3},
    };
    std::uint32_t seed = 17;
    for (auto [w, h] : std::vector<std::pair<int, int>>{{1, 1}, {3, 40}, {40, 3}, {23, 19}, {70, 33}})
        for (const Area& area : areas)
            for (int noiseKind = 0; noiseKind < 3; ++noiseKind) {
                const Bitmap source = photoLike(w, h, ++seed);
                CountingEngine e;
                e.setPictureOriginal(source);
                e.setPicContrast(60);
                e.setPicSaturation(noiseKind == 1 ? 0 : 90);
                e.setPicBrightness(-12);
                if (noiseKind == 1)
                    e.setPicColorNoise(300);
                if (noiseKind == 2)
                    e.setPicMonoNoise(90);
                area.set(e, area.value);
                Bitmap expectedArea = source;
                area.literal(expectedArea, area.value);
                pixmora::ToneSettings s{
                    .brightness = -12, .contrast = 60, .saturation = noiseKind == 1 ? 0 : 90};
                Bitmap expected(w, h);
                reference::renderTone(expectedArea, e.NoiseLayer(), expected, s);
                ASSERT_EQ(firstDifference(shown(e), expected), "") << w << "x" << h << " noise " << noiseKind;
                // A tone setter afterwards renders from the area result again.
                e.setPicInvert(true);
                s.invert = true;
                reference::renderTone(expectedArea, e.NoiseLayer(), expected, s);
                ASSERT_EQ(firstDifference(shown(e), expected), "") << w << "x" << h << " inverted";
            }
}

TEST_P(EngineThreads, NewPictureRebuildsNoiseAndAreaInTheirOrder) {
    // After a new source the render draws the missing noise layer before it rebuilds the area result:
    // the area setter then must not have rendered ahead of the layer.
    CountingEngine e;
    e.setPicColorNoise(120);
    e.setPicGaussianBlur(2);
    e.setPicDarkness(40);
    const Bitmap source = photoLike(37, 29, 3);
    NoiseGenerator::setState(5);
    e.setPictureOriginal(source);
    reference::Generator g{5};
    Bitmap layer(37, 29);
    reference::colorNoise(layer, 120, g);
    Bitmap area = source;
    reference::gaussianBlur(area, 2);
    Bitmap expected(37, 29);
    reference::renderTone(area, &layer, expected, pixmora::ToneSettings{.darkness = 40});
    EXPECT_EQ(firstDifference(shown(e), expected), "");
    // Drawn once: the setters that rebuild the intermediates render the whole picture, and the render
    // that called them stops there.
    EXPECT_EQ(e.renders, 1);
}

TEST_P(EngineThreads, RenderOnceGivesWhatANewSourceShows) {
    // Every kind of value set: none, tone only, an area effect alone (its result handed over as it is),
    // with tone effects or noise on top, noise alone, and an area value that falls to 0 on the picture.
    using Setup = void (*)(pixmora::OrImageEngine&);
    const Setup setups[] = {
        [](pixmora::OrImageEngine&) {},
        [](pixmora::OrImageEngine& e) { e.setPicBrightness(30), e.setPicSaturation(-90); },
        [](pixmora::OrImageEngine& e) { e.setPicGaussianBlur(3); },
        [](pixmora::OrImageEngine& e) { e.setPicMosaic(4); },
        [](pixmora::OrImageEngine& e) { e.setPicTrace(1), e.setPicInvert(true); },
        [](pixmora::OrImageEngine& e) { e.setPicAntiAlias(2), e.setPicMonoNoise(60); },
        [](pixmora::OrImageEngine& e) { e.setPicColorNoise(90); },
        [](pixmora::OrImageEngine& e) { e.setPicTile(1000); },
    };
    for (const Setup& setup : setups)
        for (const Bitmap& source : {photoLike(37, 29, 11), noise(5, 3, 12), noise(1, 1, 13)}) {
            pixmora::OrImageEngine kept, once;
            setup(kept);
            setup(once);
            NoiseGenerator::setState(91);
            kept.setPictureOriginal(source);
            const std::uint32_t after = NoiseGenerator::state();
            NoiseGenerator::setState(91);
            const Bitmap result = once.renderOnce(Bitmap(source));
            EXPECT_EQ(NoiseGenerator::state(), after);
            ASSERT_EQ(firstDifference(result, shown(kept)), "")
                << "setup " << (&setup - setups) << ", " << source.width() << "x" << source.height();
            // Nothing of the picture stays; the values do, for the next one.
            EXPECT_FALSE(once.PictureOriginal().hasGraphic());
            EXPECT_FALSE(once.PictureShown().hasGraphic());
            EXPECT_EQ(once.AreaResult(), nullptr);
            EXPECT_EQ(once.NoiseLayer(), nullptr);
            EXPECT_EQ(once.PicMosaic(), kept.PicMosaic());
            EXPECT_EQ(once.PicTile(), kept.PicTile());
        }
}
