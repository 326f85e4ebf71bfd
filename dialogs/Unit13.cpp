#include "Unit13.h"

TForm13::TForm13(QWidget* owner) : EffectDialog(13, owner) {
    ui.setupUi(this);
    finishLayout();
    connectBar(ui.TrackBarSplitBlur, &TForm13::TrackBarSplitBlurChange);
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm13::Button1Click));
    connect(ui.Button2, &QPushButton::clicked, this, handler(this, &TForm13::Button2Click));
}

void TForm13::TrackBarSplitBlurChange() {
    barChanged(ui.TrackBarSplitBlur);
}

void TForm13::Button1Click() {
    apply();
}

void TForm13::Button2Click() {
    cancel();
}
