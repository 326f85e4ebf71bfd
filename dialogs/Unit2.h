#pragma once

#include "EffectDialog.h"

#include "ui_Unit2.h"

// "Brilho e Contraste": brightness and contrast. Each bar writes its position, unchanged, into the document
// as the hand moves it.
class TForm2 : public EffectDialog {
    Q_OBJECT
public:
    explicit TForm2(QWidget* owner = nullptr);

    Ui::TForm2 ui;

    void TrackBarBrightnessChange();
    void TrackBarContrastChange();
    void Button1Click(); // "Aplicar"
    void Button2Click(); // "Cancelar"
};
