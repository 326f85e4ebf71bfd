#include "Unit14.h"

#include "Handlers.h"
#include "OrImage.h"

TForm14::TForm14() {
    ui.setupUi(this);
    finishLayout();
    connect(ui.TrackBarGaussianBlur, &QSlider::valueChanged, this,
            handler(this, &TForm14::TrackBarGaussianBlurChange));
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm14::Button1Click));
    connect(ui.Button2, &QPushButton::clicked, this, handler(this, &TForm14::Button2Click));
}

void TForm14::TrackBarGaussianBlurChange() {
    if (TOrImage* image = document())
        image->setPicGaussianBlur(ui.TrackBarGaussianBlur->value());
}

void TForm14::Button1Click() {
    hostBackOnTop();
    close();
}

void TForm14::Button2Click() {
    if (TOrImage* image = document()) {
        image->ResetEffects();
        // A bar that moves back reports the change and writes the value into the document once more.
        ui.TrackBarGaussianBlur->setValue(image->PicGaussianBlur());
    }
    hostBackOnTop();
    close();
}
