#include "Unit8.h"

#include "Handlers.h"
#include "OrImage.h"

TForm8::TForm8() {
    ui.setupUi(this);
    finishLayout();
    connect(ui.TrackBarDarkness, &QSlider::valueChanged, this,
            handler(this, &TForm8::TrackBarDarknessChange));
    connect(ui.TrackBarLightness, &QSlider::valueChanged, this,
            handler(this, &TForm8::TrackBarLightnessChange));
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm8::Button1Click));
    connect(ui.Button2, &QPushButton::clicked, this, handler(this, &TForm8::Button2Click));
}

void TForm8::TrackBarDarknessChange() {
    if (TOrImage* image = document())
        image->setPicDarkness(ui.TrackBarDarkness->value());
}

void TForm8::TrackBarLightnessChange() {
    if (TOrImage* image = document())
        image->setPicLightness(ui.TrackBarLightness->value());
}

void TForm8::Button1Click() {
    hostBackOnTop();
    close();
}

void TForm8::Button2Click() {
    if (TOrImage* image = document()) {
        image->ResetEffects();
        // A bar that moves back reports the change and writes the value into the document once more.
        ui.TrackBarDarkness->setValue(image->PicDarkness());
        ui.TrackBarLightness->setValue(image->PicLightness());
    }
    hostBackOnTop();
    close();
}
