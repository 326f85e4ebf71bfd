#pragma once

#include "EffectDialog.h"

#include "ui_Unit10.h"

// "Color Mono Noise": colour and mono noise. Each bar writes its position, unchanged, into the document as
// the hand moves it.
class TForm10 : public EffectDialog {
    Q_OBJECT
public:
    explicit TForm10(QWidget* owner = nullptr);

    Ui::TForm10 ui;

    void TrackBarColorNoiseChange();
    void TrackBarMonoNoiseChange();
    void Button1Click(); // "Aplicar"
    void Button2Click(); // "Cancelar"
};
