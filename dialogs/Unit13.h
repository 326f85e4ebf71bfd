#pragma once

#include "EffectDialog.h"

#include "ui_Unit13.h"

// "SplitBlur": split blur. Each bar writes its position, unchanged, into the document as the hand moves it.
class TForm13 : public EffectDialog {
    Q_OBJECT
public:
    explicit TForm13(QWidget* owner = nullptr);

    Ui::TForm13 ui;

    void TrackBarSplitBlurChange();
    void Button1Click(); // "Aplicar"
    void Button2Click(); // "Cancelar"
};
