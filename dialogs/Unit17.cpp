#include "Unit17.h"

#include "Handlers.h"
#include "OrImage.h"

TForm17::TForm17() {
    ui.setupUi(this);
    finishLayout();
    connect(ui.TrackBarTile, &QSlider::valueChanged, this, handler(this, &TForm17::TrackBarTileChange));
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm17::Button1Click));
    connect(ui.Button2, &QPushButton::clicked, this, handler(this, &TForm17::Button2Click));
}

void TForm17::TrackBarTileChange() {
    writeBar(ui.TrackBarTile, &TOrImage::setPicTile);
}

void TForm17::Button1Click() {
    apply();
}

void TForm17::Button2Click() {
    cancel({{ui.TrackBarTile, &TOrImage::PicTile}});
}
