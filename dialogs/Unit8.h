#pragma once

#include "EffectDialog.h"

#include "ui_Unit8.h"

// "Lightness / Darkness": lightness and darkness. Each bar writes its position, unchanged, into the document
// as the hand moves it.
class TForm8 : public EffectDialog {
    Q_OBJECT
public:
    explicit TForm8(QWidget* owner = nullptr);

    Ui::TForm8 ui;

    void TrackBarDarknessChange();
    void TrackBarLightnessChange();
    void Button1Click(); // "Aplicar"
    void Button2Click(); // "Cancelar"
};
