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
    if (TOrImage* image = document())
        image->setPicSplitBlur(ui.TrackBarSplitBlur->value());
}

void TForm13::Button1Click() {
    hostBackOnTop();
    close();
}

void TForm13::Button2Click() {
    if (TOrImage* image = document()) {
        image->ResetEffects();
        // A bar that moves back reports the change and writes the value into the document once more.
        ui.TrackBarSplitBlur->setValue(image->PicSplitBlur());
    }
    hostBackOnTop();
    close();
}
