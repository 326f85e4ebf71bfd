#pragma once

#include <QWidget>

#include "ui_Unit6.h"

class QButtonGroup;

// "Pixmora Preferências": whether the full-screen view stretches a large picture over the screen. The
// choice lives in options.txt and is written the moment it is made.
class TForm6 : public QWidget {
    Q_OBJECT
public:
    explicit TForm6(QWidget* parent = nullptr);

    Ui::TForm6 ui;
    // RadioGroup1's items: 0 "Redimensionar Imagem", 1 "Não Redimensionar Imagem".
    QButtonGroup* RadioGroup1Items = nullptr;

    static QString RootPath();
    // "options.txt", beside "config.txt".
    static QString optionsFile();
    // The selected item, or -1 while none is.
    int ItemIndex() const;
    void setItemIndex(int index);

    // What the full-screen view makes of options.txt: false only for "noresized". A file that is missing
    // or unreadable is no choice yet, and keeps the view's usual sizing.
    static bool stretchesFullScreen();

    void FormShow();
    void RadioGroup1Click();
    void BitBtn1Click(); // "&OK"

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool m_placed = false;
};
