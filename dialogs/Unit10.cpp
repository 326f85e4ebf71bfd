#include "Unit10.h"

#include "Handlers.h"
#include "OrImage.h"

TForm10::TForm10() {
    ui.setupUi(this);
    finishLayout();
    connect(ui.TrackBarColorNoise, &QSlider::valueChanged, this,
            handler(this, &TForm10::TrackBarColorNoiseChange));
    connect(ui.TrackBarMonoNoise, &QSlider::valueChanged, this,
            handler(this, &TForm10::TrackBarMonoNoiseChange));
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm10::Button1Click));
    connect(ui.Button2, &QPushButton::clicked, this, handler(this, &TForm10::Button2Click));
}

void TForm10::TrackBarColorNoiseChange() {
    writeBar(ui.TrackBarColorNoise, &TOrImage::setPicColorNoise);
}

void TForm10::TrackBarMonoNoiseChange() {
    writeBar(ui.TrackBarMonoNoise, &TOrImage::setPicMonoNoise);
}

void TForm10::Button1Click() {
    apply();
}

void TForm10::Button2Click() {
    cancel(
        {{ui.TrackBarMonoNoise, &TOrImage::PicMonoNoise}, {ui.TrackBarColorNoise, &TOrImage::PicColorNoise}});
}
