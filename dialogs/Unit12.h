#pragma once

#include "EffectDialog.h"

#include "ui_Unit12.h"

// "Mosaico": mosaic. Each bar writes its position, unchanged, into the document on every change.
class TForm12 : public EffectDialog {
    Q_OBJECT
public:
    TForm12();

    Ui::TForm12 ui;

    void TrackBarMosaicChange();
    void Button1Click(); // "Aplicar"
    void Button2Click(); // "Cancelar"
};
