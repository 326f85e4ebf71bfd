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
    if (TOrImage* image = document())
        image->setPicSaturation(ui.TrackBarSaturation->value());
}

void TForm4::Button1Click() {
    hostBackOnTop();
    close();
}

void TForm4::Button2Click() {
    if (TOrImage* image = document()) {
        image->ResetEffects();
        // A bar that moves back reports the change and writes the value into the document once more.
        ui.TrackBarSaturation->setValue(image->PicSaturation());
    }
    hostBackOnTop();
    close();
}
