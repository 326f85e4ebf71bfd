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
    if (TOrImage* image = document())
        image->setPicSplitlight(ui.TrackBarSplitlight->value());
}

void TForm9::Button3Click() {
    hostBackOnTop();
    close();
}

void TForm9::Button1Click() {
    if (TOrImage* image = document()) {
        image->ResetEffects();
        // A bar that moves back reports the change and writes the value into the document once more.
        ui.TrackBarSplitlight->setValue(image->PicSplitlight());
    }
    hostBackOnTop();
    close();
}
