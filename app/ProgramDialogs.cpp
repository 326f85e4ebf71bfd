#include "ProgramDialogs.h"

#include "Forms.h"
#include "Unit3.h"

#include <QApplication>
#include <QFileDialog>
#include <QPointer>

namespace {

bool isShown(const QWidget* window) {
    return window && window->isVisible() && !window->isMinimized();
}

// For as long as a box runs: the picture window out of its layer, and afterwards the raising window back
// in front. The order of the two on the way out matters: the picture window returns to its layer first,
// so that activating a window below it does not bury it.
class BoxScope {
public:
    explicit BoxScope(QWidget* owner) : m_owner(owner), m_hostWasTopmost(Form3 && Form3->isTopmost()) {
        if (m_hostWasTopmost)
            Form3->setTopmost(false);
    }
    ~BoxScope() {
        if (m_hostWasTopmost && Form3)
            Form3->setTopmost(true);
        if (isShown(m_owner)) {
            m_owner->raise();
            m_owner->activateWindow();
        }
    }
    BoxScope(const BoxScope&) = delete;
    BoxScope& operator=(const BoxScope&) = delete;

private:
    QPointer<QWidget> m_owner;
    bool m_hostWasTopmost;
};

} // namespace

QWidget* ProgramDialogs::ownerFor(QWidget* requested) {
    QWidget* window = requested ? requested->window() : nullptr;
    if (isShown(window))
        return window;
    window = QApplication::activeWindow();
    return isShown(window) ? window : nullptr;
}

void ProgramDialogs::showMessage(QWidget* parent, const QString& text) {
    QWidget* owner = ownerFor(parent);
    BoxScope scope(owner);
    UserDialogs::showMessage(owner, text);
}

bool ProgramDialogs::confirm(QWidget* parent, const QString& text) {
    QWidget* owner = ownerFor(parent);
    BoxScope scope(owner);
    return UserDialogs::confirm(owner, text);
}

void ProgramDialogs::showInformation(QWidget* parent, const QString& text) {
    QWidget* owner = ownerFor(parent);
    BoxScope scope(owner);
    UserDialogs::showInformation(owner, text);
}

void ProgramDialogs::showError(QWidget* parent, const QString& text) {
    QWidget* owner = ownerFor(parent);
    BoxScope scope(owner);
    UserDialogs::showError(owner, text);
}

bool ProgramDialogs::runFileDialog(QFileDialog& dialog) {
    // The dialog belongs to the window that made it; it goes back to that window when it closes.
    BoxScope scope(ownerFor(dialog.parentWidget()));
    return UserDialogs::runFileDialog(dialog);
}
