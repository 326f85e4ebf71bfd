#include "ProgramFixture.h"
#include "TextFit.h"

#include "OrImage.h"
#include "TextFile.h"
#include "Unit1.h"
#include "Unit18.h"
#include "Unit3.h"
#include "UserDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QUrl>

using pixmora::TextBox;

namespace {

constexpr QChar BreakOpportunity(0x200B);

// A path as long as real ones get, in a folder with spaces and accents.
QString longPath() {
    return QStringLiteral("/home/usuária/Imagens/Férias de verão 2026/Praia do Rosa, fim de tarde/"
                          "fotos_originais_sem_edição_da_câmera_principal/IMG_20260114_183512_HDR.jpg");
}

struct BoxCase {
    TextBox::Icon icon;
    QString caption;
    QString text;
    QStringList buttons;
};

std::vector<BoxCase> everyBox() {
    const QString title = pixmora::applicationTitle();
    const QStringList ok = {QStringLiteral("OK")};
    const QStringList yesNo = {QStringLiteral("&Yes"), QStringLiteral("&No")};
    return {
        {TextBox::Icon::None, title, "Imagem salva com sucesso!", ok},
        {TextBox::Icon::None, title, "Essa versao ainda nao suporta modos Widescreen", ok},
        {TextBox::Icon::None, title, "Verificação concluida! Pressione OK", ok},
        {TextBox::Icon::None, title, "Erro! Comunique a Zuroved Ivudevore", ok},
        {TextBox::Icon::None, title, "Nenhuma imagem aberta para salvar. Abra uma imagem antes de salvar.",
         ok},
        {TextBox::Icon::Question, "Confirm",
         "O Pixmora não foi desligado corretamente. Recuperar ultima imagem?", yesNo},
        {TextBox::Icon::Question, "Confirm",
         "Deseja reverter o arquivo para o ultimo ponto salvo?. Alterações serão perdidas!", yesNo},
        {TextBox::Icon::Information, "Information", "Imagem recuperada!", ok},
        {TextBox::Icon::Error, title, "File access denied.", ok},
        {TextBox::Icon::Error, title, "File not found: \"" + longPath() + "\"", ok},
        {TextBox::Icon::Error, title,
         "Damaged JPEG picture \"/tmp/" + QString(180, QLatin1Char('x')) + ".jpg\": x.", ok},
    };
}

QString joined(const QStringList& problems) {
    return problems.join(QLatin1Char('\n'));
}

void settle() {
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

} // namespace

class LookTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        startProgram("\r\ndesligado\r\n");
    }

    void expectWholeTexts(QWidget* window) {
        settle();
        ASSERT_TRUE(window->isVisible()) << window->windowTitle().toStdString();
        const QStringList problems = textsThatDoNotFit(window);
        EXPECT_TRUE(problems.isEmpty()) << joined(problems).toStdString();
    }

    // Drops `file` on `target` as a file manager would.
    bool drop(QWidget* target, const QString& file) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(file)});
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &dropped);
        return dropped.isAccepted();
    }
};

TEST_F(LookTest, EveryWindowShowsItsWholeText) {
    const QString picture = path("praia [*].png");
    ASSERT_TRUE(testImage(64, 48).save(picture));
    openPicture(picture);
    Form1->showNormal();
    expectWholeTexts(Form1);
    Form1->showMaximized();
    expectWholeTexts(Form1);
    expectWholeTexts(Form3);

    const auto commands = windowsFromTheMenu();
    for (const auto& [command, window] : commands) {
        SCOPED_TRACE(command->text().toStdString());
        command->trigger();
        expectWholeTexts(window);
    }

    // The update window with the longest status it shows, and its hidden button shown.
    Form1->ui.SpeedButton5->click();
    for (const char* status : {"Baixando informacoes de upgrades. Aguarde...",
                               "Há uma atualização disponivel. Clique em Atualizar.",
                               "Sem atualizações. Sistema já atualizado."}) {
        Form18->ui.Edit1->setText(QString::fromUtf8(status));
        Form18->ui.Button1->show();
        expectWholeTexts(Form18);
    }

    // The picture dialogs, with their Portuguese type lists.
    for (QFileDialog* dialog : {Form1->OpenPictureDialog1, Form1->SavePictureDialog1}) {
        dialog->show();
        expectWholeTexts(dialog);
        dialog->hide();
    }
}

TEST_F(LookTest, EveryKindOfBoxShowsItsWholeTextAndCaptionAtAReadableWidth) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    for (const BoxCase& c : everyBox()) {
        SCOPED_TRACE(c.text.toStdString());
        TextBox box(Form1, c.icon, c.caption, c.text);
        for (const QString& button : c.buttons)
            box.addButton(button);
        box.show();
        settle();
        const QStringList problems = textsThatDoNotFit(&box);
        EXPECT_TRUE(problems.isEmpty()) << joined(problems).toStdString();
        // The texts stay exactly as given: the label only gained invisible break opportunities.
        EXPECT_EQ(box.windowTitle(), c.caption);
        EXPECT_EQ(box.textLabel()->text().remove(BreakOpportunity), c.text);
        QStringList buttons;
        for (const QPushButton* button : box.findChildren<QPushButton*>())
            buttons.append(button->text());
        EXPECT_EQ(buttons, c.buttons);
        // A short text gives a small box; no box grows past a comfortable line or off the screen.
        const QFontMetrics metrics = box.textLabel()->fontMetrics();
        EXPECT_LE(box.textLabel()->width(), TextBox::wrapWidth(metrics, screen.width()) + 2);
        EXPECT_LE(box.width(), screen.width());
        if (metrics.horizontalAdvance(c.text) < 200) {
            EXPECT_LT(box.width(), 420);
        }
        box.close();
    }
}

TEST(BoxText, LongWordsBreakAfterSeparatorsOrAnywhereAndReadAsGiven) {
    const QFontMetrics metrics(QApplication::font());
    const int width = metrics.horizontalAdvance(QStringLiteral("0123456789")) * 3;
    const QString texts[] = {
        "File not found: \"" + longPath() + "\"",
        QString(200, QLatin1Char('m')),
        QStringLiteral("curto e simples"),
        QStringLiteral("acentuação ção ção") + QString(60, QChar(0x00E7)),
        // Characters that must stay together: a surrogate pair and a combining accent.
        QString(40, QLatin1Char('a')) + QString::fromUtf8("\xF0\x9F\x93\xB7") +
            QString(40, QLatin1Char('e')) + QString::fromUtf8("e\xCC\x81") + QString(40, QLatin1Char('o')),
    };
    for (const QString& text : texts) {
        SCOPED_TRACE(text.toStdString());
        const QString broken = TextBox::breakLongWords(text, metrics, width);
        EXPECT_EQ(QString(broken).remove(BreakOpportunity), text);
        for (const QString& piece : QString(broken).replace(BreakOpportunity, QLatin1Char(' ')).split(' '))
            EXPECT_LE(metrics.horizontalAdvance(piece), width) << piece.toStdString();
        for (qsizetype i = 1; i < broken.size(); ++i)
            if (broken.at(i) == BreakOpportunity && i + 1 < broken.size()) {
                EXPECT_FALSE(broken.at(i + 1).isLowSurrogate());
                EXPECT_NE(broken.at(i + 1).category(), QChar::Mark_NonSpacing);
            }
        bool everyWordFits = true;
        for (const QString& word : text.split(' '))
            everyWordFits = everyWordFits && metrics.horizontalAdvance(word) <= width;
        if (everyWordFits) {
            EXPECT_EQ(broken, text) << "a text whose words fit is left alone";
        }
    }
}

TEST(TextFit, CatchesEveryKindOfCutText) {
    QWidget window;
    window.setWindowTitle(QStringLiteral("Uma legenda bem mais longa que a própria janela"));
    window.resize(120, 200);
    auto* label = new QLabel(QStringLiteral("Imagem salva com sucesso!"), &window);
    label->setGeometry(0, 0, 60, 20);
    auto* wrapped = new QLabel(QStringLiteral("Uma linha que quebra e não cabe na altura"), &window);
    wrapped->setWordWrap(true);
    wrapped->setGeometry(0, 30, 100, 12);
    auto* button = new QPushButton(QStringLiteral("&Verificar"), &window);
    button->setGeometry(0, 50, 30, 25);
    auto* check = new QCheckBox(QStringLiteral("Redimensionar"), &window);
    check->setGeometry(0, 80, 40, 20);
    auto* radio = new QRadioButton(QStringLiteral("Não Redimensionar Imagem"), &window);
    radio->setGeometry(0, 100, 60, 20);
    auto* fitting = new QLabel(QStringLiteral("OK"), &window);
    fitting->setGeometry(0, 130, 100, 30);
    window.show();
    settle();
    const QStringList problems = textsThatDoNotFit(&window);
    ASSERT_EQ(problems.size(), 6) << joined(problems).toStdString();
    EXPECT_TRUE(problems.front().startsWith("caption"));
    EXPECT_FALSE(joined(problems).contains("\"OK\""));
}

TEST_F(LookTest, SizesAreInPicturePixelsOnAnyScreen) {
    const QString picture = path("320x200.png");
    ASSERT_TRUE(testImage(320, 200).save(picture));
    openPicture(picture);
    const qreal ratio = Form3->devicePixelRatioF();
    EXPECT_EQ(Form1->statusText(), picture + " Tamanho: 320 x 200");
    EXPECT_EQ(QSize(Form1->ImageWidth, Form1->ImageHeight), QSize(320, 200));
    EXPECT_EQ(pixmora::readTextLines(path("config.txt")), (QStringList{picture, "rodando"}));
    // One picture pixel per device pixel.
    EXPECT_EQ(Form3->ui.OrImage1->size() * ratio, QSize(320, 200));
    Form1->ui.Manual1->trigger();
    EXPECT_EQ(Form1->statusText(), picture + " Tamanho: 320 x 200");
    // The fixed fit keeps its designed size, as on any screen.
    Form1->ui.CheckBox1->setChecked(false);
    openPicture(picture);
    EXPECT_EQ(Form1->statusText(), picture + " Tamanho: 785 x 440");
    EXPECT_EQ(Form3->ui.OrImage1->size(), QSize(785, 440));
}

TEST_F(LookTest, APictureDroppedOnEitherWindowOpensAsFromTheDialog) {
    const QString first = path("primeira [*].png");
    const QString second = path("segunda.bmp");
    ASSERT_TRUE(testImage(30, 20).save(first));
    ASSERT_TRUE(testImage(40, 10).save(second, "BMP"));
    ASSERT_TRUE(drop(Form1, first));
    EXPECT_EQ(Form3->caption(), first);
    EXPECT_EQ(Form1->statusText(), first + " Tamanho: 30 x 20");
    EXPECT_TRUE(Form1->ui.SpeedButton2->isEnabled());
    // Dropped on the picture itself, inside the host window.
    Form3->ui.OrImage1->setPicBrightness(40);
    ASSERT_TRUE(drop(Form3->ui.OrImage1, second) || drop(Form3, second));
    EXPECT_EQ(Form3->caption(), second);
    EXPECT_EQ(Form3->ui.OrImage1->PicBrightness(), 0);
    EXPECT_EQ(pixmora::readTextLines(path("config.txt")), (QStringList{second, "rodando"}));
    EXPECT_TRUE(dialogs.shown.empty());

    // What is not a local file is refused at the door; a file that is no picture gets the open's error.
    QMimeData text;
    text.setText("praia.jpg");
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Form1, &enter);
    EXPECT_FALSE(enter.isAccepted());
    writeFile("nota.jpg", "not a picture");
    drop(Form1, path("nota.jpg"));
    EXPECT_EQ(dialogs.texts("error").size(), 1);
    EXPECT_EQ(Form3->caption(), second);
}
