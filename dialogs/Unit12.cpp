#include "Unit12.h"

TForm12::TForm12(QWidget* owner) : EffectDialog(12, owner) {
    ui.setupUi(this);
    finishLayout();
    connectBar(ui.TrackBarMosaic, &TForm12::TrackBarMosaicChange);
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm12::Button1Click));
    connect(ui.Button2, &QPushButton::clicked, this, handler(this, &TForm12::Button2Click));
}

void TForm12::TrackBarMosaicChange() {
    barChanged(ui.TrackBarMosaic);
}

void TForm12::Button1Click() {
    apply();
}

void TForm12::Button2Click() {
    cancel();
}
