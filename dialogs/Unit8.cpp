#include "Unit8.h"

TForm8::TForm8(QWidget* owner) : EffectDialog(8, owner) {
    ui.setupUi(this);
    finishLayout();
    connectBar(ui.TrackBarDarkness, &TForm8::TrackBarDarknessChange);
    connectBar(ui.TrackBarLightness, &TForm8::TrackBarLightnessChange);
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm8::Button1Click));
    connect(ui.Button2, &QPushButton::clicked, this, handler(this, &TForm8::Button2Click));
}

void TForm8::TrackBarDarknessChange() {
    barChanged(ui.TrackBarDarkness);
}

void TForm8::TrackBarLightnessChange() {
    barChanged(ui.TrackBarLightness);
}

void TForm8::Button1Click() {
    apply();
}

void TForm8::Button2Click() {
    cancel();
}
