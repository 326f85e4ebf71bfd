#pragma once

#include "EffectDialog.h"

#include "ui_Unit4.h"

// "Saturação": saturation. Each bar writes its position, unchanged, into the document as the hand moves it.
class TForm4 : public EffectDialog {
    Q_OBJECT
public:
    explicit TForm4(QWidget* owner = nullptr);

    Ui::TForm4 ui;

    void TrackBarSaturationChange();
    void Button1Click(); // "Aplicar"
    void Button2Click(); // "Cancelar"
};
