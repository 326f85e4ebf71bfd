#include "Unit8.h"

#include "Handlers.h"
#include "OrImage.h"

TForm8::TForm8() {
    ui.setupUi(this);
    finishLayout();
    connect(ui.TrackBarDarkness, &QSlider::valueChanged, this,
            handler(this, &TForm8::TrackBarDarknessChange));
    connect(ui.TrackBarLightness, &QSlider::valueChanged, this,
            handler(this, &TForm8::TrackBarLightnessChange));
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm8::Button1Click));
    connect(ui.Button2, &QPushButton::clicked, this, handler(this, &TForm8::Button2Click));
}

void TForm8::TrackBarDarknessChange() {
    writeBar(ui.TrackBarDarkness, &TOrImage::setPicDarkness);
}

void TForm8::TrackBarLightnessChange() {
    writeBar(ui.TrackBarLightness, &TOrImage::setPicLightness);
}

void TForm8::Button1Click() {
    apply();
}

void TForm8::Button2Click() {
    cancel({{ui.TrackBarDarkness, &TOrImage::PicDarkness}, {ui.TrackBarLightness, &TOrImage::PicLightness}});
}
