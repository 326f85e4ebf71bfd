#pragma once

#include "EffectDialog.h"

#include "ui_Unit14.h"

// "GaussianBlur": gaussian blur. Each bar writes its position, unchanged, into the document as the hand moves
// it.
class TForm14 : public EffectDialog {
    Q_OBJECT
public:
    explicit TForm14(QWidget* owner = nullptr);

    Ui::TForm14 ui;

    void TrackBarGaussianBlurChange();
    void Button1Click(); // "Aplicar"
    void Button2Click(); // "Cancelar"
};
