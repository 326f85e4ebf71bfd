#pragma once

#include <QWidget>

#include "ui_Unit5.h"

// The full-screen view: a borderless black window with its own copy of the picture in OrImage2.
class TForm5 : public QWidget {
    Q_OBJECT
public:
    explicit TForm5(QWidget* parent = nullptr);

    Ui::TForm5 ui;
};
