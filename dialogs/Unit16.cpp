#include "Unit16.h"

#include "Handlers.h"
#include "OrImage.h"

TForm16::TForm16() {
    ui.setupUi(this);
    finishLayout();
    connect(ui.TrackBarTrace, &QSlider::valueChanged, this, handler(this, &TForm16::TrackBarTraceChange));
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm16::Button1Click));
    connect(ui.Button2, &QPushButton::clicked, this, handler(this, &TForm16::Button2Click));
}

void TForm16::TrackBarTraceChange() {
    writeBar(ui.TrackBarTrace, &TOrImage::setPicTrace);
}

void TForm16::Button1Click() {
    apply();
}

void TForm16::Button2Click() {
    cancel({{ui.TrackBarTrace, &TOrImage::PicTrace}});
}
