#include "EngineHelpers.h"
#include "InPlace.h"
#include "KernelLevels.h"
#include "Reference.h"

#include <gtest/gtest.h>

#include <set>

using namespace testpics;
using pixmora::Bitmap;

namespace {

// Colours whose 256-colour indices are 1, 2 and 3 (only the blue level differs).
constexpr Rgb Index1{0, 0, 51}, Index2{0, 0, 102}, Index3{0, 0, 153};

Bitmap withBlock(int w, int h, Rgb background, Rgb block, int bx, int by, int bw, int bh) {
    Bitmap p = flat(w, h, background);
    for (int y = by; y < by + bh; ++y)
        for (int x = bx; x < bx + bw; ++x)
            set(p, x, y, block);
    return p;
}

std::set<std::pair<int, int>> blackPixels(const Bitmap& p) {
    std::set<std::pair<int, int>> marks;
    for (int y = 0; y < p.height(); ++y)
        for (int x = 0; x < p.width(); ++x)
            if (at(p, x, y) == (Rgb{0, 0, 0}))
                marks.insert({x, y});
    return marks;
}

} // namespace

TEST(Trace, RingOutsideTheBlockOfTheReferenceColour) {
    Bitmap p = withBlock(5, 4, Index1, Index2, 1, 1, 2, 2);
    inPlace::trace(p, 1);
    EXPECT_EQ(blackPixels(p), (std::set<std::pair<int, int>>{
                                  {1, 0}, {2, 0}, {0, 1}, {3, 1}, {0, 2}, {3, 2}, {1, 3}, {2, 3}}));
    EXPECT_EQ(at(p, 1, 1), Index2); // the block keeps its colours
}

TEST(Trace, BackwardScanAddsTheRightHandPart) {
    const Bitmap source = withBlock(6, 5, Index1, Index3, 2, 2, 3, 2);
    Bitmap one = source, two = source, three = source;
    inPlace::trace(one, 1);
    inPlace::trace(two, 2);
    inPlace::trace(three, 3);
    const std::set<std::pair<int, int>> first{{2, 1}, {3, 1}, {1, 2}, {1, 3}, {2, 4}, {3, 4}};
    EXPECT_EQ(blackPixels(one), first);
    std::set<std::pair<int, int>> second = first;
    second.insert({{4, 1}, {5, 2}, {5, 3}, {4, 4}});
    EXPECT_EQ(blackPixels(two), second);
    EXPECT_EQ(three, two);
}

TEST(Trace, FlatPicturesAndSingleRowsStay) {
    Bitmap flatPicture = flat(7, 5, {90, 120, 30});
    const Bitmap flatBefore = flatPicture;
    inPlace::trace(flatPicture, 10);
    EXPECT_EQ(flatPicture, flatBefore);
    Bitmap single = noise(12, 1, 2);
    const Bitmap singleBefore = single;
    inPlace::trace(single, 10);
    EXPECT_EQ(single, singleBefore);
}

TEST(Trace, TwoScansGiveWhatEveryPassGives) {
    std::uint32_t seed = 40;
    for (auto [w, h] : awkwardSizes())
        for (int n : {1, 2, 3, 10})
            for (int kind = 0; kind < 2; ++kind) {
                Bitmap a = kind ? photoLike(w, h, ++seed) : noise(w, h, ++seed);
                Bitmap b = a;
                inPlace::trace(a, n);
                reference::trace(b, n);
                ASSERT_EQ(a, b) << w << "x" << h << " intensity " << n;
            }
}

TEST(Tile, BilinearResamplingExamples) {
    Bitmap rowSource = greys({0, 100});
    Bitmap ten(10, 1);
    pixmora::resampleBilinear(rowSource, ten);
    std::vector<int> got;
    for (int x = 0; x < 10; ++x)
        got.push_back(channel(ten, x, 0));
    EXPECT_EQ(got, (std::vector<int>{0, 9, 19, 29, 39, 49, 59, 69, 79, 89}));

    Bitmap square = grid({{0, 100}, {200, 50}});
    Bitmap three(3, 3);
    pixmora::resampleBilinear(square, three);
    EXPECT_EQ(channel(three, 0, 0), 0);
    EXPECT_EQ(channel(three, 1, 0), 33);
    EXPECT_EQ(channel(three, 2, 0), 66);
    EXPECT_EQ(channel(three, 0, 1), 66);
    EXPECT_EQ(channel(three, 1, 1), 72);
    EXPECT_EQ(channel(three, 2, 1), 77);
    EXPECT_EQ(channel(three, 0, 2), 133);
    EXPECT_EQ(channel(three, 1, 2), 111);
    EXPECT_EQ(channel(three, 2, 2), 88);

    // One pixel wide or high: the missing neighbour has no weight.
    for (auto [w, h] : std::vector<std::pair<int, int>>{{1, 1}, {1, 7}, {7, 1}, {5, 9}, {40, 3}}) {
        const Bitmap s = noise(w, h, static_cast<std::uint32_t>(w * 31 + h));
        for (auto [dw, dh] : std::vector<std::pair<int, int>>{{1, 1}, {10, 10}, {3, 17}, {50, 2}}) {
            Bitmap fast(dw, dh), literal(dw, dh);
            pixmora::resampleBilinear(s, fast);
            reference::resampleBilinear(s, literal);
            ASSERT_EQ(fast, literal) << w << "x" << h << " -> " << dw << "x" << dh;
        }
    }
}

TEST(Tile, TileSizesAndStoredValues) {
    struct Case {
        int w, h, value, stored, tw, th;
    };
    for (const Case& c : std::vector<Case>{{300, 200, 3, 3, 100, 66},
                                           {300, 200, 25, 25, 12, 10},
                                           {300, 200, 100, 30, 10, 10},
                                           {100, 5, 1, 1, 100, 10},
                                           {640, 480, 1, 1, 640, 480}}) {
        const Bitmap source = photoLike(c.w, c.h, static_cast<std::uint32_t>(c.value));
        CountingEngine e;
        e.setPictureOriginal(source);
        e.setPicTile(c.value);
        EXPECT_EQ(e.PicTile(), c.stored) << c.w << "x" << c.h << " value " << c.value;
        ASSERT_NE(e.AreaResult(), nullptr);
        Bitmap expected = source;
        reference::tile(expected, source, c.tw, c.th);
        EXPECT_EQ(*e.AreaResult(), expected) << c.w << "x" << c.h << " value " << c.value;
        EXPECT_EQ(shown(e), expected);
    }
    // A picture smaller than ten pixels on both sides takes no tiles at all.
    CountingEngine small;
    small.setPictureOriginal(noise(9, 9, 1));
    small.setPicMosaic(3);
    small.setPicTile(4);
    EXPECT_EQ(small.PicTile(), 0);
    EXPECT_EQ(small.PicMosaic(), 0);
    EXPECT_EQ(small.AreaResult(), nullptr);
    EXPECT_EQ(shown(small), small.PictureOriginal().bitmap());
}

TEST(Tile, OneTileIsASlightlyShrunkCopy) {
    const Bitmap source = photoLike(64, 48, 77);
    CountingEngine e;
    e.setPictureOriginal(source);
    e.setPicTile(1);
    EXPECT_NE(shown(e), source);
    // The first row and column are sampled exactly; the last come from inside the source.
    EXPECT_EQ(at(shown(e), 0, 0), at(source, 0, 0));
}

class TraceThreads : public AtEveryLevelAndThreadCount {};
INSTANTIATE_AT_EVERY_LEVEL_AND_THREAD_COUNT(TraceThreads);

TEST_P(TraceThreads, BordersWhereOnlyOneScanLooks) {
    // The first border met decides the reference colour; here it lies where only the backward scan looks
    // (the last two columns), or in the last row, or nowhere at all, and the pictures are wide enough to
    // fill vector steps and tall enough to split.
    std::vector<Bitmap> pictures;
    for (auto [w, h] :
         std::vector<std::pair<int, int>>{{5, 4}, {70, 9}, {130, 5}, {2, 40}, {1, 30}, {3, 3}}) {
        Bitmap lastColumns = flat(w, h, Index1);
        for (int y = 0; y < h; ++y)
            set(lastColumns, w - 1, y, y % 3 ? Index2 : Index3);
        pictures.push_back(lastColumns);
        Bitmap corner = flat(w, h, Index2);
        set(corner, w - 1, h - 1, Index1);
        pictures.push_back(corner);
        pictures.push_back(flat(w, h, Index3));
        pictures.push_back(
            withBlock(w, h, Index1, Index3, w / 3, h / 3, std::max(1, w / 2), std::max(1, h / 2)));
    }
    for (const Bitmap& source : pictures)
        for (int n : {1, 2, 5}) {
            Bitmap fast = source, literal = source;
            inPlace::trace(fast, n);
            reference::trace(literal, n);
            ASSERT_EQ(firstDifference(fast, literal), "")
                << source.width() << "x" << source.height() << " intensity " << n;
        }
}

TEST_P(TraceThreads, TilesOfEverySizeEqualTheLiteralOnes) {
    // Tiles wider or higher than the picture (cut off), a single tile row or column, tiles that end just
    // before, at or just after the edge, and more tile rows than threads or fewer.
    std::uint32_t seed = 60;
    for (auto [w, h] : std::vector<std::pair<int, int>>{
             {1, 1}, {1, 30}, {30, 1}, {10, 10}, {11, 9}, {21, 20}, {70, 31}, {3, 100}, {129, 45}})
        for (auto [tw, th] : std::vector<std::pair<int, int>>{
                 {10, 10}, {10, 11}, {13, 10}, {w, h}, {w + 4, 10}, {10, h + 3}, {std::max(1, w / 2), 12}}) {
            const Bitmap source = ++seed % 2 ? photoLike(w, h, seed) : noise(w, h, seed);
            Bitmap fast = source, literal = source;
            inPlace::apply(
                fast, [&, tw = tw, th = th](const Bitmap& s, Bitmap& r) { pixmora::tile(s, r, tw, th); });
            reference::tile(literal, source, tw, th);
            ASSERT_EQ(firstDifference(fast, literal), "") << w << "x" << h << " tiles " << tw << "x" << th;
        }
}
