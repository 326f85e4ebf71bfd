#pragma once

#include <QWidget>

#include "ui_Unit6.h"

// "Pixmora Preferências": how the full-screen view sizes the picture.
class TForm6 : public QWidget {
    Q_OBJECT
public:
    explicit TForm6(QWidget* parent = nullptr);

    Ui::TForm6 ui;

    void BitBtn1Click(); // "&OK"
};
