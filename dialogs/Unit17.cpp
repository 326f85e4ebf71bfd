#include "Unit17.h"

#include "Handlers.h"
#include "OrImage.h"

TForm17::TForm17() {
    ui.setupUi(this);
    finishLayout();
    connect(ui.TrackBarTile, &QSlider::valueChanged, this, handler(this, &TForm17::TrackBarTileChange));
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm17::Button1Click));
    connect(ui.Button2, &QPushButton::clicked, this, handler(this, &TForm17::Button2Click));
}

void TForm17::TrackBarTileChange() {
    if (TOrImage* image = document())
        image->setPicTile(ui.TrackBarTile->value());
}

void TForm17::Button1Click() {
    hostBackOnTop();
    close();
}

void TForm17::Button2Click() {
    if (TOrImage* image = document()) {
        image->ResetEffects();
        // A bar that moves back reports the change and writes the value into the document once more.
        ui.TrackBarTile->setValue(image->PicTile());
    }
    hostBackOnTop();
    close();
}
