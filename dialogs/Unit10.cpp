#include "Unit10.h"

TForm10::TForm10(QWidget* owner) : EffectDialog(10, owner) {
    ui.setupUi(this);
    finishLayout();
    connectBar(ui.TrackBarColorNoise, &TForm10::TrackBarColorNoiseChange);
    connectBar(ui.TrackBarMonoNoise, &TForm10::TrackBarMonoNoiseChange);
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm10::Button1Click));
    connect(ui.Button2, &QPushButton::clicked, this, handler(this, &TForm10::Button2Click));
}

void TForm10::TrackBarColorNoiseChange() {
    barChanged(ui.TrackBarColorNoise);
}

void TForm10::TrackBarMonoNoiseChange() {
    barChanged(ui.TrackBarMonoNoise);
}

void TForm10::Button1Click() {
    apply();
}

void TForm10::Button2Click() {
    cancel();
}
