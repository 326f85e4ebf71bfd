#pragma once

#include "Bitmap.h"
#include "Forms.h"
#include "UserDialogs.h"
#include "Windows.h"

#include <QImage>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <ostream>
#include <utility>
#include <vector>

class QAction;
class QFileDialog;

// Answers the program's boxes and dialogs as a test scripted them, and records each one it was shown.
class RecordingDialogs : public pixmora::UserDialogs {
public:
    struct Shown {
        QString kind; // "message", "confirm", "information", "error" or "file"
        QString text; // the box's text, or the dialog's object name
    };
    std::vector<Shown> shown;
    std::deque<bool> confirmAnswers;                           // unanswered questions get No
    std::deque<std::function<bool(QFileDialog&)>> fileAnswers; // unanswered dialogs are cancelled

    QStringList texts(const QString& kind) const;

    void showMessage(QWidget* parent, const QString& text) override;
    bool confirm(QWidget* parent, const QString& text) override;
    void showInformation(QWidget* parent, const QString& text) override;
    void showError(QWidget* parent, const QString& text) override;
    bool runFileDialog(QFileDialog& dialog) override;
};

// A program run in a folder of its own: px.jpg beside it, config.txt as the test wants, and every box
// answered by `dialogs`.
class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Creates all windows and starts the program, as main() does.
    void startProgram();
    void startProgram(const QByteArray& config);
    QString path(const QString& name) const;
    QByteArray readFile(const QString& name) const;
    void writeFile(const QString& name, const QByteArray& bytes) const;

    // Picks `file` in the next open dialog and presses "Abrir".
    void openPicture(const QString& file);
    // Picks `file` in the next save dialog and presses "Salvar Como".
    void saveAs(const QString& file);

    QTemporaryDir folder;
    RecordingDialogs dialogs;
    std::unique_ptr<ProgramWindows> windows;
};

// Every menu command that shows a window, with the window it shows.
std::vector<std::pair<QAction*, QWidget*>> windowsFromTheMenu();

// Readable failures.
void PrintTo(const QString& text, std::ostream* out);

// A small picture whose pixels all differ, in the program's working format.
QImage testImage(int width = 23, int height = 17);
// The picture a file holds, read by the program's own loader.
pixmora::Bitmap loadBitmap(const QString& path);
pixmora::Bitmap toBitmap(const QImage& image);
// The mean difference of the channels of two pictures of one size (256 for different sizes).
double difference(const pixmora::Bitmap& a, const pixmora::Bitmap& b);
// The format a file's content announces ("bmp", "jpeg", "png" ...), whatever its name says.
QByteArray contentFormat(const QString& path);
