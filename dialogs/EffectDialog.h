#pragma once

#include <QWidget>

class TOrImage;

// What the twelve effect dialogs share. Each is a plain top-level window rather than a QDialog, so that
// no button is a default or cancel button and Enter and Esc trigger nothing. Closing only hides it; the
// window lives until the program ends and keeps its bars where they were left.
class EffectDialog : public QWidget {
    Q_OBJECT
protected:
    EffectDialog();
    // After setupUi: title bar with system menu, minimise and close boxes (no maximise), and a first
    // position centred on the screen.
    void finishLayout();

    // The document the bars write into, or nullptr while the host window does not exist.
    static TOrImage* document();
    // Puts the host window back on top of the main window.
    static void hostBackOnTop();

    void showEvent(QShowEvent* event) override;

private:
    QSize m_outerSize; // a resizable dialog's designed outer size, until its first showing
};
