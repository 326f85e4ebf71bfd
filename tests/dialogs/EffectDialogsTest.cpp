#include "OpenPictureFixture.h"

#include "OrImage.h"
#include "Unit1.h"
#include "Unit10.h"
#include "Unit11.h"
#include "Unit12.h"
#include "Unit13.h"
#include "Unit14.h"
#include "Unit15.h"
#include "Unit16.h"
#include "Unit17.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "Unit8.h"
#include "Unit9.h"
#include "WindowGeometry.h"

#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>

namespace {

struct Bar {
    QSlider* slider;
    const char* property;
    int min, max, frequency;
};

struct Dialog {
    QWidget* window;
    QString caption;
    QSize size; // the client size of a fixed dialog, the outer size of a resizable one
    bool fixed;
    QPushButton* apply;
    QPushButton* cancel;
    QString applyText, cancelText;
    std::vector<Bar> bars; // in the order Cancel sets them
    QStringList labels;
};

std::vector<Dialog> allDialogs() {
    return {
        {Form2,
         "Brilho e Contraste",
         {556, 238},
         false,
         Form2->ui.Button1,
         Form2->ui.Button2,
         "Aplicar",
         "Cancelar",
         {{Form2->ui.TrackBarBrightness, "PicBrightness", -255, 255, 5},
          {Form2->ui.TrackBarContrast, "PicContrast", -255, 2550, 10}},
         {"Brilho:", "0", "Contraste:", "Baixo", "Normal", "Alto", "Altissimo"}},
        {Form4,
         "Saturação",
         {531, 157},
         false,
         Form4->ui.Button1,
         Form4->ui.Button2,
         "Aplicar",
         "Cancelar",
         {{Form4->ui.TrackBarSaturation, "PicSaturation", -255, 2550, 10}},
         {"Baixo", "Normal", "Alto", "Altissimo"}},
        {Form8,
         "Lightness / Darkness",
         {554, 211},
         true,
         Form8->ui.Button1,
         Form8->ui.Button2,
         "Aplicar",
         "Cancelar",
         {{Form8->ui.TrackBarDarkness, "PicDarkness", -2550, 255, 10},
          {Form8->ui.TrackBarLightness, "PicLightness", -2550, 255, 10}},
         {"Darkness:", "Altissimo", "Normal", "Baixo", "Lightness:", "Altissimo", "Normal", "Baixo"}},
        {Form9,
         "Splitlight",
         {447, 122},
         false,
         Form9->ui.Button3,
         Form9->ui.Button1,
         "Aplicar",
         "Cancelar",
         {{Form9->ui.TrackBarSplitlight, "PicSplitlight", 0, 10, 1}},
         {"0", "10"}},
        {Form10,
         "Color Mono Noise",
         {575, 190},
         true,
         Form10->ui.Button1,
         Form10->ui.Button2,
         "&Aplicar",
         "&Cancelar",
         {{Form10->ui.TrackBarMonoNoise, "PicMonoNoise", 0, 5000, 25},
          {Form10->ui.TrackBarColorNoise, "PicColorNoise", 0, 5000, 25}},
         {"Color", "Mono"}},
        {Form11,
         "Posterize / Solorize",
         {564, 170},
         true,
         Form11->ui.Button1,
         Form11->ui.Button2,
         "&Aplicar",
         "&Cancelar",
         {{Form11->ui.TrackBarSolorize, "PicSolorize", 0, 255, 2},
          {Form11->ui.TrackBarPosterize, "PicPosterize", 0, 500, 2}},
         {"0", "500", "0", "500"}},
        {Form12,
         "Mosaico",
         {388, 149},
         true,
         Form12->ui.Button1,
         Form12->ui.Button2,
         "&Aplicar",
         "&Cancelar",
         {{Form12->ui.TrackBarMosaic, "PicMosaic", 0, 100, 1}},
         {"0", "100"}},
        {Form13,
         "SplitBlur",
         {419, 145},
         true,
         Form13->ui.Button1,
         Form13->ui.Button2,
         "&Aplicar",
         "&Cancelar",
         {{Form13->ui.TrackBarSplitBlur, "PicSplitBlur", 0, 255, 5}},
         {"0", "255"}},
        {Form14,
         "GaussianBlur",
         {420, 135},
         true,
         Form14->ui.Button1,
         Form14->ui.Button2,
         "&Aplicar",
         "&Cancelar",
         {{Form14->ui.TrackBarGaussianBlur, "PicGaussianBlur", 0, 50, 1}},
         {"0", "50"}},
        {Form15,
         "AntiAlias",
         {414, 135},
         true,
         Form15->ui.Button1,
         Form15->ui.Button2,
         "&Aplicar",
         "&Cancelar",
         {{Form15->ui.TrackBarAntiAlias, "PicAntiAlias", 0, 50, 1}},
         {"0", "50"}},
        {Form16,
         "Trace",
         {412, 143},
         true,
         Form16->ui.Button1,
         Form16->ui.Button2,
         "&Aplicar",
         "&Cancelar",
         {{Form16->ui.TrackBarTrace, "PicTrace", 0, 10, 1}},
         {"0", "10"}},
        {Form17,
         "Tile",
         {400, 142},
         true,
         Form17->ui.Button1,
         Form17->ui.Button2,
         "&Aplicar",
         "&Cancelar",
         {{Form17->ui.TrackBarTile, "PicTile", 0, 100, 1}},
         {"0", "100"}},
    };
}

QStringList labelTexts(QWidget* window) {
    QStringList texts;
    for (const QLabel* label : window->findChildren<QLabel*>())
        texts.append(label->text());
    return texts;
}

int value(const char* property) {
    return Form3->ui.OrImage1->property(property).toInt();
}

} // namespace

using EffectDialogsTest = OpenPictureTest;

TEST_F(EffectDialogsTest, LayoutsMatchTheTables) {
    for (const Dialog& d : allDialogs()) {
        SCOPED_TRACE(d.caption.toStdString());
        d.window->show();
        EXPECT_EQ(d.window->windowTitle(), d.caption);
        if (d.fixed) {
            EXPECT_EQ(d.window->size(), d.size);
            EXPECT_EQ(d.window->minimumSize(), d.window->maximumSize());
        } else {
            EXPECT_EQ(outerSize(d.window), d.size);
            EXPECT_NE(d.window->minimumSize(), d.window->maximumSize());
        }
        const Qt::WindowFlags flags = d.window->windowFlags();
        EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint) &&
                    flags.testFlag(Qt::WindowCloseButtonHint) && flags.testFlag(Qt::WindowSystemMenuHint));
        EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
        EXPECT_FALSE(flags.testFlag(Qt::WindowStaysOnTopHint));
        EXPECT_EQ(d.apply->text(), d.applyText);
        EXPECT_EQ(d.cancel->text(), d.cancelText);
        for (const QPushButton* button : {d.apply, d.cancel})
            EXPECT_FALSE(button->isDefault() || button->autoDefault());
        for (const Bar& bar : d.bars) {
            SCOPED_TRACE(bar.property);
            EXPECT_EQ(bar.slider->orientation(), Qt::Horizontal);
            EXPECT_EQ(bar.slider->minimum(), bar.min);
            EXPECT_EQ(bar.slider->maximum(), bar.max);
            EXPECT_EQ(bar.slider->tickInterval(), bar.frequency);
            EXPECT_EQ(bar.slider->tickPosition(), QSlider::TicksAbove);
            EXPECT_EQ(bar.slider->pageStep(), 10);
            EXPECT_EQ(bar.slider->singleStep(), 1);
            EXPECT_EQ(bar.slider->value(), 0);
        }
        QStringList expected = d.labels, actual = labelTexts(d.window);
        expected.sort();
        actual.sort();
        EXPECT_EQ(actual, expected);
        d.window->close();
    }
}

TEST_F(EffectDialogsTest, EveryBarWritesItsPositionUnchangedOnEveryReport) {
    // What the component makes of a value written straight into it (its own clamps and exclusions).
    TOrImage reference;
    reference.setPictureOriginal(image()->PictureOriginal().bitmap());
    for (const Dialog& d : allDialogs()) {
        for (const Bar& bar : d.bars) {
            SCOPED_TRACE(bar.property);
            for (const int position : {bar.max, bar.min, (bar.min + bar.max) / 3}) {
                const int renders = image()->renderCount();
                bar.slider->setValue(position);
                reference.setProperty(bar.property, position);
                EXPECT_EQ(value(bar.property), reference.property(bar.property).toInt()) << position;
                EXPECT_EQ(image()->renderCount(), renders + 1) << position;
            }
        }
    }
    // Keys move the bar by its line and page sizes, and each move reaches the picture once the steps
    // waiting behind it are handled.
    QSlider* brightness = Form2->ui.TrackBarBrightness;
    brightness->setValue(0);
    QTest::keyClick(brightness, Qt::Key_Right);
    QCoreApplication::processEvents();
    EXPECT_EQ(image()->PicBrightness(), 1);
    QTest::keyClick(brightness, Qt::Key_PageUp);
    QCoreApplication::processEvents();
    EXPECT_EQ(image()->PicBrightness(), 11);
    brightness->setValue(300);
    EXPECT_EQ(brightness->value(), 255);
    EXPECT_EQ(image()->PicBrightness(), 255);
}

TEST_F(EffectDialogsTest, ApplyKeepsTheEffectAndPutsThePictureWindowBackOnTop) {
    for (const Dialog& d : allDialogs()) {
        SCOPED_TRACE(d.caption.toStdString());
        image()->ResetEffects();
        Form3->foradotopo();
        d.window->show();
        const Bar& bar = d.bars.back();
        bar.slider->setValue(bar.max / 2 + 1);
        const int kept = value(bar.property);
        d.apply->click();
        EXPECT_FALSE(d.window->isVisible());
        EXPECT_TRUE(Form3->isTopmost());
        EXPECT_EQ(value(bar.property), kept);
        d.window->show();
        EXPECT_EQ(bar.slider->value(), bar.max / 2 + 1) << "the bar stays where it was left";
        d.window->close();
    }
}

TEST_F(EffectDialogsTest, CancelDropsEveryEffectAndResetsOnlyItsOwnBars) {
    const pixmora::Bitmap source = image()->PictureOriginal().bitmap();
    for (const Dialog& d : allDialogs()) {
        SCOPED_TRACE(d.caption.toStdString());
        Form4->ui.TrackBarSaturation->setValue(100);
        Form1->ui.EscaladeCinza1->trigger();
        Form1->ui.InverterCores1->trigger();
        for (const Bar& bar : d.bars)
            bar.slider->setValue(bar.max / 4 + 2);
        std::vector<QSlider*> order;
        std::vector<QMetaObject::Connection> spies;
        for (const Bar& bar : d.bars)
            spies.push_back(QObject::connect(bar.slider, &QSlider::valueChanged,
                                             [&order, slider = bar.slider] { order.push_back(slider); }));
        Form3->foradotopo();
        d.window->show();
        d.cancel->click();
        for (const auto& spy : spies)
            QObject::disconnect(spy);

        for (const char* name : TOrImage::EffectPropertyNames)
            EXPECT_EQ(image()->property(name).toInt(), 0) << name;
        EXPECT_EQ(image()->PictureShown().bitmap(), source);
        std::vector<QSlider*> expectedOrder;
        for (const Bar& bar : d.bars) {
            EXPECT_EQ(bar.slider->value(), 0);
            expectedOrder.push_back(bar.slider);
        }
        EXPECT_EQ(order, expectedOrder);
        if (d.window != Form4) {
            EXPECT_EQ(Form4->ui.TrackBarSaturation->value(), 100) << "other dialogs keep their bars";
        }
        EXPECT_FALSE(d.window->isVisible());
        EXPECT_TRUE(Form3->isTopmost());
    }
}

TEST_F(EffectDialogsTest, CloseBoxEnterAndEscOnlyHideOrDoNothing) {
    Form1->ui.Color1->trigger();
    Form2->ui.TrackBarBrightness->setValue(40);
    Form2->ui.Button1->setFocus();
    QTest::keyClick(Form2->ui.Button1, Qt::Key_Return);
    QTest::keyClick(Form2->ui.Button2, Qt::Key_Escape);
    QTest::keyClick(Form2, Qt::Key_Enter);
    EXPECT_TRUE(Form2->isVisible());
    EXPECT_FALSE(Form3->isTopmost());
    Form2->close();
    EXPECT_FALSE(Form2->isVisible());
    EXPECT_EQ(image()->PicBrightness(), 40);
    EXPECT_FALSE(Form3->isTopmost());
}

TEST_F(EffectDialogsTest, PartnersInTheComponentDropWhileTheirBarsStay) {
    Form11->ui.TrackBarSolorize->setValue(100);
    Form11->ui.TrackBarPosterize->setValue(8);
    EXPECT_EQ(image()->PicSolorize(), 0);
    EXPECT_EQ(Form11->ui.TrackBarSolorize->value(), 100);
    Form10->ui.TrackBarColorNoise->setValue(100);
    Form10->ui.TrackBarMonoNoise->setValue(50);
    EXPECT_EQ(image()->PicColorNoise(), 0);
    Form12->ui.TrackBarMosaic->setValue(5);
    Form14->ui.TrackBarGaussianBlur->setValue(3);
    EXPECT_EQ(image()->PicMosaic(), 0);
    EXPECT_EQ(Form12->ui.TrackBarMosaic->value(), 5);
}

TEST_F(EffectDialogsTest, UpdateAllEffectsControlsSetsEverySixteenBarsFromTheComponent) {
    std::vector<std::pair<QSlider*, const char*>> bars;
    for (const Dialog& d : allDialogs())
        for (const Bar& bar : d.bars)
            bars.emplace_back(bar.slider, bar.property);
    ASSERT_EQ(bars.size(), 16u);
    for (const auto& [slider, property] : bars) {
        image()->ResetEffects();
        Form3->UpdateAllEffectsControls();
        const int expected = 1; // a valid value of every effect, tile's on this small picture included
        image()->setProperty(property, expected);
        Form3->UpdateAllEffectsControls();
        EXPECT_EQ(value(property), expected) << property;
        for (const auto& [other, otherProperty] : bars)
            EXPECT_EQ(other->value(), other == slider ? expected : 0) << otherProperty;
    }
}

TEST_F(EffectDialogsTest, UpdateAllEffectsControlsReadsEachValueJustBeforeItsBar) {
    // A stale colour noise bar moves back to 0 first, which drops the mono noise of the component before
    // the mono bar reads it.
    Form10->ui.TrackBarColorNoise->setValue(100);
    Form10->ui.TrackBarMonoNoise->setValue(50);
    ASSERT_EQ(image()->PicColorNoise(), 0);
    ASSERT_EQ(image()->PicMonoNoise(), 50);
    Form3->UpdateAllEffectsControls();
    EXPECT_EQ(Form10->ui.TrackBarColorNoise->value(), 0);
    EXPECT_EQ(Form10->ui.TrackBarMonoNoise->value(), 0);
    EXPECT_EQ(image()->PicMonoNoise(), 0);
}
