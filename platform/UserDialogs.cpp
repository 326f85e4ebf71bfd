#include "UserDialogs.h"

#include "Errors.h"

#include <QApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
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

QStyle::StandardPixmap pixmapFor(TextBox::Icon icon) {
    switch (icon) {
    case TextBox::Icon::Question:
        return QStyle::SP_MessageBoxQuestion;
    case TextBox::Icon::Information:
        return QStyle::SP_MessageBoxInformation;
    case TextBox::Icon::Error:
        return QStyle::SP_MessageBoxCritical;
    case TextBox::Icon::None:
        break;
    }
    return QStyle::SP_CustomBase;
}

} // namespace

TextBox::TextBox(QWidget* parent, Icon icon, const QString& caption, const QString& text)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), m_plainText(text), m_caption(caption) {
    setWindowTitle(caption);
    setModal(true);

    auto* grid = new QGridLayout(this);
    grid->setSizeConstraint(QLayout::SetFixedSize);
    grid->setHorizontalSpacing(2 * style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing));

    if (icon != Icon::None) {
        m_icon = new QLabel(this);
        m_icon->setObjectName(QStringLiteral("BoxIcon"));
        const int side = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
        // Drawn for the screen's pixel density, so that it stays sharp at any scale.
        m_icon->setPixmap(style()
                              ->standardIcon(pixmapFor(icon), nullptr, this)
                              .pixmap(QSize(side, side), devicePixelRatio()));
        m_icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
        grid->addWidget(m_icon, 0, 0, Qt::AlignTop);
    }

    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("BoxText"));
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(true);
    m_text->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_text->setText(text);
    grid->addWidget(m_text, 0, 1);

    m_buttonRow = new QWidget(this);
    auto* row = new QHBoxLayout(m_buttonRow);
    row->setContentsMargins(0, 0, 0, 0);
    // Buttons go between the stretches: at the right, or in the middle where the style centres them.
    row->addStretch();
    if (style()->styleHint(QStyle::SH_MessageBox_CenterButtons, nullptr, this))
        row->addStretch();
    grid->addWidget(m_buttonRow, 1, 0, 1, 2);
}

QPushButton* TextBox::addButton(const QString& text) {
    auto* button = new QPushButton(text, m_buttonRow);
    auto* row = static_cast<QHBoxLayout*>(m_buttonRow->layout());
    const bool centred = style()->styleHint(QStyle::SH_MessageBox_CenterButtons, nullptr, this);
    row->insertWidget(row->count() - (centred ? 1 : 0), button);
    if (m_buttonRow->findChildren<QPushButton*>().size() == 1)
        setDefaultButton(button);
    connect(button, &QPushButton::clicked, this, [this, button] {
        m_clicked = button;
        done(button == m_escape ? QDialog::Rejected : QDialog::Accepted);
    });
    return button;
}

void TextBox::setDefaultButton(QPushButton* button) {
    for (QPushButton* other : m_buttonRow->findChildren<QPushButton*>())
        other->setDefault(other == button);
    button->setFocus();
}

void TextBox::setEscapeButton(QPushButton* button) {
    m_escape = button;
}

void TextBox::reject() {
    // Esc or the close box: the escape button's answer, or the only button's.
    const QList<QPushButton*> buttons = m_buttonRow->findChildren<QPushButton*>();
    m_clicked = m_escape ? m_escape : (buttons.size() == 1 ? buttons.front() : nullptr);
    QDialog::reject();
}

int TextBox::wrapWidth(const QFontMetrics& metrics, int screenWidth) {
    // About sixty characters: a line the eye follows without losing its place.
    const int comfortable =
        std::max(metrics.averageCharWidth() * 60, metrics.horizontalAdvance(QLatin1Char('x')) * 40);
    return std::max(std::min(comfortable, screenWidth * 2 / 3), metrics.averageCharWidth() * 10);
}

QString TextBox::breakLongWords(const QString& text, const QFontMetrics& metrics, int width) {
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

void TextBox::fitToText() {
    ensurePolished();
    m_text->ensurePolished();
    const QFontMetrics metrics = m_text->fontMetrics();
    const QScreen* screen = parentWidget() ? parentWidget()->screen() : this->screen();
    const int screenWidth = screen ? screen->availableGeometry().width() : 1024;
    const int iconWidth = m_icon ? m_icon->sizeHint().width() + layout()->spacing() * 2 : 0;
    const int wrapAt = wrapWidth(metrics, screenWidth - iconWidth - 64);

    int natural = 0;
    for (const QString& line : m_plainText.split(QLatin1Char('\n')))
        natural = std::max(natural, metrics.horizontalAdvance(line));
    m_text->setText(breakLongWords(m_plainText, metrics, wrapAt));
    // A pixel to spare: the label may round a line's width up where the metrics round it down.
    m_text->setFixedWidth(std::min(natural, wrapAt) + 2);

    // The window manager writes the caption in a bold title font between an icon and three buttons.
    QFont titleFont = font();
    titleFont.setBold(true);
    const QFontMetrics title(titleFont);
    const QMargins margins = layout()->contentsMargins();
    const int captionWidth = title.horizontalAdvance(m_caption) + 6 * title.height();
    m_buttonRow->setMinimumWidth(std::max(0, captionWidth - margins.left() - margins.right()));
    layout()->activate();
}

void TextBox::setVisible(bool visible) {
    if (visible)
        fitToText();
    QDialog::setVisible(visible);
}

namespace {

void runBox(QWidget* parent, TextBox::Icon icon, const QString& caption, const QString& text) {
    TextBox box(parent, icon, caption, text);
    box.addButton(QStringLiteral("OK"));
    box.exec();
}

} // namespace

void UserDialogs::showMessage(QWidget* parent, const QString& text) {
    runBox(parent, TextBox::Icon::None, applicationTitle(), text);
}

bool UserDialogs::confirm(QWidget* parent, const QString& text) {
    TextBox box(parent, TextBox::Icon::Question, QStringLiteral("Confirm"), text);
    QPushButton* yes = box.addButton(QStringLiteral("&Yes"));
    QPushButton* no = box.addButton(QStringLiteral("&No"));
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

void UserDialogs::showInformation(QWidget* parent, const QString& text) {
    runBox(parent, TextBox::Icon::Information, QStringLiteral("Information"), text);
}

void UserDialogs::showError(QWidget* parent, const QString& text) {
    runBox(parent, TextBox::Icon::Error, applicationTitle(), text);
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
