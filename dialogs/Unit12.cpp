#include "Unit12.h"

#include "Handlers.h"
#include "OrImage.h"

TForm12::TForm12() {
    ui.setupUi(this);
    finishLayout();
    connect(ui.TrackBarMosaic, &QSlider::valueChanged, this, handler(this, &TForm12::TrackBarMosaicChange));
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm12::Button1Click));
    connect(ui.Button2, &QPushButton::clicked, this, handler(this, &TForm12::Button2Click));
}

void TForm12::TrackBarMosaicChange() {
    writeBar(ui.TrackBarMosaic, &TOrImage::setPicMosaic);
}

void TForm12::Button1Click() {
    apply();
}

void TForm12::Button2Click() {
    cancel({{ui.TrackBarMosaic, &TOrImage::PicMosaic}});
}
