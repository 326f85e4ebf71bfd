#include "Unit4.h"

#include "Handlers.h"
#include "OrImage.h"

TForm4::TForm4() {
    ui.setupUi(this);
    finishLayout();
    connect(ui.TrackBarSaturation, &QSlider::valueChanged, this,
            handler(this, &TForm4::TrackBarSaturationChange));
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm4::Button1Click));
    connect(ui.Button2, &QPushButton::clicked, this, handler(this, &TForm4::Button2Click));
}

void TForm4::TrackBarSaturationChange() {
    writeBar(ui.TrackBarSaturation, &TOrImage::setPicSaturation);
}

void TForm4::Button1Click() {
    apply();
}

void TForm4::Button2Click() {
    cancel({{ui.TrackBarSaturation, &TOrImage::PicSaturation}});
}
