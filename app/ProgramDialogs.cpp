#include "ProgramDialogs.h"

#include "Forms.h"
#include "Unit1.h"
#include "Unit3.h"

#include <QFileDialog>

namespace {

// A box belongs to the picture window while that is shown: window managers keep a box above the window
// it belongs to, and raise the two together.
QWidget* ownerFor(QWidget* requested) {
    if (Form3 && Form3->isVisible() && !Form3->isMinimized())
        return Form3;
    return requested;
}

class HostLayerPause {
public:
    HostLayerPause() : m_wasTopmost(Form3 && Form3->isTopmost()) {
        if (m_wasTopmost)
            Form3->setTopmost(false);
    }
    ~HostLayerPause() {
        if (m_wasTopmost && Form3)
            Form3->setTopmost(true);
    }
    HostLayerPause(const HostLayerPause&) = delete;
    HostLayerPause& operator=(const HostLayerPause&) = delete;

private:
    bool m_wasTopmost;
};

} // namespace

void ProgramDialogs::showMessage(QWidget* parent, const QString& text) {
    HostLayerPause pause;
    UserDialogs::showMessage(ownerFor(parent), text);
}

bool ProgramDialogs::confirm(QWidget* parent, const QString& text) {
    HostLayerPause pause;
    return UserDialogs::confirm(ownerFor(parent), text);
}

void ProgramDialogs::showInformation(QWidget* parent, const QString& text) {
    HostLayerPause pause;
    UserDialogs::showInformation(ownerFor(parent), text);
}

void ProgramDialogs::showError(QWidget* parent, const QString& text) {
    HostLayerPause pause;
    UserDialogs::showError(ownerFor(parent), text);
}

bool ProgramDialogs::runFileDialog(QFileDialog& dialog) {
    HostLayerPause pause;
    // The dialog stays with its new owner afterwards: taking it back at once, while its completer's popup
    // is still closing, leaves that popup on the screen.
    QWidget* const owner = ownerFor(Form1 ? Form1 : dialog.parentWidget());
    if (owner && owner != dialog.parentWidget())
        dialog.setParent(owner, dialog.windowFlags());
    return UserDialogs::runFileDialog(dialog);
}
