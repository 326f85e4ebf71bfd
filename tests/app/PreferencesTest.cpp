#include "ProgramFixture.h"

#include "Unit1.h"
#include "Unit3.h"
#include "Unit6.h"
#include "Unit7.h"
#include "WindowGeometry.h"

#include <QButtonGroup>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

class PreferencesTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        startProgram("\r\ndesligado\r\n");
    }

    void openPreferences() { Form1->ui.Preferncias1->trigger(); }
};

TEST_F(PreferencesTest, AMissingFileIsReportedAndTheFirstChoiceCreatesIt) {
    EXPECT_EQ(Form6->size() + standardFrameSize(), QSize(303, 336));
    EXPECT_EQ(Form6->RadioGroup1Items->button(0)->text(), "Redimensionar Imagem");
    EXPECT_EQ(Form6->RadioGroup1Items->button(1)->text(), "Não Redimensionar Imagem");
    EXPECT_EQ(Form6->ItemIndex(), -1);
    openPreferences();
    EXPECT_EQ(dialogs.texts("error"), QStringList{"File not found: \"" + path("options.txt") + "\""});
    EXPECT_TRUE(Form6->isVisible());
    EXPECT_EQ(Form6->ItemIndex(), -1);
    EXPECT_EQ(readFile("options.txt"), "<missing>");

    Form6->ui.RadioButton2->click();
    EXPECT_EQ(readFile("options.txt"), "noresized\r\n");
    Form6->ui.RadioButton1->click();
    EXPECT_EQ(readFile("options.txt"), "resized\r\n");
    EXPECT_EQ(dialogs.texts("error").size(), 1);
}

TEST_F(PreferencesTest, TheStoredChoiceIsShownAndAnythingButResizedBecomesNoresized) {
    const std::tuple<QByteArray, int, QByteArray> cases[] = {
        {"resized\r\n", 0, "resized\r\n"},
        {"resized", 0, "resized\r\n"},
        {"resized\nnoresized\n", 0, "resized\r\n"},
        {"noresized\r\n", 1, "noresized\r\n"},
        {"Resized\r\n", 1, "noresized\r\n"},
        {"resized \r\n", 1, "noresized\r\n"},
        {"", 1, "noresized\r\n"},
        {"\r\nresized\r\n", 1, "noresized\r\n"},
    };
    for (const auto& [content, item, written] : cases) {
        SCOPED_TRACE(content.toStdString());
        windows.reset();
        writeFile("options.txt", content);
        startProgram();
        openPreferences();
        EXPECT_TRUE(dialogs.texts("error").isEmpty());
        EXPECT_EQ(Form6->ItemIndex(), item);
        EXPECT_EQ(readFile("options.txt"), written);
    }
}

TEST_F(PreferencesTest, AChoiceIsWrittenAtOnceAndShownAgainNextTime) {
    writeFile("options.txt", "resized\r\n");
    openPreferences();
    ASSERT_EQ(Form6->ItemIndex(), 0);
    Form6->ui.RadioButton2->click();
    EXPECT_EQ(readFile("options.txt"), "noresized\r\n");
    Form6->ui.BitBtn1->click();
    EXPECT_FALSE(Form6->isVisible());

    // Showing reads the file again, whatever the window showed last.
    writeFile("options.txt", "resized\r\n");
    openPreferences();
    EXPECT_EQ(Form6->ItemIndex(), 0);
    Form6->ui.BitBtn1->click();
    QFile::remove(path("options.txt"));
    openPreferences();
    EXPECT_EQ(Form6->ItemIndex(), 0) << "an unreadable file leaves the selection alone";
    EXPECT_EQ(dialogs.texts("error"), QStringList{"File not found: \"" + path("options.txt") + "\""});
}

TEST_F(PreferencesTest, AnUnwritableFolderReportsTheErrorAndKeepsTheOldContent) {
    writeFile("options.txt", "resized\r\n");
    openPreferences();
    ASSERT_EQ(Form6->ItemIndex(), 0);
    const QByteArray folderName = QFile::encodeName(folder.path());
    ASSERT_EQ(::chmod(folderName.constData(), 0555), 0);
    // Permission bits do not stop root, so root makes the choice as an ordinary user.
    const bool asRoot = ::geteuid() == 0;
    ASSERT_TRUE(!asRoot || ::seteuid(65534) == 0);
    Form6->ui.RadioButton2->click();
    ASSERT_TRUE(!asRoot || ::seteuid(0) == 0);
    ::chmod(folderName.constData(), 0700);

    EXPECT_EQ(dialogs.texts("error").size(), 1);
    EXPECT_EQ(Form6->ItemIndex(), 1);
    EXPECT_EQ(readFile("options.txt"), "resized\r\n");
}

TEST_F(PreferencesTest, OkPutsTheHostBackOnTop) {
    writeFile("options.txt", "noresized\r\n");
    openPreferences();
    ASSERT_FALSE(Form3->isTopmost());
    Form6->ui.BitBtn1->click();
    EXPECT_FALSE(Form6->isVisible());
    EXPECT_TRUE(Form3->isTopmost());
    EXPECT_EQ(readFile("options.txt"), "noresized\r\n");
}

TEST_F(PreferencesTest, AboutBox) {
    EXPECT_EQ(Form7->windowTitle(), "Sobre...");
    EXPECT_EQ(Form7->minimumSize(), Form7->maximumSize());
    EXPECT_FALSE(Form7->ui.Image1->pixmap().isNull());
    EXPECT_EQ(Form7->ui.ProductName->text(), "Pixmora");
    EXPECT_TRUE(Form7->ui.ProductName->font().bold());
    EXPECT_GT(Form7->ui.ProductName->font().pointSizeF(), 1.5 * Form7->ui.Version->font().pointSizeF());
    EXPECT_EQ(Form7->ui.Version->text(), "Beta 4");
    EXPECT_EQ(Form7->ui.GroupBox1->title(), "Avisos legais:");
    EXPECT_EQ(Form7->ui.Label1->text(), "");
    EXPECT_EQ(Form7->ui.Label2->text(), "A versão final deste programa é distribuída como freeware.");
    EXPECT_EQ(Form7->ui.Label3->text(),
              "É proibida a reprodução ou modificação não autorizada deste programa.");
    for (QWidget* label : {Form7->ui.Label1, Form7->ui.Label2, Form7->ui.Label3})
        EXPECT_EQ(label->parentWidget(), Form7->ui.GroupBox1);

    Form1->ui.Sobre2->trigger();
    EXPECT_TRUE(Form7->isVisible());
    EXPECT_FALSE(Form3->isTopmost());
    EXPECT_EQ(Form7->ui.Button1->text(), "OK");
    Form7->ui.Button1->click();
    EXPECT_FALSE(Form7->isVisible());
    EXPECT_TRUE(Form3->isTopmost());
}
