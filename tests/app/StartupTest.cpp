#include "ProgramFixture.h"

#include "OrImage.h"
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
#include "Unit5.h"
#include "Unit6.h"
#include "Unit7.h"
#include "Unit8.h"
#include "Unit9.h"
#include "WindowGeometry.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>

namespace {

const QString RecoveryQuestion = "O Pixmora não foi desligado corretamente. Recuperar ultima imagem?";

QStringList menuTree(const QList<QAction*>& actions, const QString& indent = QString()) {
    QStringList lines;
    for (const QAction* action : actions) {
        if (action->isSeparator()) {
            lines.append(indent + "-");
            continue;
        }
        lines.append(indent + action->text());
        if (action->menu())
            lines += menuTree(action->menu()->actions(), indent + "  ");
    }
    return lines;
}

} // namespace

class StartupTest : public ProgramTest {};

TEST_F(StartupTest, MissingRunStateFileIsReportedAndSkipsTheRest) {
    startProgram();
    EXPECT_EQ(dialogs.texts("error"), QStringList{"File not found: \"" + path("config.txt") + "\""});
    EXPECT_TRUE(dialogs.texts("confirm").isEmpty());
    EXPECT_EQ(readFile("config.txt"), "<missing>");
    // The tool bar keeps its designed width, wide enough that no button covers another: the sizing
    // comes after the failed read.
    EXPECT_GE(Form1->ui.Panel1->width(), 577);
    EXPECT_GE(Form1->ui.SpeedButton5->x(), Form1->ui.CheckBox1->geometry().right());
    EXPECT_LE(Form1->ui.SpeedButton5->geometry().right(), Form1->ui.Panel1->width());
}

TEST_F(StartupTest, AnyOtherRunStateAsksNothingAndChangesNothing) {
    for (const QByteArray& config :
         {QByteArray("\r\ndesligado\r\n"), QByteArray("x.jpg\nRodando\n"),
          QByteArray("x.jpg\r\nrodando \r\n"), QByteArray(""), QByteArray("\r\n")}) {
        SCOPED_TRACE(config.toStdString());
        dialogs.shown.clear();
        startProgram(config);
        EXPECT_TRUE(dialogs.shown.empty());
        EXPECT_EQ(readFile("config.txt"), config);
        const QSize screen = primaryScreenSize();
        EXPECT_EQ(Form1->ui.Panel1->geometry(), QRect(0, 0, screen.width() - 1, 35));
        const QRect update = Form1->ui.SpeedButton5->geometry();
        EXPECT_EQ(update.right(), screen.width() - 5);
        EXPECT_EQ(update.top(), 1);
        windows.reset();
    }
}

TEST_F(StartupTest, RecoveryAnsweredNoLeavesTheQuestionForNextTime) {
    startProgram("/gone/praia.jpg\r\nrodando\r\n");
    EXPECT_EQ(dialogs.texts("confirm"), QStringList{RecoveryQuestion});
    EXPECT_EQ(readFile("config.txt"), "\r\nrodando\r\n");
    EXPECT_FALSE(Form3->isVisible());
    EXPECT_EQ(dialogs.shown.size(), 1u);
}

TEST_F(StartupTest, RecoveryAnsweredYesBringsThePictureBackAsAnOpenWould) {
    const QString picture = path("praia.png");
    ASSERT_TRUE(testImage(40, 30).save(picture));
    dialogs.confirmAnswers = {true};
    startProgram((picture + "\r\nrodando\r\n").toUtf8());

    EXPECT_EQ(dialogs.texts("information"), QStringList{"Imagem recuperada!"});
    EXPECT_TRUE(dialogs.texts("error").isEmpty());
    TOrImage* image = Form3->ui.OrImage1;
    EXPECT_EQ(image->PictureOriginal().bitmap(), toBitmap(testImage(40, 30)));
    EXPECT_TRUE(Form3->isVisible());
    EXPECT_EQ(Form3->windowTitle(), picture);
    EXPECT_EQ(Form1->statusText(), picture + " Tamanho: 40 x 30");
    EXPECT_TRUE(Form1->ui.SpeedButton2->isEnabled() && Form1->ui.SpeedButton3->isEnabled() &&
                Form1->ui.SpeedButton4->isEnabled());
    EXPECT_EQ(Form1->ImageFileName, picture);
    EXPECT_EQ(Form1->ImageWidth, 40);
    EXPECT_EQ(Form1->ImageHeight, 30);
    EXPECT_EQ(readFile("config.txt"), (picture + "\r\nrodando\r\n").toUtf8());
}

TEST_F(StartupTest, RecoveryOfNothingOrOfAGoneFileReportsAndClaimsNothing) {
    for (const QString& line1 : {QString(), QString("/gone/praia.jpg"), QString("broken")}) {
        SCOPED_TRACE(line1.toStdString());
        writeFile("broken", "not a picture");
        dialogs.shown.clear();
        dialogs.confirmAnswers = {true};
        startProgram((QString(line1 == "broken" ? path("broken") : line1) + "\r\nrodando\r\n").toUtf8());
        EXPECT_EQ(dialogs.texts("error").size(), 1);
        EXPECT_TRUE(dialogs.texts("information").isEmpty());
        if (line1.isEmpty()) {
            EXPECT_EQ(dialogs.texts("error"), QStringList{"File not found."});
        }
        EXPECT_FALSE(Form3->isVisible());
        EXPECT_FALSE(Form1->ui.SpeedButton2->isEnabled());
        EXPECT_EQ(Form3->windowTitle(), "Abrindo imagem...");
        EXPECT_EQ(readFile("config.txt"), "\r\nrodando\r\n");
        windows.reset();
    }
}

TEST_F(StartupTest, ClosingTheMainWindowWritesTheShutDownState) {
    startProgram("x.jpg\r\nrodando\r\n");
    Form1->ui.Sair2->trigger();
    EXPECT_FALSE(Form1->isVisible());
    EXPECT_EQ(Form1->RunState, "desligado");
    EXPECT_EQ(readFile("config.txt"), "\r\ndesligado\r\n");
}

TEST_F(StartupTest, AFailedShutDownWriteIsReportedAndTheWindowStillCloses) {
    startProgram("\r\ndesligado\r\n");
    // A folder in the file's place cannot be replaced by a file.
    ASSERT_TRUE(QFile::remove(path("config.txt")));
    ASSERT_TRUE(QDir(folder.path()).mkdir("config.txt"));
    Form1->close();
    EXPECT_EQ(dialogs.texts("error").size(), 1);
    EXPECT_FALSE(Form1->isVisible());
    EXPECT_TRUE(QFileInfo(path("config.txt")).isDir());
}

TEST_F(StartupTest, WindowsExistOnceWithTheirCaptionsAndOnlyTheMainWindowShows) {
    startProgram("\r\ndesligado\r\n");
    const std::pair<QWidget*, QString> windowsAndCaptions[] = {{Form1, "Pixmora Beta 4"},
                                                               {Form3, "Abrindo imagem..."},
                                                               {Form2, "Brilho e Contraste"},
                                                               {Form4, "Saturação"},
                                                               {Form6, "Pixmora Preferências"},
                                                               {Form7, "Sobre..."},
                                                               {Form8, "Lightness / Darkness"},
                                                               {Form9, "Splitlight"},
                                                               {Form10, "Color Mono Noise"},
                                                               {Form11, "Posterize / Solorize"},
                                                               {Form12, "Mosaico"},
                                                               {Form13, "SplitBlur"},
                                                               {Form14, "GaussianBlur"},
                                                               {Form15, "AntiAlias"},
                                                               {Form16, "Trace"},
                                                               {Form17, "Tile"},
                                                               {Form18, "Atualizações"}};
    for (const auto& [window, caption] : windowsAndCaptions) {
        ASSERT_NE(window, nullptr) << caption.toStdString();
        EXPECT_EQ(window->windowTitle(), caption);
        EXPECT_EQ(window->isVisible(), window == Form1) << caption.toStdString();
    }
    ASSERT_NE(Form5, nullptr);
    EXPECT_TRUE(Form5->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(Form1->isMaximized());
    // The frame's place and size: the client area sits inside a frame not yet known.
    EXPECT_EQ(Form1->normalGeometry().topLeft() - QPoint(standardFrame().left(), standardFrame().top()),
              QPoint(120, 91));
    EXPECT_EQ(Form1->normalGeometry().size() + standardFrameSize(), QSize(545, 375));
    EXPECT_EQ(QApplication::applicationName(), "Pixmora");
}

TEST_F(StartupTest, MenuTreeWithAccessKeysAndSeparators) {
    startProgram("\r\ndesligado\r\n");
    const QStringList expected = {"&Arquivo",
                                  "  A&brir",
                                  "  &Fechar",
                                  "  &Salvar",
                                  "  -",
                                  "  Sa&ir",
                                  "&Editar",
                                  "  &Reverter",
                                  "  -",
                                  "  &Copiar",
                                  "  -",
                                  "  Preferências",
                                  "E&feitos",
                                  "  Brilho/Contraste",
                                  "  Saturação",
                                  "  -",
                                  "  Efeitos de Cor",
                                  "    Lightness/Darkness",
                                  "    Splitlight",
                                  "    Escala de Cinza",
                                  "    Inverter Cores",
                                  "  Efeitos Artísticos",
                                  "    Color/Mono Noise",
                                  "    Posterize/Solorize",
                                  "  Efeitos Gráficos",
                                  "    Mosaico",
                                  "    SplitBlur",
                                  "    GaussianBlur",
                                  "    Antialias",
                                  "    Trace",
                                  "    Tile",
                                  "    Emboss",
                                  "&Janela",
                                  "  &Restaurar janela",
                                  "Aj&uda",
                                  "  &Manual",
                                  "  &Sobre..."};
    EXPECT_EQ(menuTree(Form1->ui.MainMenu1->actions()), expected);
    for (QAction* action : Form1->ui.MainMenu1->findChildren<QAction*>())
        EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();
}

TEST_F(StartupTest, ToolBarButtonsAndCheckBox) {
    startProgram("\r\ndesligado\r\n");
    struct Expected {
        QToolButton* button;
        QString caption;
        QRect geometry;
        QString hint;
        bool enabled;
    };
    const int right = primaryScreenSize().width() - 98;
    const Expected buttons[] = {
        {Form1->ui.SpeedButton1, "Abrir", {1, 1, 73, 33}, "Abre uma imagem para visualizar e editar", true},
        {Form1->ui.SpeedButton2, "Salvar", {74, 1, 73, 33}, "Salvar as modificações feitas", false},
        {Form1->ui.SpeedButton3, "Salvar Como", {147, 1, 102, 33}, "Salva a imagem como", false},
        {Form1->ui.SpeedButton4,
         "Tela Cheia",
         {249, 1, 98, 33},
         "Visualiza a imagem em tela cheia. Pressione ESC para retornar.",
         false},
        {Form1->ui.SpeedButton5,
         "Atualizações",
         {right, 1, 94, 32},
         "Procura por atualizacoes para o programa.",
         true},
    };
    // The designed geometry, widened where the window's font needs more room for a caption; the buttons
    // after a widened one move along, keeping their designed gaps.
    int shift = 0;
    for (const Expected& e : buttons) {
        SCOPED_TRACE(e.caption.toStdString());
        EXPECT_EQ(e.button->text(), e.caption);
        const QRect actual = e.button->geometry();
        EXPECT_EQ(actual.top(), e.geometry.top());
        EXPECT_EQ(actual.height(), e.geometry.height());
        EXPECT_GE(actual.width(), std::max(e.geometry.width(), e.button->sizeHint().width()));
        if (e.button == Form1->ui.SpeedButton5) {
            // It keeps ending 4 pixels before the screen's right edge.
            EXPECT_EQ(actual.right(), e.geometry.right());
        } else {
            EXPECT_EQ(actual.left(), e.geometry.left() + shift);
            shift += actual.width() - e.geometry.width();
        }
        EXPECT_EQ(e.button->toolTip(), e.hint);
        EXPECT_EQ(e.button->isEnabled(), e.enabled);
        EXPECT_TRUE(e.button->autoRaise());
        EXPECT_EQ(e.button->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
        EXPECT_FALSE(e.button->icon().isNull());
    }
    QCheckBox* box = Form1->ui.CheckBox1;
    EXPECT_EQ(box->text(), "Redimensionar");
    EXPECT_EQ(box->geometry().topLeft(), QPoint(359 + shift, 7));
    EXPECT_GE(box->width(), std::max(114, box->sizeHint().width()));
    EXPECT_EQ(box->toolTip(), "Marcando este item a imagem sera vista redimensionada.");
    EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(Form1->statusText(), "");
}
