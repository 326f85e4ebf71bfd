#pragma once

#include <QWidget>

#include "ui_Unit7.h"

// The About box "Sobre...".
class TForm7 : public QWidget {
    Q_OBJECT
public:
    explicit TForm7(QWidget* parent = nullptr);

    Ui::TForm7 ui;

    void Button1Click(); // "OK"

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool m_placed = false;
};
