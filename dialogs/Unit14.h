#pragma once

#include "EffectDialog.h"

#include "ui_Unit14.h"

// "GaussianBlur": gaussian blur. Each bar writes its position, unchanged, into the document on every change.
class TForm14 : public EffectDialog {
    Q_OBJECT
public:
    TForm14();

    Ui::TForm14 ui;

    void TrackBarGaussianBlurChange();
    void Button1Click(); // "Aplicar"
    void Button2Click(); // "Cancelar"
};
