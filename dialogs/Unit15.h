#pragma once

#include "EffectDialog.h"

#include "ui_Unit15.h"

// "AntiAlias": antialias. Each bar writes its position, unchanged, into the document as the hand moves it.
class TForm15 : public EffectDialog {
    Q_OBJECT
public:
    explicit TForm15(QWidget* owner = nullptr);

    Ui::TForm15 ui;

    void TrackBarAntiAliasChange();
    void Button1Click(); // "Aplicar"
    void Button2Click(); // "Cancelar"
};
