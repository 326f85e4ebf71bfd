#include "Unit11.h"

#include "Handlers.h"
#include "OrImage.h"

TForm11::TForm11() {
    ui.setupUi(this);
    finishLayout();
    connect(ui.TrackBarPosterize, &QSlider::valueChanged, this,
            handler(this, &TForm11::TrackBarPosterizeChange));
    connect(ui.TrackBarSolorize, &QSlider::valueChanged, this,
            handler(this, &TForm11::TrackBarSolorizeChange));
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm11::Button1Click));
    connect(ui.Button2, &QPushButton::clicked, this, handler(this, &TForm11::Button2Click));
}

void TForm11::TrackBarPosterizeChange() {
    if (TOrImage* image = document())
        image->setPicPosterize(ui.TrackBarPosterize->value());
}

void TForm11::TrackBarSolorizeChange() {
    if (TOrImage* image = document())
        image->setPicSolorize(ui.TrackBarSolorize->value());
}

void TForm11::Button1Click() {
    hostBackOnTop();
    close();
}

void TForm11::Button2Click() {
    if (TOrImage* image = document()) {
        image->ResetEffects();
        // A bar that moves back reports the change and writes the value into the document once more.
        ui.TrackBarSolorize->setValue(image->PicSolorize());
        ui.TrackBarPosterize->setValue(image->PicPosterize());
    }
    hostBackOnTop();
    close();
}
