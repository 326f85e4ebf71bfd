#include "Unit17.h"

TForm17::TForm17(QWidget* owner) : EffectDialog(17, owner) {
    ui.setupUi(this);
    finishLayout();
    connectBar(ui.TrackBarTile, &TForm17::TrackBarTileChange);
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm17::Button1Click));
    connect(ui.Button2, &QPushButton::clicked, this, handler(this, &TForm17::Button2Click));
}

void TForm17::TrackBarTileChange() {
    barChanged(ui.TrackBarTile);
}

void TForm17::Button1Click() {
    apply();
}

void TForm17::Button2Click() {
    cancel();
}
