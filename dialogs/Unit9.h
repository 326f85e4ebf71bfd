#pragma once

#include "EffectDialog.h"

#include "ui_Unit9.h"

// "Splitlight": split light. Each bar writes its position, unchanged, into the document on every change.
class TForm9 : public EffectDialog {
    Q_OBJECT
public:
    TForm9();

    Ui::TForm9 ui;

    void TrackBarSplitlightChange();
    void Button3Click(); // "Aplicar"
    void Button1Click(); // "Cancelar"
};
