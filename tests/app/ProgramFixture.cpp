#include "ProgramFixture.h"

#include "OrImage.h"
#include "PictureFile.h"
#include "ProgramFolder.h"
#include "Unit1.h"
#include "Unit10.h"
#include "Unit11.h"
#include "Unit12.h"
#include "Unit13.h"
#include "Unit14.h"
#include "Unit15.h"
#include "Unit16.h"
#include "Unit17.h"
#include "Unit2.h"
#include "Unit4.h"
#include "Unit6.h"
#include "Unit7.h"
#include "Unit8.h"
#include "Unit9.h"
#include "WindowGeometry.h"

#include <QFile>
#include <QFileDialog>
#include <QImageReader>

#include <cstdlib>

QStringList RecordingDialogs::texts(const QString& kind) const {
    QStringList result;
    for (const Shown& box : shown)
        if (box.kind == kind)
            result.append(box.text);
    return result;
}

void RecordingDialogs::showMessage(QWidget*, const QString& text) {
    shown.push_back({"message", text});
}

bool RecordingDialogs::confirm(QWidget*, const QString& text) {
    shown.push_back({"confirm", text});
    if (confirmAnswers.empty())
        return false;
    const bool answer = confirmAnswers.front();
    confirmAnswers.pop_front();
    return answer;
}

void RecordingDialogs::showInformation(QWidget*, const QString& text) {
    shown.push_back({"information", text});
}

void RecordingDialogs::showError(QWidget*, const QString& text) {
    shown.push_back({"error", text});
}

bool RecordingDialogs::runFileDialog(QFileDialog& dialog) {
    shown.push_back({"file", dialog.objectName()});
    if (fileAnswers.empty())
        return false;
    auto answer = std::move(fileAnswers.front());
    fileAnswers.pop_front();
    return answer(dialog);
}

void ProgramTest::SetUp() {
    ASSERT_TRUE(folder.isValid());
    pixmora::setProgramFolderForTesting(folder.path());
    pixmora::setUserDialogs(&dialogs);
    ASSERT_TRUE(QFile::copy(QStringLiteral(PIXMORA_RESOURCES_DIR "/px.jpg"), path("px.jpg")));
    ASSERT_TRUE(QFile::copy(QStringLiteral(PIXMORA_RESOURCES_DIR "/versao.txt"), path("versao.txt")));
}

void ProgramTest::TearDown() {
    windows.reset();
    pixmora::setUserDialogs(nullptr);
    pixmora::setProgramFolderForTesting(QString());
    setScreenSizeForTesting(QSize());
}

void ProgramTest::startProgram() {
    windows = std::make_unique<ProgramWindows>();
    windows->start();
}

void ProgramTest::startProgram(const QByteArray& config) {
    writeFile("config.txt", config);
    startProgram();
}

QString ProgramTest::path(const QString& name) const {
    return folder.filePath(name);
}

QByteArray ProgramTest::readFile(const QString& name) const {
    QFile file(path(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void ProgramTest::writeFile(const QString& name, const QByteArray& bytes) const {
    QFile file(path(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

void ProgramTest::openPicture(const QString& file) {
    dialogs.fileAnswers.push_back([file](QFileDialog& dialog) {
        dialog.selectFile(file);
        return true;
    });
    Form1->ui.SpeedButton1->click();
}

void ProgramTest::saveAs(const QString& file) {
    dialogs.fileAnswers.push_back([file](QFileDialog& dialog) {
        dialog.selectFile(file);
        return true;
    });
    Form1->ui.SpeedButton3->click();
}

QImage testImage(int width, int height) {
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixelColor(x, y, QColor(x * 255 / width, y * 255 / height, 200 - (x + y) % 7));
    return image;
}

pixmora::Bitmap loadBitmap(const QString& path) {
    return pixmora::loadPicture(path);
}

pixmora::Bitmap toBitmap(const QImage& image) {
    return bitmapFromImage(image);
}

double difference(const pixmora::Bitmap& a, const pixmora::Bitmap& b) {
    if (a.width() != b.width() || a.height() != b.height())
        return 256;
    long long sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int i = 0; i < a.width() * 3; ++i)
            sum += std::abs(int(a.row(y)[i]) - int(b.row(y)[i]));
    return a.isEmpty() ? 0 : double(sum) / (3.0 * a.width() * a.height());
}

std::vector<std::pair<QAction*, QWidget*>> windowsFromTheMenu() {
    return {{Form1->ui.Color1, Form2},
            {Form1->ui.Saturao1, Form4},
            {Form1->ui.LightnessDarkness1, Form8},
            {Form1->ui.Splitlight1, Form9},
            {Form1->ui.ColorMonoNoise1, Form10},
            {Form1->ui.PosterizeSolarize1, Form11},
            {Form1->ui.Mosaico1, Form12},
            {Form1->ui.SplitBlur1, Form13},
            {Form1->ui.GaussianBlur1, Form14},
            {Form1->ui.Antialias1, Form15},
            {Form1->ui.race1, Form16},
            {Form1->ui.ile1, Form17},
            {Form1->ui.Preferncias1, Form6},
            {Form1->ui.Sobre2, Form7}};
}

void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

QByteArray contentFormat(const QString& path) {
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    return reader.format();
}
