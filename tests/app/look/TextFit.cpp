#include "TextFit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QToolButton>

#include <climits>

namespace {

QString describe(const QWidget* widget, const QString& text, QSize needed, QSize room) {
    return QStringLiteral("%1 \"%2\" (%3) in \"%4\": needs %5 x %6, has %7 x %8")
        .arg(QString::fromLatin1(widget->metaObject()->className()), widget->objectName(), text,
             widget->window()->windowTitle())
        .arg(needed.width())
        .arg(needed.height())
        .arg(room.width())
        .arg(room.height());
}

bool fits(QSize needed, QSize room) {
    return needed.width() <= room.width() && needed.height() <= room.height();
}

// The text as drawn: the "&" of an access key shows as an underline, not as a character.
QString shownText(const QString& text) {
    QString result;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('&') && i + 1 < text.size())
            ++i;
        result += text.at(i);
    }
    return result;
}

QSize textSize(const QFontMetrics& metrics, const QString& text) {
    return QSize(metrics.horizontalAdvance(text), metrics.height());
}

void checkLabel(const QLabel* label, QStringList& problems) {
    if (label->text().isEmpty() || !label->pixmap().isNull())
        return;
    const QRect room =
        label->contentsRect().adjusted(label->margin(), label->margin(), -label->margin(), -label->margin());
    const QFontMetrics metrics = label->fontMetrics();
    QSize needed;
    if (label->wordWrap()) {
        const QRect wrapped = metrics.boundingRect(QRect(0, 0, room.width(), INT_MAX),
                                                   Qt::TextWordWrap | Qt::TextShowMnemonic, label->text());
        // A word longer than the line pokes out of the wrapped rectangle.
        needed = wrapped.size();
    } else {
        QSize size(0, 0);
        for (const QString& line : label->text().split(QLatin1Char('\n'))) {
            size.setWidth(std::max(size.width(), metrics.horizontalAdvance(shownText(line))));
            size.rheight() += metrics.height();
        }
        needed = size;
    }
    if (!fits(needed, room.size()))
        problems.append(describe(label, label->text(), needed, room.size()));
}

void checkButton(QAbstractButton* button, QStringList& problems) {
    if (button->text().isEmpty())
        return;
    const QString text = shownText(button->text());
    const QFontMetrics metrics = button->fontMetrics();
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    QRect room;
    if (qobject_cast<QCheckBox*>(button)) {
        room = button->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, button);
    } else if (qobject_cast<QRadioButton*>(button)) {
        room = button->style()->subElementRect(QStyle::SE_RadioButtonContents, &option, button);
    } else if (auto* tool = qobject_cast<QToolButton*>(button)) {
        // The style's own size for the icon beside the caption, with its margins.
        const QSize needed = tool->sizeHint();
        if (!fits(needed, tool->size()))
            problems.append(describe(tool, text, needed, tool->size()));
        return;
    } else {
        room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        if (!button->icon().isNull())
            room.setWidth(room.width() - button->iconSize().width() - 4);
    }
    const QSize needed = textSize(metrics, text);
    if (!fits(needed, room.size()))
        problems.append(describe(button, text, needed, room.size()));
}

void checkGroupBox(const QGroupBox* box, QStringList& problems) {
    if (box->title().isEmpty())
        return;
    QStyleOptionGroupBox option;
    option.initFrom(box);
    option.text = box->title();
    option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
    option.textAlignment = box->alignment();
    const QRect label =
        box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
    const QSize needed(label.left() + box->fontMetrics().horizontalAdvance(shownText(box->title())),
                       box->fontMetrics().height());
    if (label.right() >= box->width() || needed.width() > box->width())
        problems.append(describe(box, box->title(), needed, box->size()));
}

void checkLineEdit(QLineEdit* edit, QStringList& problems) {
    if (edit->text().isEmpty() || !edit->isReadOnly())
        return;
    // A read-only line that reports something must show all of it; the text margins and frame take room.
    const QSize needed = textSize(edit->fontMetrics(), edit->text()) + QSize(8, 0);
    const QSize room = edit->contentsRect().size();
    if (!fits(needed, room))
        problems.append(describe(edit, edit->text(), needed, room));
}

} // namespace

int captionWidth(const QWidget* window) {
    QFont font = window->font();
    font.setBold(true);
    const QFontMetrics metrics(font);
    return metrics.horizontalAdvance(window->windowTitle()) + 4 * metrics.height();
}

QStringList textsThatDoNotFit(QWidget* window) {
    QStringList problems;
    if (!window->windowTitle().isEmpty() && !window->windowFlags().testFlag(Qt::FramelessWindowHint) &&
        captionWidth(window) > window->frameGeometry().width())
        problems.append(QStringLiteral("caption \"%1\": needs %2, window is %3 wide")
                            .arg(window->windowTitle())
                            .arg(captionWidth(window))
                            .arg(window->frameGeometry().width()));
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(window) || widget->window() != window)
            continue;
        if (auto* label = qobject_cast<QLabel*>(widget))
            checkLabel(label, problems);
        else if (auto* button = qobject_cast<QAbstractButton*>(widget))
            checkButton(button, problems);
        else if (auto* box = qobject_cast<QGroupBox*>(widget))
            checkGroupBox(box, problems);
        else if (auto* edit = qobject_cast<QLineEdit*>(widget))
            checkLineEdit(edit, problems);
    }
    return problems;
}
