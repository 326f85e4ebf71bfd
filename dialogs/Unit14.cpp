#include "Unit14.h"

#include "Handlers.h"
#include "OrImage.h"

TForm14::TForm14() {
    ui.setupUi(this);
    finishLayout();
    connect(ui.TrackBarGaussianBlur, &QSlider::valueChanged, this,
            handler(this, &TForm14::TrackBarGaussianBlurChange));
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm14::Button1Click));
    connect(ui.Button2, &QPushButton::clicked, this, handler(this, &TForm14::Button2Click));
}

void TForm14::TrackBarGaussianBlurChange() {
    writeBar(ui.TrackBarGaussianBlur, &TOrImage::setPicGaussianBlur);
}

void TForm14::Button1Click() {
    apply();
}

void TForm14::Button2Click() {
    cancel({{ui.TrackBarGaussianBlur, &TOrImage::PicGaussianBlur}});
}
