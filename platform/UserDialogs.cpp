#include "UserDialogs.h"

#include "Errors.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <algorithm>
#include <new>

namespace pixmora {

namespace {

UserDialogs g_realDialogs;
UserDialogs* g_dialogs = &g_realDialogs;

// Shows nothing and lets a line break where it stands.
constexpr QChar BreakOpportunity(0x200B);

// Where a path reads well broken: after a folder's separator, or inside a name at its word joints.
bool isPathSeparator(QChar c) {
    return c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char('_') || c == QLatin1Char('-');
}

// Where a break may not go: inside a surrogate pair or before a combining mark.
bool joinsPrevious(QChar c) {
    return c.isLowSurrogate() || c.category() == QChar::Mark_NonSpacing ||
           c.category() == QChar::Mark_SpacingCombining || c.category() == QChar::Mark_Enclosing;
}

} // namespace

MessageBox::MessageBox(QWidget* parent, Icon icon, const QString& caption, const QString& text)
    : QMessageBox(icon, caption, QString(), NoButton, parent), m_plainText(text) {
    // A file name may hold anything, markup included: it shows as written.
    setTextFormat(Qt::PlainText);
    setText(text);
}

QLabel* MessageBox::textLabel() const {
    return findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
}

int MessageBox::wrapLimit(int screenWidth) {
    // QMessageBox's own: half the screen, at most 500 pixels.
    return std::min(screenWidth / 2, 500);
}

QString MessageBox::breakLongWords(const QString& text, const QFontMetrics& metrics, int width) {
    QString result;
    result.reserve(text.size() + 16);
    QString word;
    const auto flushWord = [&] {
        if (metrics.horizontalAdvance(word) <= width) {
            result += word;
        } else {
            // A path breaks after its separators; a piece still too wide breaks where it reaches the edge.
            QString piece;
            for (const QChar c : word) {
                if (!piece.isEmpty() && !joinsPrevious(c) && metrics.horizontalAdvance(piece + c) > width) {
                    result += BreakOpportunity;
                    piece.clear();
                }
                result += c;
                piece += c;
                if (isPathSeparator(c)) {
                    result += BreakOpportunity;
                    piece.clear();
                }
            }
        }
        word.clear();
    };
    for (const QChar c : text) {
        if (c.isSpace()) {
            flushWord();
            result += c;
        } else {
            word += c;
        }
    }
    flushWord();
    return result;
}

void MessageBox::prepareForSizing() {
    ensurePolished();
    QLabel* label = textLabel();
    label->ensurePolished();
    const QFontMetrics metrics = label->fontMetrics();
    const QScreen* screen = this->screen();
    const int screenWidth = screen ? screen->availableGeometry().width() : 1024;
    // The room the text gets once the box wraps it: the box's width less the icon, the indent before
    // the text (at most 15 pixels) and the margins.
    const QMargins margins = layout()->contentsMargins();
    int besideText =
        margins.left() + margins.right() + 15 + 2 * style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing);
    if (icon() != NoIcon)
        besideText += style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    const int room = std::max(wrapLimit(screenWidth) - besideText, metrics.averageCharWidth() * 10);
    setText(breakLongWords(m_plainText, metrics, room));

    // An explicit minimum width on the label would stand in for the width its text needs, and the box
    // would be sized to it: the extra width for the caption goes on the button row instead. The window
    // manager writes the caption in a bold title font between an icon and three buttons.
    if (auto* buttons = findChild<QDialogButtonBox*>()) {
        QFont titleFont = font();
        titleFont.setBold(true);
        const QFontMetrics title(titleFont);
        const int captionWidth = title.horizontalAdvance(windowTitle()) + 6 * title.height();
        buttons->setMinimumWidth(std::max(0, captionWidth - margins.left() - margins.right()));
    }
}

void MessageBox::showEvent(QShowEvent* event) {
    // QMessageBox sizes itself here, from its layout's minimum width.
    prepareForSizing();
    QMessageBox::showEvent(event);
}

void UserDialogs::prepareBox(QMessageBox&) {}

void UserDialogs::runBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                         const QString& text) {
    MessageBox box(parent, icon, caption, text);
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    prepareBox(box);
    box.exec();
}

void UserDialogs::showMessage(QWidget* parent, const QString& text) {
    runBox(parent, QMessageBox::NoIcon, applicationTitle(), text);
}

bool UserDialogs::confirm(QWidget* parent, const QString& text) {
    MessageBox box(parent, QMessageBox::Question, QStringLiteral("Confirm"), text);
    QPushButton* yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    prepareBox(box);
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
