// Steps of the hand that come faster than the picture renders: queued steps coalesce, the last one is
// always rendered and shown, and Apply and Cancel right after a burst act on it.
#include "OpenPictureFixture.h"

#include "EffectTable.h"
#include "OrImage.h"
#include "Unit1.h"
#include "Unit11.h"
#include "Unit14.h"
#include "Unit2.h"
#include "Unit3.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>

using pixmora::Bitmap;

class HandStepsTest : public OpenPictureTest {
protected:
    // Key presses waiting in the queue, as a held key leaves them while a render runs.
    static void postKeys(QSlider* bar, Qt::Key key, int count) {
        for (int i = 0; i < count; ++i) {
            QCoreApplication::postEvent(bar, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
            QCoreApplication::postEvent(bar, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier));
        }
    }
    static void postClick(QPushButton* button) {
        const QPointF centre = QRectF(button->rect()).center();
        const QPointF global = button->mapToGlobal(centre);
        QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonPress, centre, global,
                                                            Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
        QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonRelease, centre, global,
                                                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    }
    // Handles what waits, and what that leaves waiting in turn.
    static void handleQueue() {
        for (int round = 0; round < 4; ++round)
            QCoreApplication::processEvents();
    }

    // The picture the component shows with only these values, rendered from scratch.
    Bitmap rendered(std::initializer_list<std::pair<const char*, int>> values) const {
        pixmora::OrImageEngine reference;
        for (const auto& [property, value] : values)
            pixmora::effectByProperty(property)->set(reference, value);
        reference.setPictureOriginal(image()->PictureOriginal().bitmap());
        return reference.PictureShown().bitmap();
    }
};

TEST_F(HandStepsTest, ABurstOfQueuedStepsEndsWithTheLastValueRenderedAndShownOnce) {
    Form1->ui.Color1->trigger();
    QSlider* brightness = Form2->ui.TrackBarBrightness;
    const int renders = image()->renderCount();
    postKeys(brightness, Qt::Key_Right, 50);
    handleQueue();
    EXPECT_EQ(brightness->value(), 50);
    EXPECT_EQ(image()->PicBrightness(), 50);
    EXPECT_EQ(image()->PictureShown().bitmap(), rendered({{"PicBrightness", 50}}));
    EXPECT_EQ(image()->renderCount(), renders + 1) << "the steps left behind are not rendered";

    // A neighbourhood effect, down again from its end.
    Form1->ui.GaussianBlur1->trigger();
    QSlider* blur = Form14->ui.TrackBarGaussianBlur;
    blur->setValue(50);
    postKeys(blur, Qt::Key_Left, 47);
    handleQueue();
    EXPECT_EQ(image()->PicGaussianBlur(), 3);
    EXPECT_EQ(image()->PictureShown().bitmap(), rendered({{"PicBrightness", 50}, {"PicGaussianBlur", 3}}));
}

TEST_F(HandStepsTest, ApplyRightAfterABurstKeepsTheLastValue) {
    Form1->ui.Color1->trigger();
    postKeys(Form2->ui.TrackBarBrightness, Qt::Key_Right, 30);
    postClick(Form2->ui.Button1);
    handleQueue();
    EXPECT_FALSE(Form2->isVisible());
    EXPECT_TRUE(Form3->isTopmost());
    EXPECT_EQ(image()->PicBrightness(), 30);
    EXPECT_EQ(image()->PictureShown().bitmap(), rendered({{"PicBrightness", 30}}));
}

TEST_F(HandStepsTest, CancelRightAfterABurstLeavesNoEffectBehind) {
    Form1->ui.Color1->trigger();
    postKeys(Form2->ui.TrackBarContrast, Qt::Key_PageUp, 20);
    postClick(Form2->ui.Button2);
    handleQueue();
    EXPECT_EQ(Form2->ui.TrackBarContrast->value(), 0);
    EXPECT_EQ(image()->PicContrast(), 0);
    EXPECT_EQ(image()->PictureShown().bitmap(), image()->PictureOriginal().bitmap());
}

TEST_F(HandStepsTest, StepsOfTwoBarsKeepTheirOrder) {
    // Posterize and solorize exclude each other: only the bar moved last may be in force.
    Form1->ui.PosterizeSolarize1->trigger();
    postKeys(Form11->ui.TrackBarPosterize, Qt::Key_Right, 5);
    postKeys(Form11->ui.TrackBarSolorize, Qt::Key_PageUp, 4);
    handleQueue();
    EXPECT_EQ(image()->PicPosterize(), 0);
    EXPECT_EQ(image()->PicSolorize(), 40);
    postKeys(Form11->ui.TrackBarPosterize, Qt::Key_Right, 1);
    handleQueue();
    EXPECT_EQ(image()->PicPosterize(), 6);
    EXPECT_EQ(image()->PicSolorize(), 0);
}
