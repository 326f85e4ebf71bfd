#include "Unit9.h"

#include "Handlers.h"
#include "OrImage.h"

TForm9::TForm9() {
    ui.setupUi(this);
    finishLayout();
    connect(ui.TrackBarSplitlight, &QSlider::valueChanged, this,
            handler(this, &TForm9::TrackBarSplitlightChange));
    connect(ui.Button3, &QPushButton::clicked, this, handler(this, &TForm9::Button3Click));
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm9::Button1Click));
}

void TForm9::TrackBarSplitlightChange() {
    writeBar(ui.TrackBarSplitlight, &TOrImage::setPicSplitlight);
}

void TForm9::Button3Click() {
    apply();
}

void TForm9::Button1Click() {
    cancel({{ui.TrackBarSplitlight, &TOrImage::PicSplitlight}});
}
