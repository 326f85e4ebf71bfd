#include "Unit13.h"

#include "Handlers.h"
#include "OrImage.h"

TForm13::TForm13() {
    ui.setupUi(this);
    finishLayout();
    connect(ui.TrackBarSplitBlur, &QSlider::valueChanged, this,
            handler(this, &TForm13::TrackBarSplitBlurChange));
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm13::Button1Click));
    connect(ui.Button2, &QPushButton::clicked, this, handler(this, &TForm13::Button2Click));
}

void TForm13::TrackBarSplitBlurChange() {
    writeBar(ui.TrackBarSplitBlur, &TOrImage::setPicSplitBlur);
}

void TForm13::Button1Click() {
    apply();
}

void TForm13::Button2Click() {
    cancel({{ui.TrackBarSplitBlur, &TOrImage::PicSplitBlur}});
}
