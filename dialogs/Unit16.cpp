#include "Unit16.h"

#include "Handlers.h"
#include "OrImage.h"

TForm16::TForm16() {
    ui.setupUi(this);
    finishLayout();
    connect(ui.TrackBarTrace, &QSlider::valueChanged, this, handler(this, &TForm16::TrackBarTraceChange));
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm16::Button1Click));
    connect(ui.Button2, &QPushButton::clicked, this, handler(this, &TForm16::Button2Click));
}

void TForm16::TrackBarTraceChange() {
    if (TOrImage* image = document())
        image->setPicTrace(ui.TrackBarTrace->value());
}

void TForm16::Button1Click() {
    hostBackOnTop();
    close();
}

void TForm16::Button2Click() {
    if (TOrImage* image = document()) {
        image->ResetEffects();
        // A bar that moves back reports the change and writes the value into the document once more.
        ui.TrackBarTrace->setValue(image->PicTrace());
    }
    hostBackOnTop();
    close();
}
