#pragma once

#include "UserDialogs.h"

// The program's boxes and file dialogs. A box belongs to the window that raised it, so the window manager
// keeps it above that window; while it runs the picture window leaves its stays-on-top layer (it would
// otherwise cover the box, and the program would look frozen), and when it closes the raising window is
// in front again with the keyboard focus.
class ProgramDialogs : public pixmora::UserDialogs {
public:
    void showMessage(QWidget* parent, const QString& text) override;
    bool confirm(QWidget* parent, const QString& text) override;
    void showInformation(QWidget* parent, const QString& text) override;
    void showError(QWidget* parent, const QString& text) override;
    bool runFileDialog(QFileDialog& dialog) override;

    // The window a box raised from `requested` belongs to: its top-level window while that is shown, or
    // else the window in front, or nothing.
    static QWidget* ownerFor(QWidget* requested);
};
