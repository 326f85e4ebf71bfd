#pragma once

#include "EffectDialog.h"

#include "ui_Unit11.h"

// "Posterize / Solorize": posterize and solorize. Each bar writes its position, unchanged, into the document
// on every change.
class TForm11 : public EffectDialog {
    Q_OBJECT
public:
    TForm11();

    Ui::TForm11 ui;

    void TrackBarPosterizeChange();
    void TrackBarSolorizeChange();
    void Button1Click(); // "Aplicar"
    void Button2Click(); // "Cancelar"
};
