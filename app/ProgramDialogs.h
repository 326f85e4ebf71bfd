#pragma once

#include "UserDialogs.h"

// The program's boxes and file dialogs. They are modal, so while one runs the picture window leaves its
// stays-on-top layer (it would otherwise cover the box, and the program would look frozen) and returns
// to it afterwards, without being activated.
class ProgramDialogs : public pixmora::UserDialogs {
public:
    void showMessage(QWidget* parent, const QString& text) override;
    bool confirm(QWidget* parent, const QString& text) override;
    void showInformation(QWidget* parent, const QString& text) override;
    void showError(QWidget* parent, const QString& text) override;
    bool runFileDialog(QFileDialog& dialog) override;
};
