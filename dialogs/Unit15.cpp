#include "Unit15.h"

#include "Handlers.h"
#include "OrImage.h"

TForm15::TForm15() {
    ui.setupUi(this);
    finishLayout();
    connect(ui.TrackBarAntiAlias, &QSlider::valueChanged, this,
            handler(this, &TForm15::TrackBarAntiAliasChange));
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm15::Button1Click));
    connect(ui.Button2, &QPushButton::clicked, this, handler(this, &TForm15::Button2Click));
}

void TForm15::TrackBarAntiAliasChange() {
    writeBar(ui.TrackBarAntiAlias, &TOrImage::setPicAntiAlias);
}

void TForm15::Button1Click() {
    apply();
}

void TForm15::Button2Click() {
    cancel({{ui.TrackBarAntiAlias, &TOrImage::PicAntiAlias}});
}
