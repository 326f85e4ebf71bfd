#include "EffectDialog.h"

#include "Forms.h"
#include "OrImage.h"
#include "Unit1.h"
#include "Unit3.h"
#include "WindowGeometry.h"

#include <QSlider>

// The main window owns the dialog, as a dialog-type window: window managers keep it above the window it
// belongs to, so using the main window's menu never buries an open dialog under it. (A QWidget, not a
// QDialog: Enter and Esc must trigger nothing.)
EffectDialog::EffectDialog() : QWidget(Form1, Qt::Dialog) {}

void EffectDialog::finishLayout() {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    // The resizable dialogs' sizes are outer sizes; the layouts hold their client areas in a standard frame.
    if (minimumSize() != maximumSize())
        m_outerSize = size() + standardFrameSize();
    moveToDesktopCenter(this);
}

void EffectDialog::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // By the first showing the window manager has decorated the main window, whose frame tells this one's.
    if (m_outerSize.isValid()) {
        setOuterSize(this, m_outerSize);
        m_outerSize = QSize();
    }
}

TOrImage* EffectDialog::document() {
    return Form3 ? Form3->ui.OrImage1 : nullptr;
}

void EffectDialog::hostBackOnTop() {
    if (Form3)
        Form3->botanotopo();
}

void EffectDialog::writeBar(const QSlider* bar, Setter setter) {
    if (TOrImage* image = document())
        (image->*setter)(bar->value());
}

void EffectDialog::apply() {
    hostBackOnTop();
    close();
}

void EffectDialog::cancel(std::initializer_list<std::pair<QSlider*, Getter>> bars) {
    if (TOrImage* image = document()) {
        image->ResetEffects();
        for (const auto& [bar, getter] : bars)
            bar->setValue((image->*getter)());
    }
    apply();
}
