#include "UserDialogs.h"
#include "Errors.h"
#include "ProgramFixture.h"

#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <new>

using pixmora::errorReportText;

TEST(ErrorReport, FullStopOnlyAfterCharactersAboveIt) {
    EXPECT_EQ(errorReportText("File not found"), "File not found.");
    EXPECT_EQ(errorReportText("I/O error 1005"), "I/O error 1005.");
    EXPECT_EQ(errorReportText("Falhou:"), "Falhou:.");
    EXPECT_EQ(errorReportText("Pasta /tmp/"), "Pasta /tmp/.");
    EXPECT_EQ(errorReportText("Imagem salva!"), "Imagem salva!");
    EXPECT_EQ(errorReportText("Pronto."), "Pronto.");
    EXPECT_EQ(errorReportText("File not found: \"a.jpg\""), "File not found: \"a.jpg\"");
    EXPECT_EQ(errorReportText("Acentuação"), "Acentuação.");
    EXPECT_EQ(errorReportText(""), "");
}

TEST(ErrorReport, GuardedHandlersReportOnceAndGoOn) {
    RecordingDialogs dialogs;
    pixmora::setUserDialogs(&dialogs);
    bool after = false;
    pixmora::guarded([] { throw pixmora::InOutError(2); });
    pixmora::guarded([] { throw std::bad_alloc(); });
    pixmora::guarded([] { throw std::runtime_error("Disco cheio!"); });
    pixmora::guarded([&] { after = true; });
    pixmora::setUserDialogs(nullptr);
    EXPECT_TRUE(after);
    EXPECT_EQ(dialogs.texts("error"), (QStringList{"File not found.", "Out of memory.", "Disco cheio!"}));
}

TEST(FileDialogs, NoPopupOutlivesTheDialog) {
    // The real runner: a completion list still open when the dialog is accepted must not stay behind.
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    QTimer::singleShot(0, &dialog, [&dialog] {
        auto* list = new QMenu(&dialog);
        list->addAction(QStringLiteral("logo.jpg"));
        list->popup(dialog.mapToGlobal(QPoint(10, 10)));
        QTimer::singleShot(0, &dialog, [&dialog] { static_cast<QDialog&>(dialog).done(QDialog::Accepted); });
    });
    pixmora::UserDialogs real;
    EXPECT_TRUE(real.runFileDialog(dialog));
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

namespace {

// Answers the box that the next call opens: `key` pressed on it, after noting what it shows.
struct BoxSeen {
    QString caption, text;
    QStringList buttons;
    QString defaultButton;
    bool hasIcon = false;
};

void pressOnNextBox(Qt::Key key, BoxSeen& seen) {
    QTimer::singleShot(0, [key, &seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen.caption = box->windowTitle();
        seen.text = box->text().remove(QChar(0x200B));
        for (QAbstractButton* button : box->buttons())
            seen.buttons.append(button->text());
        seen.defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
        seen.hasIcon = box->icon() != QMessageBox::NoIcon;
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(box, &press);
    });
}

} // namespace

TEST(RealBoxes, CaptionsButtonsAndTheAnswersOfEnterAndEsc) {
    pixmora::UserDialogs real;
    BoxSeen yes, no, message, error;
    pressOnNextBox(Qt::Key_Return, yes);
    EXPECT_TRUE(real.confirm(nullptr, QStringLiteral("Recuperar ultima imagem?")));
    EXPECT_EQ(yes.caption, "Confirm");
    EXPECT_EQ(yes.text, "Recuperar ultima imagem?");
    EXPECT_EQ(yes.buttons.size(), 2);
    EXPECT_TRUE(yes.buttons.contains("&Yes") && yes.buttons.contains("&No"));
    EXPECT_EQ(yes.defaultButton, "&Yes");
    EXPECT_TRUE(yes.hasIcon);
    pressOnNextBox(Qt::Key_Escape, no);
    EXPECT_FALSE(real.confirm(nullptr, QStringLiteral("Recuperar ultima imagem?")));
    // Esc closes a box of one button as that button.
    pressOnNextBox(Qt::Key_Escape, message);
    real.showMessage(nullptr, QStringLiteral("Imagem salva com sucesso!"));
    EXPECT_EQ(message.caption, pixmora::applicationTitle());
    EXPECT_EQ(message.buttons, QStringList{"OK"});
    EXPECT_FALSE(message.hasIcon);
    pressOnNextBox(Qt::Key_Return, error);
    real.showError(nullptr, QStringLiteral("File not found: \"/tmp/<b>a</b>.jpg\""));
    EXPECT_EQ(error.text, "File not found: \"/tmp/<b>a</b>.jpg\"");
    EXPECT_TRUE(error.hasIcon);
}
