#include "Unit16.h"

TForm16::TForm16(QWidget* owner) : EffectDialog(16, owner) {
    ui.setupUi(this);
    finishLayout();
    connectBar(ui.TrackBarTrace, &TForm16::TrackBarTraceChange);
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm16::Button1Click));
    connect(ui.Button2, &QPushButton::clicked, this, handler(this, &TForm16::Button2Click));
}

void TForm16::TrackBarTraceChange() {
    barChanged(ui.TrackBarTrace);
}

void TForm16::Button1Click() {
    apply();
}

void TForm16::Button2Click() {
    cancel();
}
