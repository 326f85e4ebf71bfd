#include "ProgramFixture.h"

#include "OrImage.h"
#include "Unit1.h"
#include "Unit3.h"
#include "Unit5.h"
#include "WindowGeometry.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>

#include <functional>

namespace {

const QString Widescreen = "Essa versao ainda nao suporta modos Widescreen";

TOrImage* host() {
    return Form3->ui.OrImage1;
}

TOrImage* view() {
    return Form5->ui.OrImage2;
}

void press(int key, const QString& text) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(Form5, &event);
}

void pressEsc() {
    press(Qt::Key_Escape, QString(QChar(27)));
}

} // namespace

class FullScreenTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        setScreenSizeForTesting(QSize(800, 600));
        startProgram("\r\ndesligado\r\n");
        picture = path("praia.png");
        ASSERT_TRUE(testImage(64, 48).save(picture));
        openPicture(picture);
        ASSERT_TRUE(Form1->ui.SpeedButton4->isEnabled());
        dialogs.shown.clear();
    }

    // "Tela Cheia" on a screen of this size, for a picture remembered at this size.
    void showView(QSize screen, QSize remembered) {
        setScreenSizeForTesting(screen);
        Form1->ImageWidth = remembered.width();
        Form1->ImageHeight = remembered.height();
        Form1->ui.SpeedButton4->click();
    }

    QString picture;
};

TEST_F(FullScreenTest, AnyOtherWidthIsRefusedAndTheHostStaysOnTop) {
    for (const QSize screen : {QSize(1280, 1024), QSize(1366, 768), QSize(1023, 768), QSize(1920, 1080)}) {
        SCOPED_TRACE(screen.width());
        dialogs.shown.clear();
        showView(screen, QSize(2000, 2000));
        EXPECT_EQ(dialogs.texts("message"), QStringList{Widescreen});
        EXPECT_FALSE(Form5->isVisible());
        EXPECT_TRUE(Form3->isTopmost());
    }
}

TEST_F(FullScreenTest, ThePictureFillsTheScreenOnlyWhenAtLeastAsLargeAsTheThresholdBothWays) {
    struct Case {
        QSize screen;
        QSize remembered;
        QSize shown;
    };
    const Case cases[] = {
        {{640, 480}, {640, 480}, {638, 478}},    {{640, 480}, {639, 480}, {639, 480}},
        {{800, 600}, {800, 600}, {798, 598}},    {{800, 600}, {800, 599}, {800, 599}},
        {{800, 600}, {799, 600}, {799, 600}},    {{800, 600}, {1600, 1200}, {798, 598}},
        {{800, 600}, {2000, 100}, {2000, 100}},  {{1024, 768}, {1024, 768}, {1022, 766}},
        {{1024, 600}, {1024, 700}, {1024, 700}}, {{1024, 600}, {1024, 768}, {1022, 598}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QStringLiteral("%1 wide, %2 x %3")
                         .arg(c.screen.width())
                         .arg(c.remembered.width())
                         .arg(c.remembered.height())
                         .toStdString());
        showView(c.screen, c.remembered);
        ASSERT_TRUE(Form5->isVisible());
        EXPECT_TRUE(Form5->isMaximized());
        EXPECT_EQ(view()->geometry(), QRect(QPoint(8, 8), c.shown));
        pressEsc();
    }
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(FullScreenTest, TheRememberedSizeDecidesNotThePictureFile) {
    const QString large = path("large.png");
    ASSERT_TRUE(testImage(800, 600).save(large));
    openPicture(large);
    ASSERT_EQ(QSize(Form1->ImageWidth, Form1->ImageHeight), QSize(800, 600));
    Form1->ui.SpeedButton4->click();
    EXPECT_EQ(view()->size(), QSize(798, 598));
    pressEsc();

    // With the fit mode off the picture was remembered at the fixed 785 x 440.
    Form1->ui.CheckBox1->setChecked(false);
    const QString larger = path("larger.png");
    ASSERT_TRUE(testImage(1000, 700).save(larger));
    openPicture(larger);
    ASSERT_EQ(QSize(Form1->ImageWidth, Form1->ImageHeight), QSize(785, 440));
    Form1->ui.SpeedButton4->click();
    EXPECT_EQ(view()->geometry(), QRect(8, 8, 785, 440));
    EXPECT_EQ(view()->PictureOriginal().width(), 1000);
}

TEST_F(FullScreenTest, NoresizedNeverStretchesAndAnyOtherChoiceKeepsTheRule) {
    const std::pair<QByteArray, QSize> choices[] = {{"noresized\r\n", {800, 600}},
                                                    {"resized\r\n", {798, 598}},
                                                    {"noresized \r\n", {798, 598}},
                                                    {"", {798, 598}}};
    for (const auto& [content, shown] : choices) {
        SCOPED_TRACE(content.toStdString());
        writeFile("options.txt", content);
        showView(QSize(800, 600), QSize(800, 600));
        EXPECT_EQ(view()->geometry(), QRect(QPoint(8, 8), shown));
        pressEsc();
    }
    // No choice yet, or a file that cannot be read: the usual sizing, and nothing to report.
    QFile::remove(path("options.txt"));
    showView(QSize(800, 600), QSize(1000, 1000));
    EXPECT_EQ(view()->size(), QSize(798, 598));
    pressEsc();
    ASSERT_TRUE(QDir(folder.path()).mkdir("options.txt"));
    showView(QSize(800, 600), QSize(1000, 1000));
    EXPECT_EQ(view()->size(), QSize(798, 598));
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(FullScreenTest, ABlackBorderlessViewOfTheDocumentEvenWhenItsFileIsGone) {
    ASSERT_TRUE(QFile::remove(picture));
    Form1->ui.SpeedButton4->click();
    EXPECT_TRUE(dialogs.shown.empty());
    ASSERT_TRUE(Form5->isVisible());
    EXPECT_TRUE(Form5->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(!view()->AutoSize() && view()->Center() && view()->Stretch());
    EXPECT_FALSE(Form5->ui.Edit2->isVisible());
    EXPECT_EQ(Form5->ui.Edit2->text(), picture);

    const QImage screen = Form5->grab().toImage();
    EXPECT_EQ(screen.pixelColor(3, 3), QColor(Qt::black));
    EXPECT_EQ(screen.pixelColor(8 + 64 + 10, 20), QColor(Qt::black));
    EXPECT_EQ(screen.pixelColor(8 + 5, 8 + 7), testImage(64, 48).pixelColor(5, 7));
}

TEST_F(FullScreenTest, AllNineteenValuesAreTakenOverInEveryExclusionCase) {
    struct Case {
        const char* name;
        std::function<void(TOrImage*)> effects;
        bool noise;
    };
    const Case cases[] = {
        {"tone",
         [](TOrImage* image) {
             image->setPicBrightness(40);
             image->setPicContrast(-30);
             image->setPicSaturation(50);
             image->setPicDarkness(10);
             image->setPicLightness(20);
             image->setPicSplitlight(3);
             image->setPicGrayScale(true);
             image->setPicInvert(true);
         },
         false},
        {"solorize", [](TOrImage* image) { image->setPicSolorize(100); }, false},
        {"posterize", [](TOrImage* image) { image->setPicPosterize(4); }, false},
        {"mono noise", [](TOrImage* image) { image->setPicMonoNoise(50); }, true},
        {"colour noise", [](TOrImage* image) { image->setPicColorNoise(70); }, true},
        {"tile", [](TOrImage* image) { image->setPicTile(3); }, false},
        {"trace", [](TOrImage* image) { image->setPicTrace(2); }, false},
        {"antialias", [](TOrImage* image) { image->setPicAntiAlias(2); }, false},
        {"gaussian blur", [](TOrImage* image) { image->setPicGaussianBlur(2); }, false},
        {"split blur", [](TOrImage* image) { image->setPicSplitBlur(3); }, false},
        {"mosaic", [](TOrImage* image) { image->setPicMosaic(10); }, false},
        {"emboss", [](TOrImage* image) { image->setPicEmboss(true); }, false},
        {"mosaic, colour noise, posterize",
         [](TOrImage* image) {
             image->setPicMosaic(10);
             image->setPicColorNoise(100);
             image->setPicPosterize(4);
         },
         true},
        {"all off", [](TOrImage*) {}, false},
    };
    // One after another, so that the view still holds the previous case's values.
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host()->ResetEffects();
        c.effects(host());
        Form1->ui.SpeedButton4->click();
        ASSERT_TRUE(Form5->isVisible());
        for (const char* name : TOrImage::EffectPropertyNames)
            EXPECT_EQ(view()->property(name), host()->property(name)) << name;
        // Noise draws a new pattern for the view.
        if (!c.noise) {
            EXPECT_EQ(difference(view()->PictureShown().bitmap(), host()->PictureShown().bitmap()), 0.0);
        }
        pressEsc();
    }
}

TEST_F(FullScreenTest, TheValuesAreTakenOverWithOneRender) {
    host()->setPicBrightness(40);
    host()->setPicGrayScale(true);
    host()->setPicSolorize(90);
    const int before = view()->renderCount();
    Form1->ui.SpeedButton4->click();
    EXPECT_EQ(view()->renderCount(), before + 1);
}

TEST_F(FullScreenTest, OnlyEscLeavesAndPutsTheHostBackOnTop) {
    ASSERT_TRUE(Form3->isTopmost());
    Form1->ui.SpeedButton4->click();
    ASSERT_TRUE(Form5->isVisible());
    EXPECT_FALSE(Form3->isTopmost());

    press(Qt::Key_A, "a");
    press(Qt::Key_Return, "\r");
    press(Qt::Key_Space, " ");
    press(Qt::Key_F1, QString());
    EXPECT_TRUE(Form5->isVisible());
    EXPECT_TRUE(Form5->isMaximized());
    EXPECT_FALSE(Form3->isTopmost());

    pressEsc();
    EXPECT_FALSE(Form5->isVisible());
    EXPECT_EQ(Form5->windowState(), Qt::WindowNoState);
    EXPECT_TRUE(Form3->isTopmost());
    EXPECT_TRUE(dialogs.shown.empty());

    // The window stays created and keeps its picture; the next view works as the first.
    EXPECT_TRUE(view()->PictureOriginal().hasGraphic());
    Form1->ui.SpeedButton4->click();
    EXPECT_TRUE(Form5->isVisible());
    EXPECT_TRUE(Form5->isMaximized());
    // A platform that sends Esc without its character.
    press(Qt::Key_Escape, QString());
    EXPECT_FALSE(Form5->isVisible());
}

TEST_F(FullScreenTest, AMissingRunStateFileIsReportedAndNoViewOpens) {
    ASSERT_TRUE(QFile::remove(path("config.txt")));
    Form1->ui.SpeedButton4->click();
    EXPECT_EQ(dialogs.texts("error"), QStringList{"File not found: \"" + path("config.txt") + "\""});
    EXPECT_FALSE(Form5->isVisible());
    EXPECT_TRUE(Form3->isTopmost());
}
