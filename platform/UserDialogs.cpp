#include "UserDialogs.h"

#include "Errors.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <new>

namespace pixmora {

namespace {

UserDialogs g_realDialogs;
UserDialogs* g_dialogs = &g_realDialogs;

void runBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text) {
    QMessageBox box(icon, caption, text, QMessageBox::NoButton, parent);
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    // A short text would make the box too narrow for its own caption.
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
        label->setMinimumWidth(160);
    box.exec();
}

} // namespace

void UserDialogs::showMessage(QWidget* parent, const QString& text) {
    runBox(parent, QMessageBox::NoIcon, applicationTitle(), text);
}

bool UserDialogs::confirm(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), text, QMessageBox::NoButton, parent);
    QPushButton* yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

void UserDialogs::showInformation(QWidget* parent, const QString& text) {
    runBox(parent, QMessageBox::Information, QStringLiteral("Information"), text);
}

void UserDialogs::showError(QWidget* parent, const QString& text) {
    runBox(parent, QMessageBox::Critical, applicationTitle(), text);
}

bool UserDialogs::runFileDialog(QFileDialog& dialog) {
    const bool accepted = dialog.exec() == QDialog::Accepted;
    // A name typed and confirmed with Enter can leave the name box's completion list open after the
    // dialog has gone; it would stay on the screen and swallow the next click.
    for (int i = 0; i < 8 && QApplication::activePopupWidget(); ++i)
        QApplication::activePopupWidget()->close();
    return accepted;
}

UserDialogs& userDialogs() {
    return *g_dialogs;
}

void setUserDialogs(UserDialogs* dialogs) {
    g_dialogs = dialogs ? dialogs : &g_realDialogs;
}

QString applicationTitle() {
    const QString name = QGuiApplication::applicationDisplayName();
    return name.isEmpty() ? QStringLiteral("Pixmora") : name;
}

QString errorReportText(const QString& message) {
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void reportError(const QString& message) {
    userDialogs().showError(QApplication::activeWindow(), errorReportText(message));
}

void reportCurrentException() {
    try {
        throw;
    } catch (const Error& e) {
        reportError(e.message());
    } catch (const std::bad_alloc&) {
        reportError(QStringLiteral("Out of memory"));
    } catch (const std::exception& e) {
        reportError(QString::fromUtf8(e.what()));
    } catch (...) {
        reportError(QStringLiteral("Unexpected error"));
    }
}

} // namespace pixmora
