#include "Unit11.h"

TForm11::TForm11(QWidget* owner) : EffectDialog(11, owner) {
    ui.setupUi(this);
    finishLayout();
    connectBar(ui.TrackBarPosterize, &TForm11::TrackBarPosterizeChange);
    connectBar(ui.TrackBarSolorize, &TForm11::TrackBarSolorizeChange);
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm11::Button1Click));
    connect(ui.Button2, &QPushButton::clicked, this, handler(this, &TForm11::Button2Click));
}

void TForm11::TrackBarPosterizeChange() {
    barChanged(ui.TrackBarPosterize);
}

void TForm11::TrackBarSolorizeChange() {
    barChanged(ui.TrackBarSolorize);
}

void TForm11::Button1Click() {
    apply();
}

void TForm11::Button2Click() {
    cancel();
}
