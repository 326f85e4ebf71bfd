#include "Download.h"
#include "TestHttpServer.h"
#include "Unit18.h"

#include "ProgramFolder.h"
#include "UserDialogs.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kBusy = QStringLiteral("Baixando informacoes de upgrades. Aguarde...");
const QString kFailed = QStringLiteral("Erro! Comunique a Zuroved Ivudevore");
const QString kDone = QStringLiteral("Verificação concluida! Pressione OK");
const QString kUpdate = QStringLiteral("Há uma atualização disponivel. Clique em Atualizar.");
const QString kCurrent = QStringLiteral("Sem atualizações. Sistema já atualizado.");

class RecordingDialogs : public pixmora::UserDialogs {
public:
    void showMessage(QWidget*, const QString& text) override { messages.append(text); }
    void showError(QWidget*, const QString& text) override { errors.append(text); }
    QStringList messages;
    QStringList errors;
};

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

QByteArray chunked(const QList<QByteArray>& pieces) {
    QByteArray raw = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (const QByteArray& piece : pieces)
        raw += QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n";
    return raw + "0\r\n\r\n";
}

QByteArray padded(const QByteArray& firstLine, qint64 size) {
    return (firstLine + "\r\n").leftJustified(size, 'x');
}

QString addressOnPort(quint16 port) {
    return QStringLiteral("http://127.0.0.1:%1/zuruzerudor/update.txt").arg(port);
}

// Each test has its own program folder holding "versao.txt", and its own current directory, where
// "update.txt" must land.
class UpdateWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_program.isValid() && m_work.isValid());
        writeFile(m_program.filePath("versao.txt"), "Beta 4\r\nignored\r\n");
        pixmora::setProgramFolderForTesting(m_program.path());
        ASSERT_TRUE(QDir::setCurrent(m_work.path()));
        pixmora::setUserDialogs(&m_dialogs);
        TForm18::setPausaStepForTesting(1);
        TForm18::setAddressesForTesting(addressOnPort(m_server.port()), QString());
        TForm18::setOpenerForTesting([this](const QString& file, const QString& parameters) {
            m_opened.append({file, parameters});
        });
        setDownloadTimeoutsForTesting({500, 500, 3000});
    }
    void TearDown() override {
        setDownloadTimeoutsForTesting(DownloadTimeouts{});
        TForm18::setOpenerForTesting({});
        TForm18::setAddressesForTesting(QString(), QString());
        TForm18::setPausaStepForTesting(-1);
        pixmora::setUserDialogs(nullptr);
        QDir::setCurrent(m_startDir);
        pixmora::setProgramFolderForTesting(QString());
    }
    void check() { m_form->ui.BitBtn1->click(); }
    QString status() const { return m_form->ui.Edit1->text(); }
    bool atualizarShown() const { return m_form->ui.Button1->isVisible(); }
    QString localFile() const { return m_work.filePath("update.txt"); }
    void createWindow() {
        m_form = std::make_unique<TForm18>();
        m_form->show();
    }

    TestHttpServer m_server;
    QTemporaryDir m_program;
    QTemporaryDir m_work;
    const QString m_startDir = QDir::currentPath();
    RecordingDialogs m_dialogs;
    QList<QStringList> m_opened;
    std::unique_ptr<TForm18> m_form;
};

bool textFits(const QLabel* label) {
    const QRect room = label->contentsRect();
    const QRect needed = label->fontMetrics().boundingRect(
        QRect(0, 0, room.width(), 10000), label->wordWrap() ? Qt::TextWordWrap : 0, label->text());
    return needed.width() <= room.width() && needed.height() <= room.height();
}

TEST_F(UpdateWindow, StartsReadyWithTheInstalledVersionAndEveryTextInView) {
    createWindow();
    const Ui::TForm18& ui = m_form->ui;
    EXPECT_EQ(m_form->size(), QSize(367, 180));
    EXPECT_EQ(m_form->minimumSize(), m_form->maximumSize());
    EXPECT_FALSE(m_form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(status(), "Pronto.");
    EXPECT_TRUE(ui.Edit1->isReadOnly());
    EXPECT_EQ(ui.Edit1->palette().color(QPalette::Base), ui.Edit1->palette().color(QPalette::Window));
    EXPECT_FALSE(atualizarShown());
    EXPECT_EQ(ui.Label3->text(), "Beta 4");
    EXPECT_TRUE(m_dialogs.errors.isEmpty());

    const QRect client(QPoint(0, 0), m_form->size());
    for (const QLabel* label : {ui.Label1, ui.Label2, ui.Label3})
        EXPECT_TRUE(textFits(label) && client.contains(label->geometry()))
            << label->objectName().toStdString();
    for (const QPushButton* button : {ui.BitBtn1, ui.Button1, ui.Button2}) {
        EXPECT_LE(button->sizeHint().width(), button->width()) << button->objectName().toStdString();
        EXPECT_TRUE(client.contains(button->geometry())) << button->objectName().toStdString();
    }
    EXPECT_LE(ui.Edit1->fontMetrics().horizontalAdvance(kUpdate), ui.Edit1->contentsRect().width() - 8);
}

TEST_F(UpdateWindow, MissingVersionFileIsReportedAndComparedAsEmpty) {
    QFile::remove(m_program.filePath("versao.txt"));
    createWindow();
    EXPECT_EQ(m_dialogs.errors, QStringList{"File not found."});
    EXPECT_EQ(m_form->ui.Label3->text(), "");

    m_server.setAnswer(TestHttpServer::response(200, "Beta 4"));
    check();
    EXPECT_EQ(status(), kUpdate);
}

struct Case {
    const char* name;
    QByteArray answer;     // what the server sends; empty: it never answers
    QByteArray saved = {}; // what "update.txt" must hold afterwards
    bool updateExpected = false;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class PublishedVersion : public UpdateWindow, public ::testing::WithParamInterface<Case> {};

TEST_P(PublishedVersion, IsComparedExactlyWithTheInstalledOne) {
    m_server.setAnswer(GetParam().answer);
    createWindow();
    check();
    EXPECT_EQ(m_dialogs.messages, QStringList{kDone});
    EXPECT_EQ(status(), GetParam().updateExpected ? kUpdate : kCurrent);
    EXPECT_EQ(atualizarShown(), GetParam().updateExpected);
    QFile saved(localFile());
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), GetParam().saved);
}

const QByteArray kLimitBody = padded("Beta 4", kMaxDownloadBytes);

INSTANTIATE_TEST_SUITE_P(
    Answers, PublishedVersion,
    ::testing::Values(Case{"Same", TestHttpServer::response(200, "Beta 4"), "Beta 4"},
                      Case{"SameCrLf", TestHttpServer::response(200, "Beta 4\r\nx\r\n"), "Beta 4\r\nx\r\n"},
                      Case{"SameLf", TestHttpServer::response(200, "Beta 4\nx\n"), "Beta 4\nx\n"},
                      Case{"Newer", TestHttpServer::response(200, "Beta 5\r\n"), "Beta 5\r\n", true},
                      Case{"OtherCase", TestHttpServer::response(200, "beta 4"), "beta 4", true},
                      Case{"TrailingSpace", TestHttpServer::response(200, "Beta 4 \r\n"), "Beta 4 \r\n",
                           true},
                      Case{"Empty", TestHttpServer::response(200, ""), "", true},
                      Case{"Chunked", chunked({"Be", "ta 4\r", "\nrest"}), "Beta 4\r\nrest"},
                      Case{"UntilClose", "HTTP/1.0 200 OK\r\n\r\nBeta 5\n", "Beta 5\n", true},
                      Case{"AtTheSizeLimit", TestHttpServer::response(200, kLimitBody), kLimitBody}),
    [](const auto& info) { return std::string(info.param.name); });

class FailedDownload : public UpdateWindow, public ::testing::WithParamInterface<Case> {};

TEST_P(FailedDownload, EndsInTheErrorBoxAndLeavesNoFile) {
    m_server.setAnswer(GetParam().answer);
    writeFile(localFile(), "Beta 4\r\n"); // from an earlier check: must not pass for the published version
    createWindow();
    QElapsedTimer clock;
    clock.start();
    check();
    EXPECT_LT(clock.elapsed(), 2500);
    EXPECT_EQ(m_dialogs.messages, QStringList{kFailed});
    EXPECT_TRUE(m_dialogs.errors.isEmpty());
    EXPECT_EQ(status(), kBusy);
    EXPECT_FALSE(atualizarShown());
    EXPECT_FALSE(QFile::exists(localFile()));
}

const QByteArray kHuge = padded("Beta 5", 100 * 1024);

INSTANTIATE_TEST_SUITE_P(
    Answers, FailedDownload,
    ::testing::Values(
        Case{"NotFound", TestHttpServer::response(404, "Beta 4")},
        Case{"ServerError", TestHttpServer::response(500, "<html>Internal error</html>")},
        Case{"Redirect", "HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:1/\r\n\r\n"},
        Case{"HugeDeclared", TestHttpServer::response(200, kHuge)},
        Case{"HugeUntilClose", "HTTP/1.0 200 OK\r\n\r\n" + kHuge},
        Case{"HugeChunked", chunked({kHuge.left(60000), kHuge.mid(60000)})},
        Case{"OneByteOver", TestHttpServer::response(200, padded("Beta 5", kMaxDownloadBytes + 1))},
        Case{"CutShort", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nBeta 4\r\n"},
        Case{"CutShortChunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10\r\nBeta 4\r\n"},
        Case{"NotHttp", "Beta 4\r\n\r\n"}, Case{"NeverAnswers", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UpdateWindow, NoServerOrAHangingConnectionEndInTheErrorBox) {
    createWindow();
    TForm18::setAddressesForTesting(addressOnPort(closedPort()), QString());
    check();
    const FullListener full;
    TForm18::setAddressesForTesting(addressOnPort(full.server.serverPort()), QString());
    QElapsedTimer clock;
    clock.start();
    check();
    EXPECT_LT(clock.elapsed(), 2500);
    EXPECT_EQ(m_dialogs.messages, (QStringList{kFailed, kFailed}));
    EXPECT_EQ(status(), kBusy);
}

TEST_F(UpdateWindow, SendsAPlainGetWithTheProgramNameAsAgent) {
    m_server.setAnswer(TestHttpServer::response(200, "Beta 4"));
    createWindow();
    check();
    ASSERT_EQ(m_server.requests().size(), 1);
    const QList<QByteArray> lines = m_server.requests().first().split('\n');
    EXPECT_EQ(lines.first(), "GET /zuruzerudor/update.txt HTTP/1.1\r");
    const QByteArray agent = QFileInfo(QCoreApplication::applicationFilePath()).fileName().toUtf8();
    EXPECT_TRUE(lines.contains("User-Agent: " + agent + "\r")) << agent.constData();
    EXPECT_TRUE(lines.contains("Host: 127.0.0.1:" + QByteArray::number(m_server.port()) + "\r"));
}

TEST_F(UpdateWindow, AtualizarStaysOnceShownAndTheStatusCarriesOver) {
    createWindow();
    m_server.setAnswer(TestHttpServer::response(200, "Beta 5"));
    check();
    EXPECT_EQ(status(), kUpdate);
    m_server.setAnswer(TestHttpServer::response(200, "Beta 4"));
    check();
    EXPECT_EQ(status(), kCurrent);
    EXPECT_TRUE(atualizarShown());

    m_form->ui.Button2->click(); // "&Fechar" only hides
    EXPECT_FALSE(m_form->isVisible());
    m_form->show();
    EXPECT_EQ(status(), kCurrent);
    EXPECT_TRUE(atualizarShown());
}

TEST_F(UpdateWindow, UnwritableCurrentDirectoryIsAFileError) {
    m_server.setAnswer(TestHttpServer::response(200, "Beta 5"));
    createWindow();
    const QByteArray folder = QFile::encodeName(m_work.path());
    ASSERT_EQ(::chmod(folder.constData(), 0555), 0);
    // Permission bits do not stop root, so root runs the check as an ordinary user.
    const bool asRoot = ::geteuid() == 0;
    ASSERT_TRUE(!asRoot || ::seteuid(65534) == 0);
    check();
    ASSERT_TRUE(!asRoot || ::seteuid(0) == 0);
    ::chmod(folder.constData(), 0700);

    EXPECT_EQ(m_dialogs.errors, QStringList{"File access denied."});
    EXPECT_TRUE(m_dialogs.messages.isEmpty());
    EXPECT_EQ(status(), kBusy);
}

TEST_F(UpdateWindow, AtualizarOpensTheDownloadPageAndTheWindowStays) {
    createWindow();
    m_form->ui.Button1->show();
    m_form->ui.Button1->click();
    EXPECT_EQ(m_opened, (QList<QStringList>{{"http://" PIXMORA_SITE_HOST "/zuruzerudor/pixmora.htm", ""}}));
    EXPECT_TRUE(m_form->isVisible());
    EXPECT_EQ(TForm18::downloadPage(), "http://" PIXMORA_SITE_HOST "/zuruzerudor/pixmora.htm");
    TForm18::setAddressesForTesting(QString(), QString());
    EXPECT_EQ(TForm18::updateAddress(), "http://" PIXMORA_UPDATE_HOST "/zuruzerudor/update.txt");

    m_form->ExecutePrograma(QString(1500, 'a'), QString(1025, 'b'));
    EXPECT_EQ(m_opened.last(), (QStringList{QString(1024, 'a'), QString(1024, 'b')}));
}

TEST_F(UpdateWindow, PausaProcessesEventsTenTimesASecond) {
    createWindow();
    int delivered = 0;
    QTimer::singleShot(0, m_form.get(), [&] { ++delivered; });
    m_form->Pausa(0);
    m_form->Pausa(-2);
    EXPECT_EQ(delivered, 0);

    TForm18::setPausaStepForTesting(5);
    QElapsedTimer clock;
    clock.start();
    m_form->Pausa(1);
    EXPECT_GE(clock.elapsed(), 50);
    EXPECT_EQ(delivered, 1);
}

// Proxy settings for one stretch of a test; the variables are unset again afterwards.
class ProxyEnvironment {
public:
    ProxyEnvironment(std::initializer_list<std::pair<const char*, QByteArray>> variables) {
        for (const auto& [name, value] : variables) {
            qputenv(name, value);
            m_names.push_back(name);
        }
    }
    ~ProxyEnvironment() {
        for (const char* name : m_names)
            qunsetenv(name);
    }

private:
    std::vector<const char*> m_names;
};

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

QByteArray localAddress(quint16 port) {
    return "127.0.0.1:" + QByteArray::number(port);
}

TEST_F(UpdateWindow, TheProxiesNamedInTheEnvironmentAreUsed) {
    m_server.setAnswer(TestHttpServer::response(200, "Beta 5"));
    const QByteArray proxy = "http://" + localAddress(m_server.port());
    {
        const ProxyEnvironment environment{{"http_proxy", proxy}};
        EXPECT_TRUE(BaixaArquivo("http://update.invalid/zuruzerudor/update.txt", "update.txt"));
    }
    EXPECT_EQ(contents(localFile()), "Beta 5");
    {
        const ProxyEnvironment environment{{"http_proxy", "http://" + localAddress(closedPort())},
                                           {"no_proxy", "127.0.0.1"}};
        EXPECT_TRUE(BaixaArquivo(addressOnPort(m_server.port()), "update.txt"));
    }
    {
        const ProxyEnvironment environment{{"https_proxy", proxy}};
        EXPECT_FALSE(BaixaArquivo("https://update.invalid/zuruzerudor/update.txt", "update.txt"));
    }
    const QList<QByteArray> requests = m_server.waitForRequests(3);
    ASSERT_EQ(requests.size(), 3);
    EXPECT_TRUE(requests[0].startsWith("GET http://update.invalid/zuruzerudor/update.txt HTTP/1.1\r\n"))
        << requests[0].constData();
    EXPECT_TRUE(requests[1].startsWith("GET /zuruzerudor/update.txt HTTP/1.1\r\n"))
        << requests[1].constData();
    EXPECT_TRUE(requests[2].startsWith("CONNECT update.invalid:443 HTTP/1.1\r\n")) << requests[2].constData();
}

TEST_F(UpdateWindow, RedirectsAreFollowedOnlyWithinTheirProtocol) {
    TestHttpServer target;
    target.setAnswer(TestHttpServer::response(200, "Beta 5"));
    const auto redirectTo = [](const QByteArray& location) { // its own body is dropped, however big
        const QByteArray page = padded("moved", kMaxDownloadBytes + 1);
        return "HTTP/1.1 302 Found\r\nLocation: " + location +
               "\r\nContent-Length: " + QByteArray::number(page.size()) + "\r\n\r\n" + page;
    };
    m_server.setAnswer(redirectTo("http://" + localAddress(target.port()) + "/elsewhere/update.txt"));
    EXPECT_TRUE(BaixaArquivo(addressOnPort(m_server.port()), "update.txt"));
    EXPECT_EQ(contents(localFile()), "Beta 5");
    ASSERT_EQ(target.requests().size(), 1);
    EXPECT_TRUE(target.requests().first().startsWith("GET /elsewhere/update.txt HTTP/1.1\r\n"));

    QFile::remove(localFile());
    m_server.setAnswer(redirectTo("https://" + localAddress(target.port()) + "/zuruzerudor/update.txt"));
    EXPECT_FALSE(BaixaArquivo(addressOnPort(m_server.port()), "update.txt"));
    EXPECT_EQ(target.requests().size(), 1);
    EXPECT_FALSE(QFile::exists(localFile()));
}

TEST_F(UpdateWindow, AnHttpsAddressIsFetchedOverTls) {
    m_server.setAnswer(TestHttpServer::response(200, "Beta 5"));
    EXPECT_FALSE(BaixaArquivo(
        QStringLiteral("https://127.0.0.1:%1/zuruzerudor/update.txt").arg(m_server.port()), "update.txt"));
    const QList<QByteArray> requests = m_server.waitForRequests(1);
    ASSERT_EQ(requests.size(), 1);
    EXPECT_TRUE(requests.first().startsWith('\x16'))
        << "not a TLS handshake: " << requests.first().constData();
    EXPECT_FALSE(QFile::exists(localFile()));
}

TEST_F(UpdateWindow, ASlowButSteadyServerHasUntilTheWholeDownloadLimit) {
    const QByteArray body(20, 'x'); // a byte every 50 ms: never idle for long, about 1 s in all
    m_server.setTrickle(std::chrono::milliseconds(50));
    m_server.setAnswer("HTTP/1.0 200 OK\r\n\r\n" + body);
    setDownloadTimeoutsForTesting({500, 300, 3000});
    EXPECT_TRUE(BaixaArquivo(addressOnPort(m_server.port()), "update.txt"));
    EXPECT_EQ(contents(localFile()), body);

    QFile::remove(localFile());
    setDownloadTimeoutsForTesting({500, 300, 600});
    EXPECT_FALSE(BaixaArquivo(addressOnPort(m_server.port()), "update.txt"));
    EXPECT_FALSE(QFile::exists(localFile()));
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The tests name their own proxies; none may come from the machine that runs them.
    for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "no_proxy", "HTTP_PROXY",
                             "HTTPS_PROXY", "ALL_PROXY", "NO_PROXY"})
        qunsetenv(name);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
