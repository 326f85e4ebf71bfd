#pragma once

#include "EffectDialog.h"

#include "ui_Unit13.h"

// "SplitBlur": split blur. Each bar writes its position, unchanged, into the document on every change.
class TForm13 : public EffectDialog {
    Q_OBJECT
public:
    TForm13();

    Ui::TForm13 ui;

    void TrackBarSplitBlurChange();
    void Button1Click(); // "Aplicar"
    void Button2Click(); // "Cancelar"
};
