#include "Unit15.h"

TForm15::TForm15(QWidget* owner) : EffectDialog(15, owner) {
    ui.setupUi(this);
    finishLayout();
    connectBar(ui.TrackBarAntiAlias, &TForm15::TrackBarAntiAliasChange);
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm15::Button1Click));
    connect(ui.Button2, &QPushButton::clicked, this, handler(this, &TForm15::Button2Click));
}

void TForm15::TrackBarAntiAliasChange() {
    barChanged(ui.TrackBarAntiAlias);
}

void TForm15::Button1Click() {
    apply();
}

void TForm15::Button2Click() {
    cancel();
}
