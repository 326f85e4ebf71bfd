#include "Unit2.h"

#include "Handlers.h"
#include "OrImage.h"

TForm2::TForm2() {
    ui.setupUi(this);
    finishLayout();
    connect(ui.TrackBarBrightness, &QSlider::valueChanged, this,
            handler(this, &TForm2::TrackBarBrightnessChange));
    connect(ui.TrackBarContrast, &QSlider::valueChanged, this,
            handler(this, &TForm2::TrackBarContrastChange));
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm2::Button1Click));
    connect(ui.Button2, &QPushButton::clicked, this, handler(this, &TForm2::Button2Click));
}

void TForm2::TrackBarBrightnessChange() {
    writeBar(ui.TrackBarBrightness, &TOrImage::setPicBrightness);
}

void TForm2::TrackBarContrastChange() {
    writeBar(ui.TrackBarContrast, &TOrImage::setPicContrast);
}

void TForm2::Button1Click() {
    apply();
}

void TForm2::Button2Click() {
    cancel(
        {{ui.TrackBarBrightness, &TOrImage::PicBrightness}, {ui.TrackBarContrast, &TOrImage::PicContrast}});
}
