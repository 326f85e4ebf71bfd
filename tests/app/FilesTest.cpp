#include "ProgramFixture.h"

#include "OrImage.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "WindowGeometry.h"

#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>

namespace {

void pickType(QFileDialog& dialog, int index) {
    // As the user does it: the list's entry is activated.
    auto* types = dialog.findChild<QComboBox*>("fileTypeCombo");
    ASSERT_NE(types, nullptr);
    types->setCurrentIndex(index);
    emit types->activated(index);
    emit types->textActivated(types->currentText());
}

QString nameBox(QFileDialog& dialog) {
    return dialog.findChild<QLineEdit*>("fileNameEdit")->text();
}

} // namespace

class FilesTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        startProgram("\r\ndesligado\r\n");
        picture = path("praia.bmp");
        ASSERT_TRUE(testImage().save(picture, "BMP"));
    }
    TOrImage* image() const { return Form3->ui.OrImage1; }
    pixmora::Bitmap shown() const { return image()->PictureShown().bitmap(); }

    QString picture;
};

TEST_F(FilesTest, OpenShowsThePictureAndRecordsIt) {
    Form2->ui.TrackBarBrightness->setValue(40);
    openPicture(picture);
    EXPECT_EQ(dialogs.texts("file"), QStringList{"OpenPictureDialog1"});
    EXPECT_EQ(image()->PictureOriginal().bitmap(), toBitmap(testImage()));
    EXPECT_EQ(shown(), toBitmap(testImage())) << "the effects are reset before the open";
    EXPECT_EQ(Form2->ui.TrackBarBrightness->value(), 0);
    EXPECT_TRUE(Form3->isVisible());
    const QSize screen = primaryScreenSize();
    EXPECT_EQ(outerSize(Form3), QSize(screen.width() - 2, screen.height() - 120));
    EXPECT_EQ(Form3->windowTitle(), picture);
    EXPECT_EQ(Form1->statusText(), picture + " Tamanho: 23 x 17");
    EXPECT_TRUE(Form1->ui.SpeedButton2->isEnabled() && Form1->ui.SpeedButton3->isEnabled() &&
                Form1->ui.SpeedButton4->isEnabled());
    EXPECT_EQ(Form1->RunState, "rodando");
    EXPECT_EQ(readFile("config.txt"), (picture + "\r\nrodando\r\n").toUtf8());
    EXPECT_FALSE(Form1->showsPlaceholder());
}

TEST_F(FilesTest, CancelledOpenLeavesThePlaceholderAndEverythingElse) {
    Form1->ui.Abrir1->trigger();
    EXPECT_EQ(dialogs.texts("file"), QStringList{"OpenPictureDialog1"});
    EXPECT_EQ(image()->PictureOriginal().bitmap(), loadBitmap(path("px.jpg")));
    EXPECT_EQ(Form3->windowTitle(), "Abrindo imagem...");
    EXPECT_EQ(Form1->statusText(), "");
    EXPECT_FALSE(Form1->ui.SpeedButton2->isEnabled());
    EXPECT_EQ(readFile("config.txt"), "\r\ndesligado\r\n");
}

TEST_F(FilesTest, OpenWithoutPlaceholderOrOfABrokenFileIsReported) {
    ASSERT_TRUE(QFile::remove(path("px.jpg")));
    Form1->ui.SpeedButton1->click();
    EXPECT_EQ(dialogs.texts("error").size(), 1);
    EXPECT_TRUE(dialogs.texts("file").isEmpty()) << "no dialog without the placeholder";
    EXPECT_FALSE(Form3->isVisible());

    ASSERT_TRUE(QFile::copy(PIXMORA_RESOURCES_DIR "/px.jpg", path("px.jpg")));
    openPicture(picture);
    writeFile("broken.jpg", "not a picture at all");
    openPicture(path("broken.jpg"));
    EXPECT_EQ(dialogs.texts("error").size(), 2);
    EXPECT_EQ(Form3->windowTitle(), picture);
    EXPECT_EQ(Form1->ImageFileName, picture);
    EXPECT_EQ(readFile("config.txt"), (picture + "\r\nrodando\r\n").toUtf8());
}

TEST_F(FilesTest, FitModeGivesTheFixedSizeAndBack) {
    Form1->ui.CheckBox1->click();
    EXPECT_TRUE(Form3->isVisible()) << "the check box shows the window even before an open";
    EXPECT_EQ(image()->size(), QSize(785, 440));
    openPicture(picture);
    EXPECT_EQ(Form1->statusText(), picture + " Tamanho: 785 x 440");
    EXPECT_EQ(Form1->ImageWidth, 785);
    EXPECT_EQ(Form1->ImageHeight, 440);
    EXPECT_EQ(image()->TargetRect(), QRect(0, 0, 785, 440));
    Form3->close();
    Form1->ui.CheckBox1->click();
    EXPECT_EQ(image()->size(), QSize(23, 17));
    EXPECT_TRUE(Form3->isVisible());
}

TEST_F(FilesTest, SaveWritesTheShownPictureInTheFormatOfTheEnding) {
    for (const QString& name : QStringList{"praia.bmp", "praia.jpg", "PRAIA.JPEG", "praia.png"}) {
        SCOPED_TRACE(name.toStdString());
        const QString file = path(name);
        ASSERT_TRUE(testImage().save(file));
        openPicture(file);
        const pixmora::Bitmap source = image()->PictureOriginal().bitmap();
        Form2->ui.TrackBarBrightness->setValue(30);
        const pixmora::Bitmap expected = shown();
        dialogs.shown.clear();
        Form1->ui.SpeedButton2->click();

        EXPECT_EQ(dialogs.texts("message"), QStringList{"Imagem salva com sucesso!"});
        EXPECT_EQ(Form1->statusText(), "Imagem " + file + " salva com sucesso!");
        const QByteArray format = name.endsWith("bmp") ? "bmp" : name.endsWith("png") ? "png" : "jpeg";
        EXPECT_EQ(contentFormat(file), format);
        EXPECT_LE(difference(loadBitmap(file), expected), format == "jpeg" ? 8 : 0);
        EXPECT_EQ(image()->PicBrightness(), 30) << "saving changes no effect";
        EXPECT_EQ(image()->PictureOriginal().bitmap(), source);
        // The name is kept as it is: no second file with another letter case.
        EXPECT_EQ(QDir(folder.path()).entryList({name}, QDir::Files, QDir::IgnoreCase), QStringList{name});
    }
}

TEST_F(FilesTest, SaveRefusesAnEndingWithoutWriterAndAfterACancelledOpen) {
    const QString other = path("praia.ppm");
    ASSERT_TRUE(testImage().save(other, "PPM"));
    const QByteArray before = readFile("praia.ppm");
    openPicture(other);
    Form1->ui.SpeedButton2->click();
    EXPECT_EQ(
        dialogs.texts("error"),
        QStringList{"A imagem não pode ser salva como \"praia.ppm\": use um nome terminado em .bmp, .jpg, "
                    ".jpeg ou .png."});
    EXPECT_EQ(readFile("praia.ppm"), before);

    openPicture(picture);
    const QByteArray saved = readFile("praia.bmp");
    Form1->ui.SpeedButton1->click(); // cancelled: the placeholder is shown, "Salvar" still enabled
    ASSERT_TRUE(Form1->ui.SpeedButton2->isEnabled());
    dialogs.shown.clear();
    Form1->ui.SpeedButton2->click();
    EXPECT_EQ(dialogs.texts("message"),
              QStringList{"Nenhuma imagem aberta para salvar. Abra uma imagem antes de salvar."});
    EXPECT_EQ(readFile("praia.bmp"), saved);
}

TEST_F(FilesTest, SaveAsWritesEachFormatAndKeepsTheCurrentFile) {
    openPicture(picture);
    Form2->ui.TrackBarContrast->setValue(50);
    const pixmora::Bitmap expected = shown();
    writeFile("existing.png", "old content");
    for (const QString& name : QStringList{"copia.bmp", "copia.jpg", "existing.png"}) {
        SCOPED_TRACE(name.toStdString());
        dialogs.shown.clear();
        saveAs(path(name));
        EXPECT_EQ(dialogs.texts("file"), QStringList{"SavePictureDialog1"});
        EXPECT_EQ(dialogs.texts("message"), QStringList{}) << "Save As shows no box";
        EXPECT_EQ(Form1->statusText(), "Imagem " + path(name) + " salva com sucesso!");
        EXPECT_LE(difference(loadBitmap(path(name)), expected), name.endsWith("jpg") ? 8 : 0);
    }
    EXPECT_EQ(contentFormat(path("copia.jpg")), "jpeg");
    EXPECT_EQ(Form3->windowTitle(), picture);
    EXPECT_EQ(readFile("config.txt"), (picture + "\r\nrodando\r\n").toUtf8());

    saveAs(path("copia.txt"));
    EXPECT_EQ(dialogs.texts("error").size(), 1);
    EXPECT_FALSE(QFile::exists(path("copia.txt")));
    Form1->ui.SpeedButton3->click(); // cancelled
    EXPECT_EQ(dialogs.texts("error").size(), 1);
}

TEST_F(FilesTest, SaveAsJpegFromABitmapPutsThePictureWindowBackOnTop) {
    openPicture(picture);
    Form3->foradotopo();
    saveAs(path("copia.bmp"));
    EXPECT_FALSE(Form3->isTopmost());
    saveAs(path("copia.jpg"));
    EXPECT_TRUE(Form3->isTopmost());
}

TEST_F(FilesTest, TheNameBoxFollowsTheChosenType) {
    openPicture(picture);
    QStringList boxes;
    QString suffixBefore;
    dialogs.fileAnswers.push_back([&](QFileDialog& dialog) {
        dialog.setDirectory(folder.path());
        suffixBefore = dialog.defaultSuffix();
        pickType(dialog, 1); // empty box: only the default extension changes
        boxes.append(nameBox(dialog) + "|" + dialog.defaultSuffix());
        dialog.selectFile("praia.bmp");
        pickType(dialog, 1);
        boxes.append(nameBox(dialog));
        dialog.selectFile("sub.dir/praia");
        pickType(dialog, 0);
        boxes.append(nameBox(dialog));
        dialog.selectFile("praia");
        pickType(dialog, 1);
        boxes.append(nameBox(dialog));
        return true;
    });
    Form1->ui.SpeedButton3->click();
    EXPECT_EQ(suffixBefore, "");
    EXPECT_EQ(boxes, (QStringList{"|jpg", "praia.jpg", "sub.dir/praia.bmp", "praia.jpg"}));
    EXPECT_EQ(Form1->statusText(), "Imagem " + path("praia.jpg") + " salva com sucesso!");
    EXPECT_EQ(contentFormat(path("praia.jpg")), "jpeg");
}

TEST_F(FilesTest, RevertCopyAndClose) {
    openPicture(picture);
    Form2->ui.TrackBarBrightness->setValue(40);
    Form1->ui.EscaladeCinza1->trigger();
    Form1->ui.EscaladeCinza1->trigger();
    EXPECT_TRUE(image()->PicGrayScale());
    Form1->ui.InverterCores1->trigger();
    Form1->ui.Emboss1->trigger();
    EXPECT_TRUE(image()->PicInvert() && image()->PicEmboss());

    Form1->ui.Copiar2->trigger();
    EXPECT_EQ(toBitmap(QGuiApplication::clipboard()->image()), shown());
    EXPECT_EQ(Form1->statusText(), "A imagem foi copiada com sucesso para a área de transferência!");

    Form3->foradotopo();
    Form1->ui.Copiar1->trigger(); // answered No
    EXPECT_EQ(
        dialogs.texts("confirm"),
        QStringList{"Deseja reverter o arquivo para o ultimo ponto salvo?. Alterações serão perdidas!"});
    EXPECT_EQ(image()->PicBrightness(), 40);
    dialogs.confirmAnswers = {true};
    Form1->ui.Copiar1->trigger();
    EXPECT_EQ(image()->PicBrightness(), 0);
    EXPECT_FALSE(image()->PicGrayScale() || image()->PicInvert() || image()->PicEmboss());
    EXPECT_EQ(shown(), toBitmap(testImage()));
    EXPECT_EQ(Form2->ui.TrackBarBrightness->value(), 0);
    EXPECT_TRUE(Form3->isTopmost());

    const QString status = Form1->statusText();
    Form1->ui.Salvar1->trigger();
    EXPECT_FALSE(Form3->isVisible());
    EXPECT_FALSE(Form1->ui.SpeedButton2->isEnabled() || Form1->ui.SpeedButton3->isEnabled() ||
                 Form1->ui.SpeedButton4->isEnabled());
    EXPECT_EQ(image()->PictureOriginal().bitmap(), toBitmap(testImage()));
    EXPECT_EQ(Form1->statusText(), status);

    Form1->ui.Manual1->trigger();
    EXPECT_TRUE(Form3->isVisible());
    EXPECT_FALSE(Form1->ui.SpeedButton2->isEnabled());
    EXPECT_EQ(Form1->statusText(), picture + " Tamanho: 23 x 17");
}

TEST_F(FilesTest, CopyAndRestoreBeforeAnyOpenUseTheInitialPicture) {
    Form1->ui.Manual1->trigger();
    EXPECT_TRUE(Form3->isVisible());
    EXPECT_EQ(Form1->statusText(), " Tamanho: 400 x 120");
    Form1->ui.Copiar2->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(400, 120));
    // "&Salvar" and "&Manual" do nothing.
    Form1->ui.N1->trigger();
    Form1->ui.Manual2->trigger();
    EXPECT_TRUE(dialogs.shown.empty());
}
