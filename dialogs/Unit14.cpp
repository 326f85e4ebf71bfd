#include "Unit14.h"

TForm14::TForm14(QWidget* owner) : EffectDialog(14, owner) {
    ui.setupUi(this);
    finishLayout();
    connectBar(ui.TrackBarGaussianBlur, &TForm14::TrackBarGaussianBlurChange);
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm14::Button1Click));
    connect(ui.Button2, &QPushButton::clicked, this, handler(this, &TForm14::Button2Click));
}

void TForm14::TrackBarGaussianBlurChange() {
    barChanged(ui.TrackBarGaussianBlur);
}

void TForm14::Button1Click() {
    apply();
}

void TForm14::Button2Click() {
    cancel();
}
