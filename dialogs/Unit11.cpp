#include "Unit11.h"

#include "Handlers.h"
#include "OrImage.h"

TForm11::TForm11() {
    ui.setupUi(this);
    finishLayout();
    connect(ui.TrackBarPosterize, &QSlider::valueChanged, this,
            handler(this, &TForm11::TrackBarPosterizeChange));
    connect(ui.TrackBarSolorize, &QSlider::valueChanged, this,
            handler(this, &TForm11::TrackBarSolorizeChange));
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm11::Button1Click));
    connect(ui.Button2, &QPushButton::clicked, this, handler(this, &TForm11::Button2Click));
}

void TForm11::TrackBarPosterizeChange() {
    writeBar(ui.TrackBarPosterize, &TOrImage::setPicPosterize);
}

void TForm11::TrackBarSolorizeChange() {
    writeBar(ui.TrackBarSolorize, &TOrImage::setPicSolorize);
}

void TForm11::Button1Click() {
    apply();
}

void TForm11::Button2Click() {
    cancel({{ui.TrackBarSolorize, &TOrImage::PicSolorize}, {ui.TrackBarPosterize, &TOrImage::PicPosterize}});
}
