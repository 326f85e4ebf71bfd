#include "Unit1.h"

#include "EffectDialog.h"
#include "EffectTable.h"
#include "Errors.h"
#include "FileNames.h"
#include "Forms.h"
#include "Handlers.h"
#include "OrImage.h"
#include "PictureFile.h"
#include "ProgramFolder.h"
#include "TextFile.h"
#include "Unit18.h"
#include "Unit3.h"
#include "Unit5.h"
#include "Unit6.h"
#include "Unit7.h"
#include "UserDialogs.h"
#include "WindowGeometry.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QtMath>

#include <algorithm>
#include <optional>

using pixmora::userDialogs;

namespace {

const QString RunningWord = QStringLiteral("rodando");
const QString ShutDownWord = QStringLiteral("desligado");

// Every format the picture loader reads, JPEG and BMP first, then each format on its own, then any file.
QStringList openPictureFilters() {
    QStringList patterns = {QStringLiteral("*.jpg"), QStringLiteral("*.jpeg"), QStringLiteral("*.bmp"),
                            QStringLiteral("*.png")};
    for (const QByteArray& format : QImageReader::supportedImageFormats()) {
        const QString pattern = QStringLiteral("*.") + QString::fromLatin1(format).toLower();
        if (!patterns.contains(pattern))
            patterns.append(pattern);
    }
    QStringList filters = {
        QStringLiteral("Todos os arquivos de imagem (%1)").arg(patterns.join(QLatin1Char(' '))),
        QStringLiteral("Imagem JPEG (*.jpg *.jpeg)"), QStringLiteral("Bitmap (*.bmp)"),
        QStringLiteral("Imagem PNG (*.png)")};
    if (patterns.contains(QStringLiteral("*.gif")))
        filters.append(QStringLiteral("Imagem GIF (*.gif)"));
    if (patterns.contains(QStringLiteral("*.webp")))
        filters.append(QStringLiteral("Imagem WebP (*.webp)"));
    if (patterns.contains(QStringLiteral("*.ico")))
        filters.append(QStringLiteral("Ícone (*.ico)"));
    filters.append(QStringLiteral("Todos (*)"));
    return filters;
}

// The save dialog's type list, and the default extension of each entry in the same order. A name typed
// with .png or .jpeg is written in that format all the same.
const QStringList SaveFilters = {QStringLiteral("Bitmaps (*.bmp)"),
                                 QStringLiteral("JPEG Image File (*.jpg)")};
const QStringList SaveExtensions = {QStringLiteral("bmp"), QStringLiteral("jpg")};

// The document's size as the program reports and remembers it, in picture pixels: a picture shown at its
// own size has its own size on any screen, one picture pixel per device pixel.
QSize reportedSize(const TOrImage* image) {
    if (image->AutoSize() && image->PictureShown().hasGraphic())
        return QSize(image->PictureShown().width(), image->PictureShown().height());
    return image->size();
}

QString sizeText(const TOrImage* image) {
    const QSize size = reportedSize(image);
    return QStringLiteral(" Tamanho: ") + QString::number(size.width()) + QStringLiteral(" x ") +
           QString::number(size.height());
}

TOrImage* document() {
    return Form3->ui.OrImage1;
}

// The screen widths the full-screen view serves, each with the smallest remembered picture size that it
// stretches over the whole screen. The height comes with the width, whatever the screen's real height.
std::optional<QSize> fullScreenThreshold(int screenWidth) {
    switch (screenWidth) {
    case 640:
        return QSize(640, 480);
    case 800:
        return QSize(800, 600);
    case 1024:
        return QSize(1024, 768);
    default:
        return std::nullopt;
    }
}

// The tool bar in the window's own font: a caption that needs more room than its designed width widens
// its button, and the controls after it move along, in their designed order and gaps.
void layoutToolBar(QWidget* toolBar, const QList<QWidget*>& controls) {
    int shift = 0;
    for (QWidget* control : controls) {
        const QRect designed = control->geometry();
        const int width = std::max(designed.width(), control->sizeHint().width());
        control->setGeometry(designed.x() + shift, designed.y(), width, designed.height());
        shift += width - designed.width();
    }
    toolBar->resize(toolBar->width() + shift, toolBar->height());
}

} // namespace

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
    ui.setupUi(this);
    // The restored window's frame: 545 x 375 at (120, 91).
    setOuterSize(this, QSize(545, 375));
    moveFrameTo(this, QPoint(120, 91));
    setAcceptDrops(true);
    layoutToolBar(ui.Panel1, {ui.SpeedButton1, ui.SpeedButton2, ui.SpeedButton3, ui.SpeedButton4,
                              ui.CheckBox1, ui.SpeedButton5});

    StatusBar1Text = new QLabel(ui.StatusBar1);
    StatusBar1Text->setObjectName(QStringLiteral("StatusBar1Text"));
    // A long file name is cut at the window's edge rather than widening the window.
    StatusBar1Text->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    ui.StatusBar1->addWidget(StatusBar1Text, 1);

    // Qt's own dialogs rather than the desktop's: the save dialog's file-name box must follow its type list.
    OpenPictureDialog1 = new QFileDialog(this);
    OpenPictureDialog1->setObjectName(QStringLiteral("OpenPictureDialog1"));
    OpenPictureDialog1->setOption(QFileDialog::DontUseNativeDialog);
    OpenPictureDialog1->setWindowTitle(QStringLiteral("Abrir"));
    OpenPictureDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    OpenPictureDialog1->setFileMode(QFileDialog::ExistingFile);
    OpenPictureDialog1->setNameFilters(openPictureFilters());

    SavePictureDialog1 = new QFileDialog(this);
    SavePictureDialog1->setObjectName(QStringLiteral("SavePictureDialog1"));
    SavePictureDialog1->setOption(QFileDialog::DontUseNativeDialog);
    // Saving over an existing file asks nothing.
    SavePictureDialog1->setOption(QFileDialog::DontConfirmOverwrite);
    SavePictureDialog1->setWindowTitle(QStringLiteral("Salvar como"));
    SavePictureDialog1->setAcceptMode(QFileDialog::AcceptSave);
    SavePictureDialog1->setFileMode(QFileDialog::AnyFile);
    SavePictureDialog1->setNameFilters(SaveFilters);

    connectHandlers();
    addShortcuts();
    pixmora::guarded([this] { FormCreate(); });
}

TForm1::~TForm1() = default;

void TForm1::addShortcuts() {
    ui.Abrir1->setShortcut(QKeySequence::Open);
    ui.Copiar2->setShortcut(QKeySequence::Copy);
    ui.Sair2->setShortcut(QKeySequence::Quit);
    // The tool buttons without a menu entry get theirs through actions of their own.
    const auto buttonShortcut = [this](const char* name, QToolButton* button, QList<QKeySequence> keys) {
        auto* action = new QAction(this);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcuts(keys);
        connect(action, &QAction::triggered, button, &QToolButton::click);
        addAction(action);
        return action;
    };
    QList<QKeySequence> fullScreen = {QKeySequence(Qt::Key_F11)};
    for (const QKeySequence& key : QKeySequence::keyBindings(QKeySequence::FullScreen))
        if (!fullScreen.contains(key))
            fullScreen.append(key);
    m_shortcuts = {
        ui.Abrir1,
        ui.Copiar2,
        ui.Sair2,
        buttonShortcut("SaveShortcut", ui.SpeedButton2, QKeySequence::keyBindings(QKeySequence::Save)),
        buttonShortcut("SaveAsShortcut", ui.SpeedButton3, QKeySequence::keyBindings(QKeySequence::SaveAs)),
        buttonShortcut("FullScreenShortcut", ui.SpeedButton4, fullScreen)};
}

void TForm1::shareShortcuts(QWidget* window) const {
    // The same keys work while the picture window is the active one.
    window->addActions(m_shortcuts);
}

void TForm1::connectHandlers() {
    connect(ui.SpeedButton1, &QToolButton::clicked, this, handler(this, &TForm1::SpeedButton1Click));
    connect(ui.SpeedButton2, &QToolButton::clicked, this, handler(this, &TForm1::SpeedButton2Click));
    connect(ui.SpeedButton3, &QToolButton::clicked, this, handler(this, &TForm1::SpeedButton3Click));
    connect(ui.SpeedButton4, &QToolButton::clicked, this, handler(this, &TForm1::SpeedButton4Click));
    connect(ui.SpeedButton5, &QToolButton::clicked, this, handler(this, &TForm1::SpeedButton5Click));
    // Like the check box's click event, this also runs when the program ticks or clears the box.
    connect(ui.CheckBox1, &QCheckBox::toggled, this, handler(this, &TForm1::CheckBox1Click));

    const std::pair<QAction*, void (TForm1::*)()> menuCommands[] = {
        {ui.Abrir1, &TForm1::Abrir1Click},
        {ui.Salvar1, &TForm1::Salvar1Click},
        {ui.Sair2, &TForm1::Sair2Click},
        {ui.Copiar1, &TForm1::Copiar1Click},
        {ui.Copiar2, &TForm1::Copiar2Click},
        {ui.Preferncias1, &TForm1::Preferncias1Click},
        {ui.Color1, &TForm1::Color1Click},
        {ui.Saturao1, &TForm1::Saturao1Click},
        {ui.LightnessDarkness1, &TForm1::LightnessDarkness1Click},
        {ui.Splitlight1, &TForm1::Splitlight1Click},
        {ui.EscaladeCinza1, &TForm1::EscaladeCinza1Click},
        {ui.InverterCores1, &TForm1::InverterCores1Click},
        {ui.ColorMonoNoise1, &TForm1::ColorMonoNoise1Click},
        {ui.PosterizeSolarize1, &TForm1::PosterizeSolarize1Click},
        {ui.Mosaico1, &TForm1::Mosaico1Click},
        {ui.SplitBlur1, &TForm1::SplitBlur1Click},
        {ui.GaussianBlur1, &TForm1::GaussianBlur1Click},
        {ui.Antialias1, &TForm1::Antialias1Click},
        {ui.race1, &TForm1::race1Click},
        {ui.ile1, &TForm1::ile1Click},
        {ui.Emboss1, &TForm1::Emboss1Click},
        {ui.Manual1, &TForm1::Manual1Click},
        {ui.Sobre2, &TForm1::Sobre2Click},
    };
    for (const auto& [action, method] : menuCommands)
        connect(action, &QAction::triggered, this, handler(this, method));
    // "&Salvar" (N1) and "&Manual" (Manual2) are in the menu and do nothing.

    connect(SavePictureDialog1, &QFileDialog::filterSelected, this,
            handler(this, &TForm1::SavePictureDialog1TypeChange));
}

QString TForm1::RootPath() {
    return pixmora::programFolder();
}

QString TForm1::runStateFile() {
    return pixmora::settingsFolder() + QStringLiteral("config.txt");
}

QString TForm1::statusText() const {
    return StatusBar1Text->text();
}

void TForm1::setStatusText(const QString& text) {
    StatusBar1Text->setText(text);
}

void TForm1::writeRunStateFile(const QString& pictureFileName) {
    pixmora::writeOwnTextFile(runStateFile(), {pictureFileName, RunState});
}

// --- start and end ---------------------------------------------------------------------------------

void TForm1::FormCreate() {
    const QStringList lines = pixmora::readOwnTextLines(runStateFile());
    const QString lastPicture = lines.value(0);
    RunState = lines.value(1);
    if (RunState == RunningWord) {
        if (userDialogs().confirm(
                nullptr,
                QStringLiteral("O Pixmora não foi desligado corretamente. Recuperar ultima imagem?"))) {
            // The host window does not exist yet; the picture comes back once every window does.
            m_recoveryPending = true;
            m_recoveryFileName = lastPicture;
        }
        RunState = RunningWord;
        writeRunStateFile(QString());
    }
    const QSize screen = primaryScreenSize();
    ui.Panel1->resize(screen.width() - 1, ui.Panel1->height());
    // 4 pixels before the screen's right edge (at x = width - 98 for the designed 94-pixel button).
    ui.SpeedButton5->move(screen.width() - 4 - ui.SpeedButton5->width(), ui.SpeedButton5->y());
}

void TForm1::finishStartup() {
    if (!m_recoveryPending)
        return;
    m_recoveryPending = false;
    pixmora::guarded([this] { recoverPicture(m_recoveryFileName); });
}

void TForm1::recoverPicture(const QString& fileName) {
    // An empty line names no file at all.
    if (fileName.isEmpty())
        throw pixmora::InOutError(2);
    pixmora::Bitmap picture = pixmora::loadPicture(fileName);
    Form3->show();
    const QSize screen = primaryScreenSize();
    setOuterSize(Form3, QSize(screen.width() - 2, screen.height() - 120));
    takePicture(fileName, std::move(picture));
    userDialogs().showInformation(this, QStringLiteral("Imagem recuperada!"));
}

void TForm1::FormClose() {
    RunState = ShutDownWord;
    writeRunStateFile(QString());
}

void TForm1::closeEvent(QCloseEvent* event) {
    // A failed write is reported, and the program still ends: the user asked to leave.
    pixmora::guarded([this] { FormClose(); });
    event->accept();
    QCoreApplication::quit();
}

// --- opening ----------------------------------------------------------------------------------------

void TForm1::prepareOpen() {
    TOrImage* image = document();
    image->setPictureOriginal(pixmora::loadPicture(RootPath() + QStringLiteral("px.jpg")));
    m_showsPlaceholder = true;
    Form3->show();
    const QSize screen = primaryScreenSize();
    setOuterSize(Form3, QSize(screen.width() - 2, screen.height() - 120));
    image->ResetEffects();
    Form3->UpdateAllEffectsControls();
}

void TForm1::abririmagem() {
    prepareOpen();
    if (!userDialogs().runFileDialog(*OpenPictureDialog1))
        return;
    const QString fileName = OpenPictureDialog1->selectedFiles().value(0);
    takePicture(fileName, pixmora::loadPicture(fileName));
}

void TForm1::openFile(const QString& file) {
    // The name as the open dialog would give it: absolute, the links in it kept.
    const QString fileName = QFileInfo(file).absoluteFilePath();
    prepareOpen();
    takePicture(fileName, pixmora::loadPicture(fileName));
}

namespace {

QString droppedFile(const QMimeData* data) {
    if (!data || !data->hasUrls())
        return QString();
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            return url.toLocalFile();
    return QString();
}

} // namespace

void TForm1::acceptPictureDrag(QDragEnterEvent* event) {
    if (!droppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TForm1::dropPicture(QDropEvent* event) {
    const QString file = droppedFile(event->mimeData());
    if (file.isEmpty())
        return;
    event->acceptProposedAction();
    pixmora::guarded([&] { openFile(file); });
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    acceptPictureDrag(event);
}

void TForm1::dropEvent(QDropEvent* event) {
    dropPicture(event);
}

// The steps after a successful open: the picture becomes the document and the current file.
void TForm1::takePicture(const QString& fileName, pixmora::Bitmap&& picture) {
    TOrImage* image = document();
    image->setPictureOriginal(std::move(picture));
    m_showsPlaceholder = false;
    Form3->setCaption(fileName);
    setStatusText(fileName + sizeText(image));
    ui.SpeedButton2->setEnabled(true);
    ui.SpeedButton3->setEnabled(true);
    ui.SpeedButton4->setEnabled(true);
    RunState = RunningWord;
    ImageFileName = fileName;
    ImageHeight = reportedSize(image).height();
    ImageWidth = reportedSize(image).width();
    m_rememberedAtOwnSize = image->AutoSize();
    writeRunStateFile(ImageFileName);
}

void TForm1::SpeedButton1Click() {
    abririmagem();
}

void TForm1::Abrir1Click() {
    abririmagem();
}

void TForm1::CheckBox1Click() {
    TOrImage* image = document();
    if (ui.CheckBox1->isChecked()) {
        image->setAutoSize(true);
    } else {
        image->setAutoSize(false);
        image->resize(785, 440);
    }
    Form3->show();
}

// --- saving -----------------------------------------------------------------------------------------

void TForm1::SpeedButton2Click() {
    TOrImage* image = document();
    const QString fileName = Form3->caption();
    if (m_showsPlaceholder) {
        // The caption still names the last picture; writing the placeholder over it would destroy it.
        userDialogs().showMessage(this,
                                  QStringLiteral("Nenhuma imagem aberta para salvar. Abra uma imagem antes "
                                                 "de salvar."));
        return;
    }
    if (!image->PictureShown().hasGraphic())
        return;
    const pixmora::PictureFormat format = writerForFileName(fileName);
    if (format == pixmora::PictureFormat::Jpeg)
        ConverteBMPparaJPG(fileName, 80);
    else
        pixmora::savePicture(image->PictureShown().bitmap(), fileName, format);
    setStatusText(QStringLiteral("Imagem ") + fileName + QStringLiteral(" salva com sucesso!"));
    userDialogs().showMessage(this, QStringLiteral("Imagem salva com sucesso!"));
    Form3->activateWindow();
    Form3->setFocus();
}

void TForm1::SpeedButton3Click() {
    TOrImage* image = document();
    if (!image->PictureShown().hasGraphic())
        return;
    if (!userDialogs().runFileDialog(*SavePictureDialog1))
        return;
    const QString fileName = chosenSaveName();
    const pixmora::PictureFormat format = writerForFileName(fileName);
    if (format == pixmora::PictureFormat::Jpeg) {
        salvajpg();
        return;
    }
    pixmora::savePicture(image->PictureShown().bitmap(), fileName, format);
    setStatusText(QStringLiteral("Imagem ") + fileName + QStringLiteral(" salva com sucesso!"));
}

QString TForm1::chosenSaveName() const {
    return SavePictureDialog1->selectedFiles().value(0);
}

void TForm1::salvajpg() {
    const QString fileName = chosenSaveName();
    ConverteBMPparaJPG(fileName, 80);
    setStatusText(QStringLiteral("Imagem ") + fileName + QStringLiteral(" salva com sucesso!"));
    if (pixmora::formatForFileName(Form3->caption()) == pixmora::PictureFormat::Bmp)
        Form3->botanotopo();
}

void TForm1::ConverteBMPparaJPG(const QString& fileName, int quality) {
    // The file keeps the name it was given: on a file system that tells letter case apart, renaming
    // praia.jpg to praia.JPG would leave two files, or lose the one the user meant.
    pixmora::savePictureJpeg(document()->PictureShown().bitmap(), fileName, quality);
}

void TForm1::SavePictureDialog1TypeChange() {
    const qsizetype index = SaveFilters.indexOf(SavePictureDialog1->selectedNameFilter());
    if (index < 0)
        return;
    const QString extension = SaveExtensions.at(index);
    SavePictureDialog1->setDefaultSuffix(extension);
    const QLineEdit* nameBox = SavePictureDialog1->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!nameBox || nameBox->text().isEmpty())
        return;
    // Through the dialog rather than into the box alone: a file still selected in the list would
    // otherwise win over the new name.
    SavePictureDialog1->selectFile(changeFileExt(nameBox->text(), QLatin1Char('.') + extension));
}

// --- other picture commands ---------------------------------------------------------------------------

void TForm1::Copiar1Click() {
    if (!userDialogs().confirm(
            this, QStringLiteral(
                      "Deseja reverter o arquivo para o ultimo ponto salvo?. Alterações serão perdidas!")))
        return;
    document()->ResetEffects();
    Form3->UpdateAllEffectsControls();
    Form3->botanotopo();
}

void TForm1::Copiar2Click() {
    QGuiApplication::clipboard()->setImage(document()->shownImage());
    setStatusText(QStringLiteral("A imagem foi copiada com sucesso para a área de transferência!"));
}

void TForm1::Salvar1Click() {
    Form3->close();
    ui.SpeedButton2->setEnabled(false);
    ui.SpeedButton3->setEnabled(false);
    ui.SpeedButton4->setEnabled(false);
}

void TForm1::Sair2Click() {
    close();
}

void TForm1::Manual1Click() {
    Form3->showNormal();
    Form3->raise();
    Form3->activateWindow();
    setStatusText(ImageFileName + sizeText(document()));
}

// --- windows shown over the picture ---------------------------------------------------------------------

void TForm1::showOverHost(QWidget* window) {
    Form3->foradotopo();
    window->show();
    window->raise();
    window->activateWindow();
}

void TForm1::SpeedButton4Click() {
    Form5->ui.Edit2->setText(pixmora::readOwnTextLine(runStateFile(), 0));
    const QSize screen = primaryScreenSize();
    const std::optional<QSize> threshold = fullScreenThreshold(screen.width());
    const QSize viewSize = screen - QSize(2, 2);
    Form5->resize(viewSize);
    // Maximized, and full screen as well: a maximized window leaves the desktop's panels uncovered.
    Form5->setWindowState(Qt::WindowMaximized | Qt::WindowFullScreen);
    if (!threshold) {
        userDialogs().showMessage(this, QStringLiteral("Essa versao ainda nao suporta modos Widescreen"));
        return;
    }
    // The remembered size decides, not the file's: with the fit mode off it is the fixed 785 x 440.
    const bool fills = TForm6::stretchesFullScreen() && ImageWidth >= threshold->width() &&
                       ImageHeight >= threshold->height();
    // A size remembered in picture pixels is shown one picture pixel per device pixel.
    QSize remembered(ImageWidth, ImageHeight);
    if (m_rememberedAtOwnSize)
        remembered = QSize(qCeil(ImageWidth / Form5->devicePixelRatioF()),
                           qCeil(ImageHeight / Form5->devicePixelRatioF()));
    Form5->ui.OrImage2->resize(fills ? viewSize : remembered);
    Form3->foradotopo();
    // The view takes the document's picture and effects as it shows.
    Form5->show();
    Form5->raise();
    Form5->activateWindow();
}

void TForm1::SpeedButton5Click() {
    showOverHost(Form18);
}

void TForm1::Preferncias1Click() {
    showOverHost(Form6);
}

void TForm1::Sobre2Click() {
    showOverHost(Form7);
}

void TForm1::Color1Click() {
    effectCommand(ui.Color1);
}

void TForm1::Saturao1Click() {
    effectCommand(ui.Saturao1);
}

void TForm1::LightnessDarkness1Click() {
    effectCommand(ui.LightnessDarkness1);
}

void TForm1::Splitlight1Click() {
    effectCommand(ui.Splitlight1);
}

void TForm1::ColorMonoNoise1Click() {
    effectCommand(ui.ColorMonoNoise1);
}

void TForm1::PosterizeSolarize1Click() {
    effectCommand(ui.PosterizeSolarize1);
}

void TForm1::Mosaico1Click() {
    effectCommand(ui.Mosaico1);
}

void TForm1::SplitBlur1Click() {
    effectCommand(ui.SplitBlur1);
}

void TForm1::GaussianBlur1Click() {
    effectCommand(ui.GaussianBlur1);
}

void TForm1::Antialias1Click() {
    effectCommand(ui.Antialias1);
}

void TForm1::race1Click() {
    effectCommand(ui.race1);
}

void TForm1::ile1Click() {
    effectCommand(ui.ile1);
}

void TForm1::EscaladeCinza1Click() {
    effectCommand(ui.EscaladeCinza1);
}

void TForm1::InverterCores1Click() {
    effectCommand(ui.InverterCores1);
}

void TForm1::Emboss1Click() {
    effectCommand(ui.Emboss1);
}

void TForm1::effectCommand(const QAction* action) {
    for (const pixmora::EffectDescription& effect : pixmora::Effects) {
        if (action->objectName() != QLatin1String(effect.menuCommand))
            continue;
        // The on/off effects only ever switch on; "&Reverter" and the dialogs' Cancel switch them off.
        if (effect.isSwitch)
            document()->writeEffect(effect, 1);
        else if (EffectDialog* dialog = EffectDialog::find(effect.bar.dialog))
            showOverHost(dialog);
        return;
    }
}
