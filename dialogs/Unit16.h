#pragma once

#include "EffectDialog.h"

#include "ui_Unit16.h"

// "Trace": trace. Each bar writes its position, unchanged, into the document as the hand moves it.
class TForm16 : public EffectDialog {
    Q_OBJECT
public:
    explicit TForm16(QWidget* owner = nullptr);

    Ui::TForm16 ui;

    void TrackBarTraceChange();
    void Button1Click(); // "Aplicar"
    void Button2Click(); // "Cancelar"
};
