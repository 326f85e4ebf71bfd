#pragma once

#include <QWidget>

#include "ui_Unit5.h"

// The full-screen view: a borderless black window with its own copy of the picture in OrImage2. It is
// shown only by "Tela Cheia" and left only with Esc.
class TForm5 : public QWidget {
    Q_OBJECT
public:
    explicit TForm5(QWidget* parent = nullptr);

    Ui::TForm5 ui;

    // Takes over the document's picture and all nineteen effect values.
    void FormShow();
    // Esc leaves the view; every other character is ignored.
    void FormKeyPress(QChar key);

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
};
