#include "ProgramFixture.h"
#include "XSession.h"

#include "ProgramDialogs.h"
#include "TextFile.h"
#include "Unit1.h"
#include "Unit10.h"
#include "Unit11.h"
#include "Unit12.h"
#include "Unit13.h"
#include "Unit14.h"
#include "Unit15.h"
#include "Unit16.h"
#include "Unit17.h"
#include "Unit18.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "Unit6.h"
#include "Unit7.h"
#include "Unit8.h"
#include "Unit9.h"
#include "WindowGeometry.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <unistd.h>

extern XSession* g_xSession;

#define REQUIRE_X_SESSION()                                                                                  \
    if (!g_xSession->running())                                                                              \
    GTEST_SKIP() << "no X server with a window manager: " << g_xSession->whyNot().toStdString()

namespace {

QString run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(5000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

QList<quint64> windowIds(const QString& property) {
    QList<quint64> ids;
    const QString out = run(QStringLiteral("xprop"), {QStringLiteral("-root"), property});
    const QRegularExpression id(QStringLiteral("0x[0-9a-fA-F]+"));
    for (auto match = id.globalMatch(out); match.hasNext();)
        ids.append(match.next().captured().toULongLong(nullptr, 16));
    return ids;
}

// The titles of the windows the window manager manages.
QStringList windowTitles() {
    QStringList titles;
    for (const quint64 id : windowIds(QStringLiteral("_NET_CLIENT_LIST"))) {
        const QString out = run(QStringLiteral("xprop"),
                                {QStringLiteral("-id"), QString::number(id), QStringLiteral("_NET_WM_NAME")});
        const qsizetype start = out.indexOf(QLatin1Char('"'));
        if (start >= 0)
            titles.append(out.mid(start + 1, out.lastIndexOf(QLatin1Char('"')) - start - 1));
    }
    return titles;
}

// Where the window stands in the window manager's stack, bottom first.
qsizetype stackPlace(const QWidget* window) {
    return windowIds(QStringLiteral("_NET_CLIENT_LIST_STACKING")).indexOf(window->winId());
}

// The window manager works asynchronously: wait until it has done what the test expects.
template <typename Condition> bool eventually(Condition condition, int ms = 5000) {
    return QTest::qWaitFor(condition, ms);
}

bool framed(const QWidget* window) {
    return window->isVisible() && hasKnownFrame(window);
}

QRect frameOf(const QWidget* window) {
    return QRect(frameTopLeft(window), outerSize(window));
}

} // namespace

class XWindowsTest : public ProgramTest {
protected:
    void SetUp() override {
        REQUIRE_X_SESSION();
        ProgramTest::SetUp();
        startProgram("\r\ndesligado\r\n");
        ASSERT_TRUE(eventually([] { return framed(Form1) && Form1->isMaximized(); }));
    }

    void showAndSettle(QWidget* window) {
        ASSERT_TRUE(eventually([window] { return framed(window); }, 15000))
            << window->windowTitle().toStdString() << " "
            << run("xprop", {"-id", QString::number(window->winId()), "_NET_FRAME_EXTENTS", "WM_STATE"})
                   .toStdString();
        // The size and place are put right once the frame is known: wait until that is done.
        EXPECT_TRUE(eventually([window] { return !hasPendingPlacement(window); }, 15000))
            << window->windowTitle().toStdString();
        QTest::qWait(100);
    }
};

TEST_F(XWindowsTest, WindowsHaveTheirDesignedOuterSizesUnderARealFrame) {
    Form1->showNormal();
    EXPECT_TRUE(eventually([] { return frameOf(Form1).size() == QSize(545, 375); }))
        << frameOf(Form1).width() << " x " << frameOf(Form1).height();
    EXPECT_TRUE(eventually([] { return frameOf(Form1).topLeft() == QPoint(120, 91); }))
        << frameOf(Form1).x() << "," << frameOf(Form1).y();

    Form1->ui.Manual1->trigger();
    showAndSettle(Form3);
    EXPECT_EQ(frameOf(Form3).size(), QSize(800, 485));

    const QRect desktop = QGuiApplication::primaryScreen()->availableGeometry();
    struct Expected {
        QAction* command;
        QWidget* window;
        QSize size;
        bool outer; // the outer size is designed, else the client area's
        bool centred;
    };
    const Expected windows[] = {
        {Form1->ui.Preferncias1, Form6, {303, 336}, true, true},
        {Form1->ui.Color1, Form2, {556, 238}, true, true},
        {Form1->ui.Saturao1, Form4, {531, 157}, true, true},
        {Form1->ui.Splitlight1, Form9, {447, 122}, true, true},
        {Form1->ui.LightnessDarkness1, Form8, {554, 211}, false, true},
        {Form1->ui.ColorMonoNoise1, Form10, {575, 190}, false, true},
        {Form1->ui.PosterizeSolarize1, Form11, {564, 170}, false, true},
        {Form1->ui.Mosaico1, Form12, {388, 149}, false, true},
        {Form1->ui.SplitBlur1, Form13, {419, 145}, false, true},
        {Form1->ui.GaussianBlur1, Form14, {420, 135}, false, true},
        {Form1->ui.Antialias1, Form15, {414, 135}, false, true},
        {Form1->ui.race1, Form16, {412, 143}, false, true},
        {Form1->ui.ile1, Form17, {400, 142}, false, true},
        {nullptr, Form18, {367, 180}, false, false},
        {Form1->ui.Sobre2, Form7, Form7->size(), false, true},
    };
    for (const Expected& e : windows) {
        SCOPED_TRACE(e.window->windowTitle().toStdString());
        if (e.command)
            e.command->trigger();
        else
            Form1->ui.SpeedButton5->click();
        showAndSettle(e.window);
        const QRect frame = frameOf(e.window);
        EXPECT_EQ(e.outer ? frame.size() : e.window->size(), e.size);
        // The whole window on the screen, centred where it is designed so, not where a race put it.
        EXPECT_TRUE(desktop.contains(frame)) << frame.x() << "," << frame.y();
        if (e.centred) {
            EXPECT_TRUE(eventually([&] {
                return (frameOf(e.window).center() - desktop.center()).manhattanLength() <= 2;
            })) << frame.x()
                << "," << frame.y();
        }
        e.window->hide();
    }
}

TEST_F(XWindowsTest, ABoxBelongsToTheWindowThatRaisedItAndGivesItTheFrontBack) {
    ProgramDialogs realBoxes;
    pixmora::setUserDialogs(&realBoxes);
    Form1->ui.Manual1->trigger();
    showAndSettle(Form3);
    Form1->ui.SpeedButton5->click();
    showAndSettle(Form18);

    struct Seen {
        QWindow* owner = nullptr;
        bool aboveHost = false;
    };
    const auto answerBox = [](Seen& seen) {
        QTimer::singleShot(0, [&seen] {
            ASSERT_TRUE(eventually([] { return QApplication::activeModalWidget() != nullptr; }));
            QWidget* box = QApplication::activeModalWidget();
            ASSERT_TRUE(eventually([box] { return framed(box); }));
            QTest::qWait(200);
            seen.owner = box->windowHandle()->transientParent();
            seen.aboveHost = stackPlace(box) > stackPlace(Form3);
            box->findChild<QPushButton*>()->click();
        });
    };

    // After "OK" on the update window's result, the update window is in front again, with the focus.
    Seen update;
    answerBox(update);
    realBoxes.showMessage(Form18->ui.BitBtn1, QStringLiteral("Verificação concluida! Pressione OK"));
    EXPECT_EQ(update.owner, Form18->windowHandle());
    EXPECT_TRUE(update.aboveHost);
    EXPECT_TRUE(eventually([] { return QApplication::activeWindow() == Form18; }));
    EXPECT_TRUE(eventually([] { return stackPlace(Form18) > stackPlace(Form3); }));

    // With the picture window on its top layer, a box of the main window still comes above it, and the
    // picture window is back on its layer afterwards.
    Form18->hide();
    Form3->botanotopo();
    Seen saved;
    answerBox(saved);
    realBoxes.showMessage(Form1, QStringLiteral("Imagem salva com sucesso!"));
    EXPECT_EQ(saved.owner, Form1->windowHandle());
    EXPECT_TRUE(saved.aboveHost);
    EXPECT_TRUE(Form3->isTopmost());
    EXPECT_TRUE(eventually([] { return stackPlace(Form3) > stackPlace(Form1); }));
    pixmora::setUserDialogs(&dialogs);
}

// The real program, started as a file manager or a person starts it.
class XProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_X_SESSION();
        ASSERT_TRUE(work.isValid());
        // Another user may have to reach into it.
        QFile::setPermissions(work.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                               QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup |
                                               QFile::ExeGroup);
        program = work.filePath("programa");
        ASSERT_TRUE(QDir().mkpath(program));
        const QString built = QFileInfo(QStringLiteral(PIXMORA_PROGRAM)).absolutePath();
        for (const char* name : {"pixmora", "px.jpg", "versao.txt"})
            ASSERT_TRUE(QFile::copy(built + "/" + name, program + "/" + name)) << name;
        pixmora::writeTextFile(program + "/config.txt", {QString(), QStringLiteral("desligado")});
    }

    void TearDown() override {
        for (QProcess* process : started) {
            process->kill();
            process->waitForFinished(5000);
            delete process;
        }
    }

    QProcess* start(const QStringList& arguments, const QStringList& wrapper = {},
                    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
        auto* process = new QProcess;
        process->setProcessEnvironment(environment);
        process->setWorkingDirectory(work.path());
        const QStringList command = wrapper + QStringList{program + "/pixmora"} + arguments;
        process->start(command.front(), command.mid(1));
        started.append(process);
        return process;
    }

    QString picture(const QString& name, QSize size) {
        const QString file = work.filePath(name);
        testImage(size.width(), size.height()).save(file);
        QFile::setPermissions(file,
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::ReadGroup);
        return file;
    }

    static bool recorded(const QString& runState, const QString& file) {
        try {
            return pixmora::readTextLines(runState) == QStringList{file, QStringLiteral("rodando")};
        } catch (const std::exception&) {
            return false;
        }
    }

    QTemporaryDir work;
    QString program;
    QList<QProcess*> started;
};

TEST_F(XProgramTest, AFileGivenOpensAndALaterStartHandsItsFileOver) {
    const QString first = picture("praia [*] um.png", {64, 48});
    const QString second = picture("dois.bmp", {40, 30});
    const QString runState = program + "/config.txt";
    QProcess* running = start({QFileInfo(first).fileName()}); // relative to its working folder
    EXPECT_TRUE(eventually([&] { return recorded(runState, first); }, 15000));
    EXPECT_TRUE(eventually([&] { return windowTitles().contains(first); }));

    QProcess* later = start({second});
    ASSERT_TRUE(later->waitForFinished(15000));
    EXPECT_EQ(later->exitCode(), 0);
    EXPECT_TRUE(eventually([&] { return recorded(runState, second); }));
    EXPECT_TRUE(eventually([&] { return windowTitles().contains(second); }));
    EXPECT_EQ(running->state(), QProcess::Running);
    // No recovery question was asked of anybody.
    EXPECT_FALSE(windowTitles().contains("Confirm"));
}

TEST_F(XProgramTest, ABadFileGetsTheOpensErrorAndTheProgramStillStarts) {
    QFile broken(work.filePath("quebrada.jpg"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("not a picture");
    broken.close();
    start({broken.fileName()});
    EXPECT_TRUE(eventually(
        [] {
            const QStringList titles = windowTitles();
            return titles.contains("Pixmora Beta 4") && titles.contains("Pixmora");
        },
        15000))
        << windowTitles().join(", ").toStdString();
}

TEST_F(XProgramTest, RunsFromAFolderItCannotWriteAndKeepsItsFilesInTheUsersFolders) {
    QStringList wrapper;
    if (::getuid() == 0) {
        // The superuser writes everywhere: the program runs as a plain user instead.
        const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        if (setpriv.isEmpty())
            GTEST_SKIP() << "running as root without setpriv, no plain user to run the program as";
        wrapper = {setpriv, "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
    }
    const QString home = work.filePath("casa");
    ASSERT_TRUE(QDir().mkpath(home));
    QFile::setPermissions(home, QFileDevice::Permissions(0x7777));
    for (const QFileInfo& file : QDir(program).entryInfoList(QDir::Files))
        QFile::setPermissions(file.filePath(), file.permissions() & ~(QFile::WriteOwner | QFile::WriteGroup |
                                                                      QFile::WriteOther));
    QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther |
                                       QFile::ReadGroup | QFile::ExeGroup);
    const QStringList before =
        QDir(program).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home);
    environment.insert("XDG_CONFIG_HOME", home + "/config");
    environment.insert("XDG_CACHE_HOME", home + "/cache");
    environment.insert("XDG_RUNTIME_DIR", home);
    const QString photo = picture("foto.png", {50, 20});
    start({photo}, wrapper, environment);
    EXPECT_TRUE(eventually([&] { return recorded(home + "/config/Pixmora/config.txt", photo); }, 15000));
    EXPECT_TRUE(eventually([&] { return windowTitles().contains(photo); }));
    // No error box: nothing failed.
    EXPECT_FALSE(windowTitles().contains("Pixmora"));
    EXPECT_EQ(QDir(program).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
    QFile::setPermissions(program, QFileDevice::Permissions(0x7700));
}
