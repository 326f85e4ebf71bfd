#include "Unit2.h"

#include "Handlers.h"
#include "OrImage.h"

TForm2::TForm2() {
    ui.setupUi(this);
    finishLayout();
    connect(ui.TrackBarBrightness, &QSlider::valueChanged, this,
            handler(this, &TForm2::TrackBarBrightnessChange));
    connect(ui.TrackBarContrast, &QSlider::valueChanged, this,
            handler(this, &TForm2::TrackBarContrastChange));
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm2::Button1Click));
    connect(ui.Button2, &QPushButton::clicked, this, handler(this, &TForm2::Button2Click));
}

void TForm2::TrackBarBrightnessChange() {
    if (TOrImage* image = document())
        image->setPicBrightness(ui.TrackBarBrightness->value());
}

void TForm2::TrackBarContrastChange() {
    if (TOrImage* image = document())
        image->setPicContrast(ui.TrackBarContrast->value());
}

void TForm2::Button1Click() {
    hostBackOnTop();
    close();
}

void TForm2::Button2Click() {
    if (TOrImage* image = document()) {
        image->ResetEffects();
        // A bar that moves back reports the change and writes the value into the document once more.
        ui.TrackBarBrightness->setValue(image->PicBrightness());
        ui.TrackBarContrast->setValue(image->PicContrast());
    }
    hostBackOnTop();
    close();
}
