#pragma once

#include "EffectDialog.h"

#include "ui_Unit12.h"

// "Mosaico": mosaic. Each bar writes its position, unchanged, into the document as the hand moves it.
class TForm12 : public EffectDialog {
    Q_OBJECT
public:
    explicit TForm12(QWidget* owner = nullptr);

    Ui::TForm12 ui;

    void TrackBarMosaicChange();
    void Button1Click(); // "Aplicar"
    void Button2Click(); // "Cancelar"
};
