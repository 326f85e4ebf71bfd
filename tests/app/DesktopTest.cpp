#include "ProgramFixture.h"

#include "ProgramFolder.h"
#include "SingleInstance.h"
#include "TextFile.h"
#include "Unit1.h"
#include "Unit3.h"
#include "Unit6.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QWindow>

#include <future>
#include <sys/wait.h>
#include <unistd.h>

class DesktopTest : public ProgramTest {
protected:
    void TearDown() override {
        ProgramTest::TearDown();
        pixmora::setProgramFolderWritableForTesting(-1);
    }
};

TEST_F(DesktopTest, CaptionsShowFileNamesExactlyAsTheyAre) {
    startProgram("\r\ndesligado\r\n");
    Form3->show();
    for (const QString& name : {QString("/fotos/praia [*].jpg"), QString("/a/[*][*] b.bmp"),
                                QString("/x[*]y[*]z.png"), QString("/sem marca.jpg")}) {
        Form3->setCaption(name);
        EXPECT_EQ(Form3->caption(), name);
        EXPECT_EQ(Form3->windowHandle()->title(), name);
    }
}

TEST_F(DesktopTest, AFileNamedAtStartOpensAsFromTheDialogAndABadOneGetsTheSameError) {
    writeFile("config.txt", "\r\ndesligado\r\n");
    const QString picture = path("praia.png");
    ASSERT_TRUE(testImage(30, 20).save(picture));
    windows = std::make_unique<ProgramWindows>();
    windows->start(picture);
    EXPECT_EQ(Form3->caption(), picture);
    EXPECT_EQ(Form1->statusText(), picture + " Tamanho: 30 x 20");
    EXPECT_TRUE(Form1->ui.SpeedButton4->isEnabled());
    EXPECT_EQ(pixmora::readTextLines(path("config.txt")), (QStringList{picture, "rodando"}));
    windows.reset();

    // A relative name is taken from the current folder, as the dialog would give it: whole.
    const QString before = QDir::currentPath();
    QDir::setCurrent(folder.path());
    writeFile("config.txt", "\r\ndesligado\r\n");
    writeFile("quebrada.jpg", "not a picture");
    windows = std::make_unique<ProgramWindows>();
    windows->start("quebrada.jpg");
    QDir::setCurrent(before);
    EXPECT_EQ(dialogs.texts("error").size(), 1);
    EXPECT_TRUE(Form1->isVisible());
    EXPECT_EQ(Form3->caption(), "Abrindo imagem...");
    EXPECT_FALSE(Form1->ui.SpeedButton2->isEnabled());
    EXPECT_EQ(readFile("config.txt"), "\r\ndesligado\r\n");
}

TEST_F(DesktopTest, StandardShortcutsOnTheEntriesThatExistInBothWindows) {
    startProgram("\r\ndesligado\r\n");
    EXPECT_EQ(Form1->ui.Abrir1->shortcut(), QKeySequence(QKeySequence::Open));
    EXPECT_EQ(Form1->ui.Copiar2->shortcut(), QKeySequence(QKeySequence::Copy));
    EXPECT_EQ(Form1->ui.Sair2->shortcut(), QKeySequence(QKeySequence::Quit));
    EXPECT_EQ(Form1->ui.Abrir1->text(), "A&brir");
    const auto action = [](const char* name) { return Form1->findChild<QAction*>(name); };
    ASSERT_NE(action("SaveShortcut"), nullptr);
    EXPECT_EQ(action("SaveShortcut")->shortcut(), QKeySequence(QKeySequence::Save));
    EXPECT_EQ(action("SaveAsShortcut")->shortcut(), QKeySequence(QKeySequence::SaveAs));
    EXPECT_TRUE(action("FullScreenShortcut")->shortcuts().contains(QKeySequence(Qt::Key_F11)));
    for (QAction* shared :
         {Form1->ui.Abrir1, Form1->ui.Copiar2, action("SaveShortcut"), action("FullScreenShortcut")})
        EXPECT_TRUE(Form3->actions().contains(shared)) << shared->objectName().toStdString();

    // Like the buttons they stand for: nothing while disabled, the command once enabled.
    action("SaveAsShortcut")->trigger();
    EXPECT_TRUE(dialogs.shown.empty());
    const QString picture = path("praia.png");
    ASSERT_TRUE(testImage().save(picture));
    openPicture(picture);
    dialogs.shown.clear();
    action("SaveAsShortcut")->trigger();
    EXPECT_EQ(dialogs.texts("file"), QStringList{"SavePictureDialog1"});
}

TEST_F(DesktopTest, OwnFilesLiveInTheUsersFoldersWhenTheProgramFolderCannotBeWritten) {
    QTemporaryDir user;
    ASSERT_TRUE(user.isValid());
    qputenv("XDG_CONFIG_HOME", user.filePath("config").toUtf8());
    qputenv("XDG_CACHE_HOME", user.filePath("cache").toUtf8());
    writeFile("config.txt", "\r\ndesligado\r\n");
    pixmora::setProgramFolderWritableForTesting(0);
    const QString settings = user.filePath("config/Pixmora/");
    EXPECT_EQ(pixmora::settingsFolder(), settings);
    EXPECT_EQ(pixmora::downloadFolder(), user.filePath("cache/Pixmora/"));

    // The first start begins from the installed copy, as after a normal exit: no error, no question.
    startProgram();
    EXPECT_TRUE(dialogs.shown.empty());
    const QString picture = path("praia.png");
    ASSERT_TRUE(testImage().save(picture));
    openPicture(picture);
    EXPECT_EQ(pixmora::readTextLines(settings + "config.txt"), (QStringList{picture, "rodando"}));
    Form1->ui.Preferncias1->trigger();
    Form6->ui.RadioButton2->click();
    EXPECT_EQ(pixmora::readTextLines(settings + "options.txt"), QStringList{"noresized"});
    Form1->close();
    EXPECT_EQ(pixmora::readTextLines(settings + "config.txt"), (QStringList{QString(), "desligado"}));
    // The program folder is left as installed.
    EXPECT_EQ(readFile("config.txt"), "\r\ndesligado\r\n");
    EXPECT_EQ(readFile("options.txt"), "<missing>");

    // A portable folder that can be written keeps everything together, update.txt in the current folder.
    pixmora::setProgramFolderWritableForTesting(1);
    EXPECT_EQ(pixmora::settingsFolder(), pixmora::programFolder());
    EXPECT_EQ(pixmora::downloadFolder(), QString());
    qunsetenv("XDG_CONFIG_HOME");
    qunsetenv("XDG_CACHE_HOME");
}

TEST(SingleInstanceTest, ALaterStartHandsItsFileToTheRunningOneAndAStaleLockIsTakenOver) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString place = folder.path() + "/";
    auto running = std::make_unique<SingleInstance>(place);
    ASSERT_TRUE(running->claim());
    QStringList received;
    QObject::connect(running.get(), &SingleInstance::fileHandedOver,
                     [&](const QString& file) { received.append(file); });

    SingleInstance later(place);
    EXPECT_FALSE(later.claim());
    // The later start waits for the answer while the running one answers from its event loop.
    for (const QString& file : {QString("/fotos/praia [*] com\nquebra.jpg"), QString()}) {
        auto handed = std::async(std::launch::async, [&] { return later.handOver(file, 5000); });
        while (handed.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
            QApplication::processEvents();
        EXPECT_TRUE(handed.get());
    }
    EXPECT_EQ(received, (QStringList{"/fotos/praia [*] com\nquebra.jpg", QString()}));

    // Once the running one has ended, nobody answers and the next start runs.
    running.reset();
    EXPECT_FALSE(later.handOver("x.jpg", 300));
    SingleInstance next(place);
    EXPECT_TRUE(next.claim());
}

TEST(SingleInstanceTest, ALockLeftByACrashIsNoRunningProgram) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString place = folder.path() + "/";
    const pid_t child = ::fork();
    if (child == 0) {
        // Takes the lock and dies without giving it back.
        QLockFile lock(place + ".pixmora.lock");
        ::_exit(lock.tryLock(0) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    ASSERT_TRUE(QFile::exists(place + ".pixmora.lock"));
    SingleInstance restarted(place);
    EXPECT_TRUE(restarted.claim());
}
