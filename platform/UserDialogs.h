#pragma once

#include <QDialog>
#include <QString>

#include <exception>
#include <utility>

class QFileDialog;
class QLabel;
class QPushButton;
class QWidget;

namespace pixmora {

// The program's modal box: an optional icon, a text and a row of buttons, sized to its text as a system
// box is. A long line wraps at a comfortable reading width, a word longer than that (a file path) breaks
// after its separators or, failing those, anywhere; nothing is ever cut, and the box is never narrower
// than its own caption.
class TextBox : public QDialog {
    Q_OBJECT
public:
    enum class Icon { None, Question, Information, Error };
    TextBox(QWidget* parent, Icon icon, const QString& caption, const QString& text);

    // The first button added is the default one unless another is named.
    QPushButton* addButton(const QString& text);
    void setDefaultButton(QPushButton* button);
    // The button that Esc and the title bar's close box stand for.
    void setEscapeButton(QPushButton* button);
    QPushButton* clickedButton() const { return m_clicked; }

    QLabel* textLabel() const { return m_text; }
    // The text as given: the label may hold break opportunities that show as nothing.
    QString text() const { return m_plainText; }

    // Lays the box out for its text; showing it does this too.
    void fitToText();
    // The widest line the box shows before it wraps, for a font.
    static int wrapWidth(const QFontMetrics& metrics, int screenWidth);
    // The text with invisible break opportunities wherever a word is wider than `width`.
    static QString breakLongWords(const QString& text, const QFontMetrics& metrics, int width);

    void setVisible(bool visible) override;

protected:
    void reject() override;

private:
    QLabel* m_icon = nullptr;
    QLabel* m_text = nullptr;
    QWidget* m_buttonRow = nullptr;
    QPushButton* m_escape = nullptr;
    QPushButton* m_clicked = nullptr;
    QString m_plainText;
    QString m_caption;
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
