#pragma once

#include "EffectDialog.h"

#include "ui_Unit9.h"

// "Splitlight": split light. Each bar writes its position, unchanged, into the document as the hand moves it.
class TForm9 : public EffectDialog {
    Q_OBJECT
public:
    explicit TForm9(QWidget* owner = nullptr);

    Ui::TForm9 ui;

    void TrackBarSplitlightChange();
    void Button3Click(); // "Aplicar"
    void Button1Click(); // "Cancelar"
};
