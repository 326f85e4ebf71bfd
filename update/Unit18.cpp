#include "Unit18.h"

#include "Download.h"
#include "ProgramFolder.h"
#include "TextFile.h"
#include "UserDialogs.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QStyle>
#include <QThread>
#include <QUrl>

namespace {

// In the current directory, as a bare name, beside a program folder that can be written; in the user's
// cache folder for an installed program.
QString updateFile() {
    return pixmora::downloadFolder() + QStringLiteral("update.txt");
}
// The shell took both strings through buffers of this many characters.
constexpr int kShellTextLimit = 1024;
constexpr int kPausaStepMs = 100;

QString g_updateAddress;
QString g_downloadPage;
int g_pausaStepMs = kPausaStepMs;
TForm18::Opener g_opener;

} // namespace

TForm18::TForm18(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
    ui.setupUi(this); // the layout fixes the size: the border cannot be dragged

    // A read-only status line, greyed like the window behind it.
    QPalette palette = ui.Edit1->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    ui.Edit1->setPalette(palette);
    ui.BitBtn1->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));

    connect(ui.BitBtn1, &QPushButton::clicked, this, &TForm18::BitBtn1Click);
    connect(ui.Button1, &QPushButton::clicked, this, &TForm18::Button1Click);
    connect(ui.Button2, &QPushButton::clicked, this, &TForm18::Button2Click);

    FormCreate();
}

void TForm18::FormCreate() {
    pixmora::guarded([this] { ui.Label3->setText(pixmora::readTextLine(RootPath() + "versao.txt", 0)); });
}

void TForm18::BitBtn1Click() {
    pixmora::guarded([this] {
        ui.Edit1->setText(QStringLiteral("Baixando informacoes de upgrades. Aguarde..."));
        Pausa(2);
        const QString localFile = updateFile();
        QFile::remove(localFile);
        if (!BaixaArquivo(updateAddress(), localFile)) {
            pixmora::userDialogs().showMessage(this, QStringLiteral("Erro! Comunique a Zuroved Ivudevore"));
            return;
        }
        pixmora::userDialogs().showMessage(this, QStringLiteral("Verificação concluida! Pressione OK"));

        // Label3 is where the installed version is kept; versions are compared exactly, as opaque text.
        const QString installed = ui.Label3->text();
        const QString published = pixmora::readTextLine(localFile, 0);
        if (published != installed) {
            ui.Edit1->setText(QStringLiteral("Há uma atualização disponivel. Clique em Atualizar."));
            ui.Button1->show();
        } else {
            // "Atualizar" stays if an earlier check showed it.
            ui.Edit1->setText(QStringLiteral("Sem atualizações. Sistema já atualizado."));
        }
    });
}

void TForm18::Button1Click() {
    pixmora::guarded([this] { ExecutePrograma(downloadPage(), QString()); });
}

void TForm18::Button2Click() {
    close();
}

QString TForm18::RootPath() const {
    return pixmora::programFolder();
}

void TForm18::Pausa(int seconds) {
    for (long long step = 0; step < seconds * 10LL; ++step) {
        QThread::msleep(static_cast<unsigned long>(g_pausaStepMs));
        QCoreApplication::processEvents();
    }
}

void TForm18::ExecutePrograma(const QString& file, const QString& parameters) {
    const QString target = file.left(kShellTextLimit);
    const QString arguments = parameters.left(kShellTextLimit);
    if (g_opener) {
        g_opener(target, arguments);
        return;
    }
    // The desktop opens addresses and documents with their default program; it takes no parameter
    // string, and the program never passes one. Whether it worked is not our business.
    QDesktopServices::openUrl(QUrl::fromUserInput(target));
}

QString TForm18::updateAddress() {
    if (!g_updateAddress.isEmpty())
        return g_updateAddress;
    return QStringLiteral("http://" PIXMORA_UPDATE_HOST "/zuruzerudor/update.txt");
}

QString TForm18::downloadPage() {
    if (!g_downloadPage.isEmpty())
        return g_downloadPage;
    return QStringLiteral("http://" PIXMORA_SITE_HOST "/zuruzerudor/pixmora.htm");
}

void TForm18::setAddressesForTesting(const QString& update, const QString& page) {
    g_updateAddress = update;
    g_downloadPage = page;
}

void TForm18::setPausaStepForTesting(int milliseconds) {
    g_pausaStepMs = milliseconds < 0 ? kPausaStepMs : milliseconds;
}

void TForm18::setOpenerForTesting(Opener opener) {
    g_opener = std::move(opener);
}
