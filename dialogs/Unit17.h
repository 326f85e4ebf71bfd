#pragma once

#include "EffectDialog.h"

#include "ui_Unit17.h"

// "Tile": tile. Each bar writes its position, unchanged, into the document as the hand moves it.
class TForm17 : public EffectDialog {
    Q_OBJECT
public:
    explicit TForm17(QWidget* owner = nullptr);

    Ui::TForm17 ui;

    void TrackBarTileChange();
    void Button1Click(); // "Aplicar"
    void Button2Click(); // "Cancelar"
};
