#include "KernelLevels.h"
#include "OrImage.h"
#include "TestPictures.h"

#include <QApplication>
#include <QEnterEvent>
#include <QMetaProperty>
#include <QMouseEvent>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

using namespace testpics;
using pixmora::Bitmap;

namespace {

struct WatchedImage : TOrImage {
    int shownChanges = 0;
    void ShownChanged() override {
        ++shownChanges;
        TOrImage::ShownChanged();
    }
};

} // namespace

TEST(OrImageWidget, StartsEmptyAt105Square) {
    TOrImage image;
    EXPECT_EQ(image.size(), QSize(105, 105));
    EXPECT_FALSE(image.PictureShown().hasGraphic());
    EXPECT_FALSE(image.isOpaque());
    for (const char* name : TOrImage::EffectPropertyNames) {
        const QVariant value = image.property(name);
        ASSERT_TRUE(value.isValid()) << name;
        EXPECT_TRUE(value.toInt() == 0) << name;
    }
}

TEST(OrImageWidget, EffectPropertiesByNameGoThroughTheSetters) {
    TOrImage image;
    image.setPictureOriginal(flat(4, 3, {10, 20, 30}));
    EXPECT_TRUE(image.setProperty("PicBrightness", 300));
    EXPECT_EQ(image.PicBrightness(), 255);
    EXPECT_TRUE(image.setProperty("PicGrayScale", true));
    EXPECT_TRUE(image.PicGrayScale());
    image.setProperty("PicPosterize", 8);
    image.setProperty("PicSolorize", 100);
    EXPECT_EQ(image.property("PicPosterize").toInt(), 0);
    EXPECT_EQ(image.shownImage().pixel(0, 0), qRgb(255, 255, 255));
}

TEST(OrImageWidget, EveryEffectOfTheTableIsARealPropertyWrittenThroughItsSetter) {
    const QMetaObject* meta = &TOrImage::staticMetaObject;
    for (const pixmora::EffectDescription& effect : pixmora::Effects) {
        SCOPED_TRACE(effect.property);
        const QMetaProperty property = meta->property(meta->indexOfProperty(effect.property));
        ASSERT_TRUE(property.isValid());
        EXPECT_TRUE(property.isWritable());
        EXPECT_EQ(property.metaType(),
                  effect.isSwitch ? QMetaType::fromType<bool>() : QMetaType::fromType<int>());
        TOrImage image;
        image.setProperty(effect.property, effect.isSwitch ? QVariant(true) : QVariant(INT_MAX));
        EXPECT_EQ(effect.get(image), effect.highest) << "the setter's clamp";
        EXPECT_EQ(image.property(effect.property).toInt(), effect.highest);
    }
}

TEST(OrImageWidget, TargetRectFollowsStretchAndCenter) {
    TOrImage image;
    image.resize(60, 60);
    image.setPictureOriginal(Bitmap(100, 50));
    EXPECT_EQ(image.TargetRect(), QRect(0, 0, 100, 50));
    image.setCenter(true);
    EXPECT_EQ(image.TargetRect(), QRect(QPoint(-20, 5), QPoint(79, 54)));
    image.setStretch(true);
    EXPECT_EQ(image.TargetRect(), QRect(0, 0, 60, 60));
    // Truncation toward zero: -5 div 2 is -2.
    image.setStretch(false);
    image.resize(95, 60);
    EXPECT_EQ(image.TargetRect().left(), -2);
}

TEST(OrImageWidget, LayoutSwitchesActOnlyOnChange) {
    WatchedImage image;
    image.resize(60, 60);
    image.setPictureOriginal(Bitmap(30, 30));
    EXPECT_FALSE(image.isOpaque()); // smaller than the control
    const int changes = image.shownChanges;
    image.setStretch(false);
    EXPECT_EQ(image.shownChanges, changes);
    image.setStretch(true);
    EXPECT_EQ(image.shownChanges, changes + 1);
    EXPECT_TRUE(image.isOpaque());
    image.setTransparent(true);
    EXPECT_FALSE(image.isOpaque());
    image.setTransparent(true);
    image.setCenter(false);
    EXPECT_EQ(image.shownChanges, changes + 2);
}

TEST(OrImageWidget, AutoSizeTakesThePictureSize) {
    TOrImage image;
    image.move(7, 9);
    image.setAutoSize(true);
    image.setPictureOriginal(Bitmap(640, 480));
    EXPECT_EQ(image.geometry(), QRect(7, 9, 640, 480));
    image.setAutoSize(false);
    image.resize(785, 440);
    image.setPictureOriginal(Bitmap(20, 10));
    EXPECT_EQ(image.size(), QSize(785, 440));
    image.setAutoSize(true); // switching it on takes the size at once
    EXPECT_EQ(image.size(), QSize(20, 10));
    image.setAlign(TOrImage::alTop);
    EXPECT_EQ(image.CanAutoSize(QSize(300, 300)), QSize(300, 10));
    image.setAlign(TOrImage::alLeft);
    EXPECT_EQ(image.CanAutoSize(QSize(300, 300)), QSize(20, 300));
}

TEST(OrImageWidget, PaintsTheShownPictureWithoutRendering) {
    TOrImage image;
    image.resize(8, 6);
    Bitmap picture = noise(5, 4, 3);
    image.setPictureOriginal(picture);
    image.setPicInvert(true);
    const int renders = image.renderCount();
    const QImage painted = image.grab().toImage();
    EXPECT_EQ(image.renderCount(), renders);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) {
            const Rgb c = at(picture, x, y);
            ASSERT_EQ(painted.pixel(x, y), qRgb(255 - c.r, 255 - c.g, 255 - c.b)) << x << "," << y;
        }
}

TEST(OrImageWidget, TheBusyCursorShowsOnlyForWritesExpectedToOutlastABlink) {
    struct CursorWatch : TOrImage {
        std::vector<bool> busyAtRender;
        void repaintNow() override {
            const QCursor* cursor = QGuiApplication::overrideCursor();
            busyAtRender.push_back(cursor && cursor->shape() == Qt::WaitCursor);
            TOrImage::repaintNow();
        }
    };
    CursorWatch image;
    image.setPictureOriginal(Bitmap(2048, 2048)); // large enough for the engine to call its work long
    image.busyAtRender.clear();
    // A tone step is fast even on a large picture: no cursor flickers at every step of a bar.
    image.writeEffect(*pixmora::effectByProperty("PicBrightness"), 10);
    EXPECT_EQ(image.busyAtRender, std::vector<bool>{false});
    // A neighbourhood effect, before anything is known of its speed, is taken to be slow.
    image.writeEffect(*pixmora::effectByProperty("PicMosaic"), 2);
    EXPECT_EQ(image.busyAtRender, (std::vector<bool>{false, true}));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(OrImageWidget, StretchedPicturesKeepTheirColoursWhereTheyStand) {
    TOrImage image;
    image.setStretch(true);
    image.resize(10, 10);
    // Shrunk to a quarter: left half red, right half blue, with no blend between.
    Bitmap halves = flat(40, 30, {255, 0, 0});
    for (int y = 0; y < 30; ++y)
        for (int x = 20; x < 40; ++x)
            set(halves, x, y, {0, 0, 255});
    image.setPictureOriginal(halves);
    QImage painted = image.grab().toImage();
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(painted.pixel(x, y), x < 5 ? qRgb(255, 0, 0) : qRgb(0, 0, 255)) << x << "," << y;
    // Grown from 2 x 1: the ends keep the pixels' colours, between them the colours blend.
    image.resize(4, 3);
    image.setPictureOriginal(row({{255, 0, 0}, {0, 0, 255}}));
    painted = image.grab().toImage();
    EXPECT_EQ(painted.pixel(0, 1), qRgb(255, 0, 0));
    EXPECT_EQ(painted.pixel(3, 1), qRgb(0, 0, 255));
    const QColor between = painted.pixelColor(1, 1);
    EXPECT_TRUE(between.red() > between.blue() && between.blue() > 0) << between.name().toStdString();
    // A render reaches the painted picture.
    image.setPicInvert(true);
    EXPECT_EQ(image.grab().toImage().pixel(0, 0), qRgb(0, 255, 255));
}

namespace {

// The plain box average: every source pixel weighed by the area of it that a target pixel covers, found
// by intersecting the two pixels' extents on a grid fine enough for both, and rounded to nearest. With a
// key colour, pixels of that colour count as transparent: the result is premultiplied ARGB.
QRgb boxAverage(const Bitmap& source, QSize size, int tx, int ty, const std::uint8_t* key = nullptr) {
    const long long sw = source.width(), sh = source.height(), w = size.width(), h = size.height();
    // On the grid, target pixel tx spans [tx * sw, (tx + 1) * sw) and source pixel sx [sx * w, (sx + 1) * w).
    const auto overlap = [](long long a0, long long a1, long long b0, long long b1) {
        return std::max(0LL, std::min(a1, b1) - std::max(a0, b0));
    };
    long long sums[4] = {};
    // Only the source pixels near the target pixel can overlap it; a few more are looked at for safety.
    for (long long sy = std::max(0LL, ty * sh / h - 1); sy < std::min(sh, (ty + 1) * sh / h + 2); ++sy)
        for (long long sx = std::max(0LL, tx * sw / w - 1); sx < std::min(sw, (tx + 1) * sw / w + 2); ++sx) {
            const long long area = overlap(tx * sw, (tx + 1) * sw, sx * w, (sx + 1) * w) *
                                   overlap(ty * sh, (ty + 1) * sh, sy * h, (sy + 1) * h);
            const std::uint8_t* p = source.pixel(static_cast<int>(sx), static_cast<int>(sy));
            if (key && p[0] == key[0] && p[1] == key[1] && p[2] == key[2])
                continue;
            for (int c = 0; c < 3; ++c)
                sums[c] += area * p[c];
            sums[3] += area * 255;
        }
    const long long whole = sw * sh;
    const auto mean = [&](long long sum) { return static_cast<int>((sum + whole / 2) / whole); };
    return qRgba(mean(sums[2]), mean(sums[1]), mean(sums[0]), key ? mean(sums[3]) : 255);
}

std::string firstDifference(const QImage& got, const Bitmap& source, const std::uint8_t* key = nullptr) {
    for (int y = 0; y < got.height(); ++y)
        for (int x = 0; x < got.width(); ++x) {
            const QRgb expected = boxAverage(source, got.size(), x, y, key);
            if (got.pixel(x, y) != expected)
                return QStringLiteral("%1,%2: %3 instead of %4")
                    .arg(x)
                    .arg(y)
                    .arg(got.pixel(x, y), 8, 16)
                    .arg(expected, 8, 16)
                    .toStdString();
        }
    return {};
}

} // namespace

class ScaledPicture : public AtEveryKernelLevel {};
INSTANTIATE_AT_EVERY_KERNEL_LEVEL(ScaledPicture);

TEST_P(ScaledPicture, ShrunkIsTheAreaAverageOfItsPixels) {
    const std::pair<QSize, QSize> cases[] = {
        {{8, 6}, {4, 3}}, {{7, 5}, {3, 2}},  {{13, 11}, {5, 4}}, {{100, 37}, {33, 10}}, {{31, 19}, {31, 7}},
        {{9, 9}, {1, 1}}, {{1, 40}, {1, 3}}, {{333, 2}, {7, 1}}, {{6, 6}, {6, 6}},      {{257, 3}, {128, 2}},
    };
    for (const auto& [from, to] : cases) {
        SCOPED_TRACE(QStringLiteral("%1x%2 to %3x%4")
                         .arg(from.width())
                         .arg(from.height())
                         .arg(to.width())
                         .arg(to.height())
                         .toStdString());
        const Bitmap source = noise(from.width(), from.height(), 7);
        const QImage scaled = scaledPicture(source, to);
        ASSERT_EQ(scaled.size(), to);
        EXPECT_EQ(scaled.format(), QImage::Format_RGB32);
        EXPECT_EQ(firstDifference(scaled, source), "");
    }
}

TEST(OrImageWidget, StripesShrunkByHalfBecomeTheirAverageGrey) {
    // Stripes one pixel wide, halved: every pixel the grey between them, where a pick of one pixel in two
    // gives all black or all white.
    Bitmap stripes = flat(64, 8, {0, 0, 0});
    for (int y = 0; y < 8; ++y)
        for (int x = 1; x < 64; x += 2)
            set(stripes, x, y, {255, 255, 255});
    const QImage grey = scaledPicture(stripes, {32, 4});
    for (int x = 0; x < 32; ++x)
        ASSERT_EQ(grey.pixel(x, 2), qRgb(128, 128, 128)) << x;
}

TEST(OrImageWidget, ShrinkingFarDownOrToManyRowsKeepsTheAverageExact) {
    // Thousands of source rows under one target row, and target rows too many for the fast weights.
    const Bitmap tall = noise(2, 40000, 3);
    for (const QSize to : {QSize(1, 1), QSize(2, 3), QSize(1, 33000)}) {
        const QImage scaled = scaledPicture(tall, to);
        EXPECT_EQ(firstDifference(scaled, tall), "") << to.height();
    }
    // The largest sums: white everywhere stays white.
    const QImage white = scaledPicture(flat(3000, 2000, {255, 255, 255}), {7, 3});
    EXPECT_EQ(white.pixel(6, 2), qRgb(255, 255, 255));
}

TEST(OrImageWidget, AnyScalingKeepsAFlatColour) {
    // Growing and shrinking, each side on its own: the weights of every target pixel add up to a whole.
    const Bitmap source = flat(5, 7, {17, 130, 251});
    for (const QSize to : {QSize(2, 3), QSize(11, 3), QSize(2, 20), QSize(12, 29), QSize(1, 1)}) {
        const QImage scaled = scaledPicture(source, to);
        for (int y = 0; y < to.height(); ++y)
            for (int x = 0; x < to.width(); ++x)
                ASSERT_EQ(scaled.pixel(x, y), qRgb(17, 130, 251)) << to.width() << "x" << to.height();
    }
}

TEST(OrImageWidget, AShrunkKeyedPictureAveragesOnlyWhatIsKept) {
    Bitmap source = noise(23, 17, 11);
    const std::uint8_t key[3] = {5, 6, 7};
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 23; ++x)
            if ((x * 7 + y * 3) % 5 < 2 || (x < 8 && y < 6))
                set(source, x, y, {7, 6, 5});
    for (const QSize to : {QSize(4, 3), QSize(10, 9), QSize(23, 17), QSize(1, 1)}) {
        const QImage scaled = scaledPicture(source, to, key);
        EXPECT_EQ(scaled.format(), QImage::Format_ARGB32_Premultiplied);
        EXPECT_EQ(firstDifference(scaled, source, key), "") << to.width() << "x" << to.height();
    }
    // A block wholly of the key colour is wholly transparent.
    EXPECT_EQ(scaledPicture(source, {4, 3}, key).pixel(0, 0), 0u);
}

TEST(OrImageWidget, TransparentLeavesOutTheBottomLeftColour) {
    QWidget parent;
    parent.resize(4, 2);
    parent.setAutoFillBackground(true);
    QPalette pal = parent.palette();
    pal.setColor(QPalette::Window, QColor(0, 0, 255));
    parent.setPalette(pal);
    TOrImage image(&parent);
    image.resize(4, 2);
    Bitmap picture = flat(4, 2, {200, 0, 0});
    set(picture, 1, 0, {0, 200, 0});
    image.setPictureOriginal(picture);
    image.setTransparent(true);
    const QImage painted = parent.grab().toImage();
    EXPECT_EQ(painted.pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(painted.pixel(1, 0), qRgb(0, 200, 0));
}

TEST(OrImageWidget, MouseNotifications) {
    TOrImage image;
    QSignalSpy entered(&image, &TOrImage::OnMouseEnter);
    QSignalSpy left(&image, &TOrImage::OnMouseExit);
    QSignalSpy moved(&image, &TOrImage::OnMouseMove);
    QEnterEvent enter(QPointF(3, 3), QPointF(3, 3), QPointF(3, 3));
    QApplication::sendEvent(&image, &enter);
    EXPECT_TRUE(image.MouseInside());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&image, &leave);
    EXPECT_FALSE(image.MouseInside());
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 6), QPointF(5, 6), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&image, &move);
    EXPECT_TRUE(image.MouseInside());
    EXPECT_EQ(entered.count(), 1);
    EXPECT_EQ(left.count(), 1);
    ASSERT_EQ(moved.count(), 1);
    EXPECT_EQ(moved.at(0).at(2).toInt(), 5);
    EXPECT_EQ(entered.at(0).at(0).value<QObject*>(), &image);
}

TEST(OrImageWidget, ImagesOfAnyFormatBecomeWorkingBitmaps) {
    QImage argb(3, 2, QImage::Format_ARGB32);
    argb.fill(qRgba(10, 20, 30, 128));
    TOrImage image;
    image.setPictureOriginal(argb);
    ASSERT_TRUE(image.PictureOriginal().hasGraphic());
    EXPECT_EQ(at(image.PictureOriginal().bitmap(), 2, 1), (Rgb{10, 20, 30}));
    EXPECT_EQ(image.shownImage().format(), QImage::Format_BGR888);
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
