#include "ProgramDialogs.h"

#include "Forms.h"
#include "Unit3.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>

namespace {

bool isShown(const QWidget* window) {
    return window && window->isVisible() && !window->isMinimized();
}

// Whether a box shown now must go on the stays-on-top layer to come above the picture window.
bool hostIsTopmost() {
    return Form3 && Form3->isTopmost() && isShown(Form3);
}

// When a box closes: the raising window back in front, with the keyboard focus.
class BoxScope {
public:
    explicit BoxScope(QWidget* owner) : m_owner(owner) {}
    ~BoxScope() {
        if (isShown(m_owner)) {
            m_owner->raise();
            m_owner->activateWindow();
        }
    }
    BoxScope(const BoxScope&) = delete;
    BoxScope& operator=(const BoxScope&) = delete;

private:
    QPointer<QWidget> m_owner;
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

void ProgramDialogs::prepareBox(QMessageBox& box) {
    box.setWindowFlag(Qt::WindowStaysOnTopHint, hostIsTopmost());
}

bool ProgramDialogs::runFileDialog(QFileDialog& dialog) {
    // The dialog belongs to the window that made it; it goes back to that window when it closes. It is
    // kept between runs, hidden: its layer follows the picture window's of the moment.
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint, hostIsTopmost());
    BoxScope scope(ownerFor(dialog.parentWidget()));
    return UserDialogs::runFileDialog(dialog);
}
