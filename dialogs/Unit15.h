#pragma once

#include "EffectDialog.h"

#include "ui_Unit15.h"

// "AntiAlias": antialias. Each bar writes its position, unchanged, into the document on every change.
class TForm15 : public EffectDialog {
    Q_OBJECT
public:
    TForm15();

    Ui::TForm15 ui;

    void TrackBarAntiAliasChange();
    void Button1Click(); // "Aplicar"
    void Button2Click(); // "Cancelar"
};
