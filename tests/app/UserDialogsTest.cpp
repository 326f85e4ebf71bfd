#include "UserDialogs.h"
#include "Errors.h"
#include "ProgramFixture.h"

#include <QApplication>
#include <QFileDialog>
#include <QMenu>
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
