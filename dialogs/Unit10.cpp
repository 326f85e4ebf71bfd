#include "Unit10.h"

#include "Handlers.h"
#include "OrImage.h"

TForm10::TForm10() {
    ui.setupUi(this);
    finishLayout();
    connect(ui.TrackBarColorNoise, &QSlider::valueChanged, this,
            handler(this, &TForm10::TrackBarColorNoiseChange));
    connect(ui.TrackBarMonoNoise, &QSlider::valueChanged, this,
            handler(this, &TForm10::TrackBarMonoNoiseChange));
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm10::Button1Click));
    connect(ui.Button2, &QPushButton::clicked, this, handler(this, &TForm10::Button2Click));
}

void TForm10::TrackBarColorNoiseChange() {
    if (TOrImage* image = document())
        image->setPicColorNoise(ui.TrackBarColorNoise->value());
}

void TForm10::TrackBarMonoNoiseChange() {
    if (TOrImage* image = document())
        image->setPicMonoNoise(ui.TrackBarMonoNoise->value());
}

void TForm10::Button1Click() {
    hostBackOnTop();
    close();
}

void TForm10::Button2Click() {
    if (TOrImage* image = document()) {
        image->ResetEffects();
        // A bar that moves back reports the change and writes the value into the document once more.
        ui.TrackBarMonoNoise->setValue(image->PicMonoNoise());
        ui.TrackBarColorNoise->setValue(image->PicColorNoise());
    }
    hostBackOnTop();
    close();
}
