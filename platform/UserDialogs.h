#pragma once

#include <QMessageBox>
#include <QString>

#include <exception>
#include <utility>

class QFileDialog;
class QFontMetrics;
class QLabel;
class QWidget;

namespace pixmora {

// The program's message box: a QMessageBox with plain text, sized by QMessageBox itself, which wraps a
// long text at its own comfortable width. Two things are added before it sizes itself: a word too long
// for that width (a file path) gets invisible break opportunities after its separators or, failing those,
// where it reaches the edge, and the button row is made at least as wide as the window manager's title
// bar needs for the caption. Nothing is ever cut.
class MessageBox : public QMessageBox {
    Q_OBJECT
public:
    MessageBox(QWidget* parent, Icon icon, const QString& caption, const QString& text);

    QLabel* textLabel() const;

    // The widest a box grows before QMessageBox wraps its text, on a screen this wide.
    static int wrapLimit(int screenWidth);
    // The text with invisible break opportunities wherever a word is wider than `width`.
    static QString breakLongWords(const QString& text, const QFontMetrics& metrics, int width);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void prepareForSizing();

    QString m_plainText;
};

// Every box and picture dialog the program shows goes through this seam, so that tests can answer them
// without a person. The default implementation shows the real boxes.
class UserDialogs {
public:
    virtual ~UserDialogs() = default;
    // Plain box: the text, one "OK" button, no icon, the application title as caption.
    virtual void showMessage(QWidget* parent, const QString& text);
    // Confirmation: caption "Confirm", question icon, buttons "&Yes" and "&No". True for Yes.
    virtual bool confirm(QWidget* parent, const QString& text);
    // Information: caption "Information", information icon, button "OK".
    virtual void showInformation(QWidget* parent, const QString& text);
    // Error: the application title as caption, error icon, button "OK".
    virtual void showError(QWidget* parent, const QString& text);
    // Runs a file dialog the caller has set up; true when the user accepted a file.
    virtual bool runFileDialog(QFileDialog& dialog);

protected:
    // Called with every box just before it shows.
    virtual void prepareBox(QMessageBox& box);

private:
    void runBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text);
};

UserDialogs& userDialogs();
// Installs another implementation (not owned); nullptr brings the real boxes back.
void setUserDialogs(UserDialogs* dialogs);

// The application title: the caption of plain boxes and of the error report.
QString applicationTitle();

// The text of the application-wide error report: a full stop is appended when the message's last
// character has a higher code than the full stop.
QString errorReportText(const QString& message);
// The application-wide error report: an error box with the message, owned by the window in front.
void reportError(const QString& message);
// Reports the exception in flight (call from a catch block).
void reportCurrentException();

// Runs a handler so that no exception leaves it: a failure is reported once and the program runs on.
template <typename F> void guarded(F&& handler) {
    try {
        std::forward<F>(handler)();
    } catch (...) {
        reportCurrentException();
    }
}

} // namespace pixmora
