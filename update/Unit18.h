#pragma once

#include <QWidget>

#include "ui_Unit18.h"

// The update window "Atualizações".
class TForm18 : public QWidget {
    Q_OBJECT
public:
    explicit TForm18(QWidget* parent = nullptr);

    Ui::TForm18 ui;
};
