#include "Unit4.h"

TForm4::TForm4(QWidget* owner) : EffectDialog(4, owner) {
    ui.setupUi(this);
    finishLayout();
    connectBar(ui.TrackBarSaturation, &TForm4::TrackBarSaturationChange);
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm4::Button1Click));
    connect(ui.Button2, &QPushButton::clicked, this, handler(this, &TForm4::Button2Click));
}

void TForm4::TrackBarSaturationChange() {
    barChanged(ui.TrackBarSaturation);
}

void TForm4::Button1Click() {
    apply();
}

void TForm4::Button2Click() {
    cancel();
}
