#include "Unit9.h"

TForm9::TForm9(QWidget* owner) : EffectDialog(9, owner) {
    ui.setupUi(this);
    finishLayout();
    connectBar(ui.TrackBarSplitlight, &TForm9::TrackBarSplitlightChange);
    connect(ui.Button3, &QPushButton::clicked, this, handler(this, &TForm9::Button3Click));
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm9::Button1Click));
}

void TForm9::TrackBarSplitlightChange() {
    barChanged(ui.TrackBarSplitlight);
}

void TForm9::Button3Click() {
    apply();
}

void TForm9::Button1Click() {
    cancel();
}
