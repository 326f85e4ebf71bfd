#include "Unit15.h"

#include "Handlers.h"
#include "OrImage.h"

TForm15::TForm15() {
    ui.setupUi(this);
    finishLayout();
    connect(ui.TrackBarAntiAlias, &QSlider::valueChanged, this,
            handler(this, &TForm15::TrackBarAntiAliasChange));
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm15::Button1Click));
    connect(ui.Button2, &QPushButton::clicked, this, handler(this, &TForm15::Button2Click));
}

void TForm15::TrackBarAntiAliasChange() {
    if (TOrImage* image = document())
        image->setPicAntiAlias(ui.TrackBarAntiAlias->value());
}

void TForm15::Button1Click() {
    hostBackOnTop();
    close();
}

void TForm15::Button2Click() {
    if (TOrImage* image = document()) {
        image->ResetEffects();
        // A bar that moves back reports the change and writes the value into the document once more.
        ui.TrackBarAntiAlias->setValue(image->PicAntiAlias());
    }
    hostBackOnTop();
    close();
}
