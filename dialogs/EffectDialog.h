#pragma once

#include "OrImageEngine.h"

#include <QWidget>

#include <initializer_list>
#include <utility>

class QSlider;
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

    using Getter = int (pixmora::OrImageEngine::*)() const;
    using Setter = void (pixmora::OrImageEngine::*)(int);
    // A bar's change: its position goes, unchanged, into the document's property.
    static void writeBar(const QSlider* bar, Setter setter);
    // "Aplicar": the values stay on the picture; the host window goes back on top and the dialog hides.
    void apply();
    // "Cancelar": every effect of the document off, then this dialog's bars, in the given order, follow
    // the document's values (a bar that moves back writes its 0 once more); then as apply().
    void cancel(std::initializer_list<std::pair<QSlider*, Getter>> bars);

    void showEvent(QShowEvent* event) override;

private:
    QSize m_outerSize; // a resizable dialog's designed outer size, until its first showing
};
