#pragma once

#include "EffectDialog.h"

#include "ui_Unit11.h"

// "Posterize / Solorize": posterize and solorize. Each bar writes its position, unchanged, into the document
// as the hand moves it.
class TForm11 : public EffectDialog {
    Q_OBJECT
public:
    explicit TForm11(QWidget* owner = nullptr);

    Ui::TForm11 ui;

    void TrackBarPosterizeChange();
    void TrackBarSolorizeChange();
    void Button1Click(); // "Aplicar"
    void Button2Click(); // "Cancelar"
};
