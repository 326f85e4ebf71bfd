#include "OrImage.h"
#include "TestPictures.h"

#include <QApplication>
#include <QEnterEvent>
#include <QMetaProperty>
#include <QMouseEvent>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <vector>

#include <climits>

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
