#include "Unit2.h"

TForm2::TForm2(QWidget* owner) : EffectDialog(2, owner) {
    ui.setupUi(this);
    finishLayout();
    connectBar(ui.TrackBarBrightness, &TForm2::TrackBarBrightnessChange);
    connectBar(ui.TrackBarContrast, &TForm2::TrackBarContrastChange);
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm2::Button1Click));
    connect(ui.Button2, &QPushButton::clicked, this, handler(this, &TForm2::Button2Click));
}

void TForm2::TrackBarBrightnessChange() {
    barChanged(ui.TrackBarBrightness);
}

void TForm2::TrackBarContrastChange() {
    barChanged(ui.TrackBarContrast);
}

void TForm2::Button1Click() {
    apply();
}

void TForm2::Button2Click() {
    cancel();
}
