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
    if (TOrImage* image = document())
        image->setPicMosaic(ui.TrackBarMosaic->value());
}

void TForm12::Button1Click() {
    hostBackOnTop();
    close();
}

void TForm12::Button2Click() {
    if (TOrImage* image = document()) {
        image->ResetEffects();
        // A bar that moves back reports the change and writes the value into the document once more.
        ui.TrackBarMosaic->setValue(image->PicMosaic());
    }
    hostBackOnTop();
    close();
}
