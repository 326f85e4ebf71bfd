#pragma once

#include <QMainWindow>

#include "ui_Unit1.h"

class QDragEnterEvent;
class QDropEvent;
class QFileDialog;
class QLabel;

namespace pixmora {
class Bitmap;
}

// The main window "Pixmora Beta 4": menu, tool bar and status bar. The picture itself lives in the host
// window TForm3, which floats above this one.
class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    Ui::TForm1 ui;
    QLabel* StatusBar1Text = nullptr; // the status bar's single text, always overwritten whole
    QFileDialog* OpenPictureDialog1 = nullptr;
    QFileDialog* SavePictureDialog1 = nullptr;

    // Shared by the picture commands.
    QString ImageFileName; // the picture last opened through the open dialog
    QString RunState;      // the word last read from or written to config.txt
    int ImageWidth = 0;    // OrImage1's size right after the last open
    int ImageHeight = 0;

    static QString RootPath();
    // "config.txt": in the program folder, or in the user's configuration folder when that cannot be written.
    static QString runStateFile();
    QString statusText() const;
    // True while OrImage1 holds the placeholder (an open was cancelled or failed): Save then writes nothing.
    bool showsPlaceholder() const { return m_showsPlaceholder; }

    // Opens a picture file as an open through the dialog would (the command line, a drop).
    void openFile(const QString& fileName);
    // A picture file dragged over or dropped on one of the program's windows.
    void acceptPictureDrag(QDragEnterEvent* event);
    void dropPicture(QDropEvent* event);
    // The keyboard shortcuts of the main window, also in `window`.
    void shareShortcuts(QWidget* window) const;

    // What the creation could not do before every window existed: bringing back the last picture.
    void finishStartup();

    void FormCreate();
    void FormClose();

    void SpeedButton1Click(); // "Abrir"
    void SpeedButton2Click(); // "Salvar"
    void SpeedButton3Click(); // "Salvar Como"
    void SpeedButton4Click(); // "Tela Cheia"
    void SpeedButton5Click(); // "Atualizações"
    void CheckBox1Click();    // "Redimensionar"

    void Abrir1Click();
    void Salvar1Click(); // "&Fechar"
    void Sair2Click();
    void Copiar1Click(); // "&Reverter"
    void Copiar2Click(); // "&Copiar"
    void Preferncias1Click();
    void Color1Click();
    void Saturao1Click();
    void LightnessDarkness1Click();
    void Splitlight1Click();
    void EscaladeCinza1Click();
    void InverterCores1Click();
    void ColorMonoNoise1Click();
    void PosterizeSolarize1Click();
    void Mosaico1Click();
    void SplitBlur1Click();
    void GaussianBlur1Click();
    void Antialias1Click();
    void race1Click();
    void ile1Click();
    void Emboss1Click();
    void Manual1Click(); // "&Restaurar janela"
    void Sobre2Click();

    void SavePictureDialog1TypeChange();

    void abririmagem();
    void salvajpg();
    void ConverteBMPparaJPG(const QString& fileName, int quality);

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void connectHandlers();
    void addShortcuts();
    void prepareOpen();
    void setStatusText(const QString& text);
    void writeRunStateFile(const QString& pictureFileName);
    void showOverHost(QWidget* window);
    // An effect's menu command: a switch goes on, any other effect's dialog opens over the picture.
    void effectCommand(const QAction* action);
    void takePicture(const QString& fileName, pixmora::Bitmap&& picture);
    void recoverPicture(const QString& fileName);
    QString chosenSaveName() const;

    QList<QAction*> m_shortcuts;
    bool m_rememberedAtOwnSize = true; // ImageWidth and ImageHeight are the picture's own size
    bool m_showsPlaceholder = false;
    bool m_recoveryPending = false;
    QString m_recoveryFileName;
};
