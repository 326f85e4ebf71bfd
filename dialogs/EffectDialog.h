#pragma once

#include "EditedDocument.h"
#include "Handlers.h"

#include <QSlider>
#include <QWidget>

#include <utility>
#include <vector>

namespace pixmora {
struct EffectDescription;
}

// What the twelve effect dialogs share. Each is a plain top-level window rather than a QDialog, so that
// no button is a default or cancel button and Enter and Esc trigger nothing. Closing only hides it; the
// window lives until the program ends and keeps its bars where they were left.
//
// Which effect each bar writes, and in which order Cancel and the bar refresh set the bars, comes from the
// effect table; a dialog only connects its bars to its change handlers and its buttons to Apply and Cancel.
class EffectDialog : public QWidget {
    Q_OBJECT
public:
    ~EffectDialog() override;

    // The dialog TFormn, or nullptr while it does not exist.
    static EffectDialog* find(int number);
    // The bar of one of this dialog's effects.
    QSlider* bar(const pixmora::EffectDescription& effect) const;

protected:
    // The main window owns the dialogs, as dialog-type windows: window managers keep them above it, so
    // using the main window's menu never buries an open dialog under it.
    EffectDialog(int number, QWidget* owner);
    // After setupUi: finds the bars the table gives this dialog; title bar with system menu, minimise and
    // close boxes (no maximise), and a first position centred on the screen.
    void finishLayout();

    // Connects a bar's reports to its change handler.
    template <typename Dialog> void connectBar(QSlider* bar, void (Dialog::*change)());
    // A bar's change: its position goes, unchanged, into the document's property.
    void barChanged(QSlider* bar);
    // "Aplicar": the values stay on the picture; the host window goes back on top and the dialog hides.
    void apply();
    // "Cancelar": every effect of the document off, then this dialog's bars follow the document's values
    // in the table's Cancel order (a bar that moves back writes its 0 once more); then as apply().
    void cancel();

    void showEvent(QShowEvent* event) override;

private:
    void watchHand(QSlider* bar);

    int m_number;
    std::vector<std::pair<QSlider*, const pixmora::EffectDescription*>> m_bars;
    QSize m_outerSize; // a resizable dialog's designed outer size, until its first showing
};

template <typename Dialog> void EffectDialog::connectBar(QSlider* bar, void (Dialog::*change)()) {
    watchHand(bar);
    auto* dialog = static_cast<Dialog*>(this);
    connect(bar, &QAbstractSlider::valueChanged, this, handler(dialog, change));
}

// Every effect dialog's bars to the document's current values: the dialogs in the order the program
// creates them, each one's bars from the top. Each value is read just before its bar is set, because a bar
// that moves writes into the document, which may switch a partner effect off.
void updateAllEffectBars(TOrImage& image);
