// The built tool, run as a user would run it, against the engine driven directly.

#include "ChildProcess.h"
#include "FileTestSupport.h"

#include "Effects.h"
#include "OrImageEngine.h"
#include "PictureFile.h"

#include <QCoreApplication>
#include <QProcess>

#include <gmock/gmock.h>

#include <fcntl.h>
#include <functional>
#include <map>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace filetest;
using filetest::underAddressSanitizer;
using pixmora::loadPicture;
using pixmora::NoiseGenerator;
using pixmora::OrImageEngine;
using testing::HasSubstr;

namespace {

struct ToolRun {
    int exitCode = -1;
    std::string out, err;
};

ToolRun runTool(const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM")); // the tool needs no display
    env.remove(QStringLiteral("DISPLAY"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(PIXMORA_BATCH_TOOL), arguments);
    if (!process.waitForFinished(120000)) {
        ADD_FAILURE() << "the tool did not finish";
        return {};
    }
    ToolRun r;
    r.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    r.out = process.readAllStandardOutput().toStdString();
    r.err = process.readAllStandardError().toStdString();
    return r;
}

using Writes = std::function<void(OrImageEngine&)>;

// What the tool must produce: a fresh component, the writes, then each picture loaded in turn, with the
// generator starting where a new process starts.
std::vector<Bitmap> engineResults(const Writes& writes, const QStringList& inputs) {
    NoiseGenerator::setState(0);
    OrImageEngine engine;
    writes(engine);
    std::vector<Bitmap> results;
    for (const QString& input : inputs) {
        engine.setPictureOriginal(loadPicture(input));
        results.push_back(engine.PictureShown().bitmap());
    }
    return results;
}

QByteArray bmpBytes(const Bitmap& b, const ScratchDir& dir) {
    const QString path = dir.path(QStringLiteral("expected.bmp"));
    pixmora::savePictureBmp(b, path);
    return readBytes(path);
}

struct EffectCase {
    QStringList options;
    Writes writes;
};

} // namespace

TEST(BatchTool, WritesWhatTheEngineRendersByteForByte) {
    ScratchDir dir;
    const EffectCase cases[] = {
        {{}, [](OrImageEngine&) {}},
        {{"--brightness", "40", "--contrast=-30", "--saturation", "500"},
         [](OrImageEngine& e) {
             e.setPicBrightness(40);
             e.setPicContrast(-30);
             e.setPicSaturation(500);
         }},
        {{"--lightness", "-100", "--darkness=50", "--splitlight", "3", "--invert"},
         [](OrImageEngine& e) {
             e.setPicLightness(-100);
             e.setPicDarkness(50);
             e.setPicSplitlight(3);
             e.setPicInvert(true);
         }},
        {{"--split-blur", "10", "--grayscale"},
         [](OrImageEngine& e) {
             e.setPicSplitBlur(10);
             e.setPicGrayScale(true);
         }},
        {{"--gaussian-blur=2", "--color-noise", "50"},
         [](OrImageEngine& e) {
             e.setPicGaussianBlur(2);
             e.setPicColorNoise(50);
         }},
        {{"--antialias", "3", "--mono-noise", "30"},
         [](OrImageEngine& e) {
             e.setPicAntiAlias(3);
             e.setPicMonoNoise(30);
         }},
        {{"--trace", "2"}, [](OrImageEngine& e) { e.setPicTrace(2); }},
        {{"--tile", "3", "--posterize", "4"},
         [](OrImageEngine& e) {
             e.setPicTile(3);
             e.setPicPosterize(4);
         }},
        // Beyond the effect windows' ranges, computed all the same.
        {{"--contrast", "2147483647", "--brightness", "-2147483648", "--saturation=99999"},
         [](OrImageEngine& e) {
             e.setPicContrast(2147483647);
             e.setPicBrightness(-2147483647 - 1);
             e.setPicSaturation(99999);
         }},
    };
    // On one core tone effects change the picture read in place, row by row; on two the engine renders it.
    const QString input = sample("rose.bmp");
    const QString output = dir.path(QStringLiteral("out.bmp"));
    for (const EffectCase& c : cases)
        for (const char* jobs : {"--jobs=1", "--jobs=2"}) {
            SCOPED_TRACE(std::string(jobs) + " " + c.options.join(' ').toStdString());
            const ToolRun r = runTool(c.options + QStringList{jobs, input, output});
            ASSERT_EQ(r.exitCode, 0) << r.err;
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(readBytes(output), bmpBytes(engineResults(c.writes, {input})[0], dir));
        }
    // JPEG to JPEG, where a picture of tone effects (or none) goes row by row from the decoder to the
    // encoder on two cores; one with an orientation to apply is read whole.
    const QString jpegOutput = dir.path(QStringLiteral("out.jpg")),
                  expected = dir.path(QStringLiteral("e.jpg"));
    for (const char* name : {"logo.jpg", "logo-progressive.jpg", "logo-exif6.jpg"})
        for (const EffectCase& c : cases)
            for (const char* jobs : {"--jobs=1", "--jobs=2"}) {
                SCOPED_TRACE(std::string(name) + " " + jobs + " " + c.options.join(' ').toStdString());
                const QString jpegInput = sample(name);
                const ToolRun r = runTool(c.options + QStringList{jobs, jpegInput, jpegOutput});
                ASSERT_EQ(r.exitCode, 0) << r.err;
                pixmora::savePictureJpeg(engineResults(c.writes, {jpegInput})[0], expected, 80);
                EXPECT_EQ(readBytes(jpegOutput), readBytes(expected));
            }
}

TEST(BatchTool, OrderOfWritesMattersAndClampsApplyAtLoad) {
    ScratchDir dir;
    const QString input = sample("rose.bmp"); // 70 x 46
    auto result = [&](const QStringList& options) {
        const QString output = dir.path(QStringLiteral("o.bmp"));
        const ToolRun r = runTool(options + QStringList{input, output});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return readBytes(output);
    };
    // Posterize and solorize exclude each other: the later write wins.
    const QByteArray posterized = result({"--solorize", "100", "--posterize", "8"});
    const QByteArray solorized = result({"--posterize", "8", "--solorize", "100"});
    EXPECT_NE(posterized, solorized);
    EXPECT_EQ(posterized,
              bmpBytes(engineResults([](OrImageEngine& e) { e.setPicPosterize(8); }, {input})[0], dir));
    EXPECT_EQ(solorized,
              bmpBytes(engineResults([](OrImageEngine& e) { e.setPicSolorize(100); }, {input})[0], dir));

    // Emboss switches mosaic off; the reverse order leaves mosaic alone on.
    EXPECT_EQ(result({"--mosaic", "5", "--emboss"}),
              bmpBytes(engineResults([](OrImageEngine& e) { e.setPicEmboss(true); }, {input})[0], dir));
    EXPECT_EQ(result({"--emboss", "--mosaic", "5"}),
              bmpBytes(engineResults([](OrImageEngine& e) { e.setPicMosaic(5); }, {input})[0], dir));

    // Written before any picture, mosaic 1000 is only capped at the larger side when the picture comes.
    EXPECT_EQ(result({"--mosaic", "1000"}), result({"--mosaic", "70"}));
    EXPECT_NE(result({"--mosaic", "1000"}), result({"--mosaic", "69"}));
}

TEST(BatchTool, NoiseIsTheSameInEveryRun) {
    ScratchDir dir;
    const QString input = sample("logo.png");
    const QString a = dir.path(QStringLiteral("a.png")), b = dir.path(QStringLiteral("b.png"));
    ASSERT_EQ(runTool({"--color-noise", "90", input, a}).exitCode, 0);
    ASSERT_EQ(runTool({"--color-noise", "90", input, b}).exitCode, 0);
    EXPECT_EQ(readBytes(a), readBytes(b));
    EXPECT_TRUE(loadPicture(a) ==
                engineResults([](OrImageEngine& e) { e.setPicColorNoise(90); }, {input})[0]);
}

// One component for all inputs: the generator runs on, and a failed file changes nothing for the next.
TEST(BatchTool, SeveralInputsOneFailing) {
    ScratchDir dir;
    const QString out = dir.path(QStringLiteral("out"));
    QDir().mkdir(out);
    const QString missing = dir.path(QStringLiteral("missing.png"));
    const QString rose = sample("rose.bmp"), logo = sample("logo.jpg");
    const ToolRun r =
        runTool({"--mono-noise", "60", "--out-dir", out, "--format", "bmp", rose, missing, logo});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.err, HasSubstr("[1/3] " + rose.toStdString() + " -> " + out.toStdString() + "/rose.bmp\n"));
    EXPECT_THAT(r.err, HasSubstr("[2/3] " + missing.toStdString()));
    EXPECT_THAT(r.err, HasSubstr("pixmora-batch: File not found: \"" + missing.toStdString() + "\"\n"));
    EXPECT_THAT(r.err, HasSubstr("[3/3] " + logo.toStdString()));
    EXPECT_THAT(r.err, HasSubstr("pixmora-batch: 1 of 3 pictures failed"));

    const auto expected = engineResults([](OrImageEngine& e) { e.setPicMonoNoise(60); }, {rose, logo});
    EXPECT_EQ(readBytes(out + "/rose.bmp"), bmpBytes(expected[0], dir));
    EXPECT_EQ(readBytes(out + "/logo.bmp"), bmpBytes(expected[1], dir));
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden), (QStringList{"logo.bmp", "rose.bmp"}));
}

// Several pictures at once: the same files, the same noise sequence and the same lines in the same order
// as one at a time, whatever the number of jobs, with failing files among them (a damaged one, and two
// whose output an earlier input has written).
TEST(BatchTool, JobsChangeNothingButTheTime) {
    ScratchDir dir;
    const QString damaged = dir.path(QStringLiteral("damaged.jpg"));
    {
        const QByteArray whole = readBytes(sample("logo.jpg"));
        QFile cut(damaged);
        ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
        cut.write(whole.left(whole.size() / 2));
    }
    const QStringList inputs{sample("rose.bmp"),      sample("logo.jpg"), damaged,
                             sample("logo-gray.jpg"), sample("rose.gif"), sample("logo-progressive.jpg"),
                             sample("logo.png")};
    const QStringList written{inputs[0], inputs[1], inputs[3], inputs[5]};
    const std::map<int, QString> failures{{2, QStringLiteral("pixmora-batch: Damaged JPEG")},
                                          {4, QStringLiteral("pixmora-batch: refusing to overwrite")},
                                          {6, QStringLiteral("pixmora-batch: refusing to overwrite")}};
    struct Case {
        QStringList options;
        Writes writes;
    };
    const std::vector<Case> cases{
        {{"--color-noise", "70", "--mosaic", "3"},
         [](OrImageEngine& e) {
             e.setPicColorNoise(70);
             e.setPicMosaic(3);
         }},
        {{"--brightness", "20", "--mono-noise", "40"},
         [](OrImageEngine& e) {
             e.setPicBrightness(20);
             e.setPicMonoNoise(40);
         }},
    };
    for (const Case& c : cases) {
        const auto expected = engineResults(c.writes, written);
        QString firstLines;
        for (const char* jobs : {"1", "2", "3"}) {
            SCOPED_TRACE(c.options.join(' ').toStdString() + " --jobs " + jobs);
            const QString out = dir.path(QStringLiteral("out") + QLatin1String(jobs));
            const ToolRun r = runTool(
                c.options + QStringList{"--jobs", jobs, "--format", "bmp", "--out-dir", out} + inputs);
            EXPECT_EQ(r.exitCode, 1);
            for (int i = 0; i < written.size(); ++i)
                EXPECT_EQ(readBytes(out + "/" + QFileInfo(written[i]).completeBaseName() + ".bmp"),
                          bmpBytes(expected[static_cast<std::size_t>(i)], dir))
                    << written[i].toStdString();
            EXPECT_FALSE(QFileInfo::exists(out + "/damaged.bmp"));

            // The lines in input order: each picture's line, the failure right after its own.
            const QString text = QString::fromStdString(r.err).replace(out, QStringLiteral("OUT"));
            const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            ASSERT_EQ(lines.size(), 11) << r.err;
            for (int k = 0, line = 0; k < inputs.size(); ++k, ++line) {
                EXPECT_EQ(lines[line], QStringLiteral("[%1/7] %2 -> OUT/%3.bmp")
                                           .arg(k + 1)
                                           .arg(inputs[k], QFileInfo(inputs[k]).completeBaseName()));
                if (failures.count(k)) {
                    EXPECT_TRUE(lines[++line].startsWith(failures.at(k))) << lines[line].toStdString();
                }
            }
            EXPECT_EQ(lines[10], QStringLiteral("pixmora-batch: 3 of 7 pictures failed"));
            if (firstLines.isEmpty())
                firstLines = text;
            EXPECT_EQ(text, firstLines);
        }
    }
}

TEST(BatchTool, OutDirNamesAndFormats) {
    ScratchDir dir;
    const QString in = dir.path(QStringLiteral("in")), out = dir.path(QStringLiteral("new/out"));
    QDir().mkdir(in);
    // The default ending follows the content, not the name.
    QFile::copy(sample("rose.gif"), in + "/anim.gif");
    QFile::copy(sample("logo.png"), in + "/drawing.jpg");
    QFile::copy(sample("logo.jpg"), in + "/photo.tar.JPG");
    QFile::copy(sample("rose-rle8.bmp"), in + "/scan");
    const QStringList inputs = {in + "/anim.gif", in + "/drawing.jpg", in + "/photo.tar.JPG", in + "/scan"};
    ToolRun r = runTool(QStringList{"--out-dir", out} + inputs);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(QDir(out).entryList(QDir::Files),
              (QStringList{"anim.png", "drawing.png", "photo.tar.jpg", "scan.bmp"}));
    EXPECT_EQ(readBytes(out + "/scan.bmp").left(2), "BM");
    EXPECT_TRUE(loadPicture(out + "/anim.png") == loadPicture(sample("rose.gif")));

    r = runTool(QStringList{"--format=JPG", "--quality", "55", "--out-dir=" + out, inputs[0], inputs[3]});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "[1/2] " + inputs[0].toStdString() + " -> " + out.toStdString() + "/anim.jpg\n[2/2] " +
                         inputs[3].toStdString() + " -> " + out.toStdString() + "/scan.jpg\n");
    EXPECT_TRUE(QFile::exists(out + "/anim.jpg"));
    pixmora::savePictureJpeg(loadPicture(inputs[3]), dir.path(QStringLiteral("q55.jpg")), 55);
    EXPECT_EQ(readBytes(out + "/scan.jpg"), readBytes(dir.path(QStringLiteral("q55.jpg"))));

    // Without --quality a JPEG is written at 80.
    ASSERT_EQ(runTool({inputs[3], out + "/default.JPEG"}).exitCode, 0);
    pixmora::savePictureJpeg(loadPicture(inputs[3]), dir.path(QStringLiteral("q80.jpg")), 80);
    EXPECT_EQ(readBytes(out + "/default.JPEG"), readBytes(dir.path(QStringLiteral("q80.jpg"))));
}

TEST(BatchTool, NeverOverwritesAnInput) {
    ScratchDir dir;
    const QString a = dir.path(QStringLiteral("a.bmp"));
    QFile::copy(sample("rose.bmp"), a);
    const QByteArray original = readBytes(a);
    QFile::link(a, dir.path(QStringLiteral("link.bmp")));
    QDir().mkdir(dir.path(QStringLiteral("sub")));

    for (const QString& output :
         {a, dir.path(QStringLiteral("sub/../a.bmp")), dir.path(QStringLiteral("link.bmp"))}) {
        const ToolRun r = runTool({"--invert", a, output});
        EXPECT_EQ(r.exitCode, 1) << output.toStdString();
        EXPECT_THAT(r.err, HasSubstr("refusing to overwrite the input file"));
    }
    // In a folder of outputs, neither its own input nor another input may be replaced.
    const QString b = dir.path(QStringLiteral("sub/a.png"));
    QFile::copy(sample("logo.png"), b);
    ToolRun r = runTool({"--invert", "--out-dir", dir.root(), a});
    EXPECT_EQ(r.exitCode, 1);
    r = runTool({"--invert", "--format", "bmp", "--out-dir", dir.root(), b, a});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.err, HasSubstr("pixmora-batch: refusing to overwrite the input file \"" + a.toStdString()));
    EXPECT_EQ(readBytes(a), original);
    EXPECT_EQ(QDir(dir.root()).entryList(QDir::Files | QDir::Hidden | QDir::System),
              (QStringList{"a.bmp", "link.bmp"}));
}

TEST(BatchTool, UsageErrorsWriteNothing) {
    ScratchDir dir;
    const QString input = sample("rose.bmp");
    struct Case {
        QStringList args;
        const char* message;
    };
    const Case cases[] = {
        {{input, dir.path(QStringLiteral("o.gif"))}, "Unknown picture format for"},
        {{"--sharpen", "3", input, dir.path(QStringLiteral("o.bmp"))}, "unknown option \"--sharpen\""},
        {{"--brightness", "1x", input, dir.path(QStringLiteral("o.bmp"))}, "expected a whole number"},
        {{input}, "missing OUTPUT"},
    };
    for (const Case& c : cases) {
        const ToolRun r = runTool(c.args);
        EXPECT_EQ(r.exitCode, 2) << c.message;
        EXPECT_THAT(r.err, HasSubstr(c.message));
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(dir.entries(), QStringList{});

    QFile blocker(dir.path(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    const ToolRun r = runTool({"--out-dir", dir.path(QStringLiteral("file/sub")), input});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.err, HasSubstr("cannot create the output folder"));
}

TEST(BatchTool, AMissingOutputFolderIsNamed) {
    ScratchDir dir;
    const QString folder = dir.path(QStringLiteral("no/such"));
    const ToolRun r = runTool({"--invert", sample("rose.bmp"), folder + "/out.png"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "pixmora-batch: Folder not found: \"" + folder.toStdString() + "\"\n");
    EXPECT_EQ(dir.entries(), QStringList{});
}

namespace {

// The tool's peak resident memory, from the kernel's account of the finished process. The account also
// holds what this test process had when it started the tool, so runs are compared with a run that does
// nothing.
struct MeasuredRun {
    int exitCode = -1;
    long long peakKb = -1;
};

MeasuredRun measuredRun(const std::vector<std::string>& arguments, long long addressSpace = 0) {
    std::vector<std::string> command{PIXMORA_BATCH_TOOL};
    command.insert(command.end(), arguments.begin(), arguments.end());
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (addressSpace > 0) {
            const struct rlimit limit = {static_cast<rlim_t>(addressSpace),
                                         static_cast<rlim_t>(addressSpace)};
            ::setrlimit(RLIMIT_AS, &limit);
        }
        const int devnull = ::open("/dev/null", O_WRONLY);
        ::dup2(devnull, 1);
        ::dup2(devnull, 2);
        std::vector<char*> argv;
        for (std::string& argument : command)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, usage.ru_maxrss};
}

QByteArray jpegClaiming(const QByteArray& jpeg, unsigned width, unsigned height) {
    QByteArray bytes = jpeg;
    const qsizetype sof = bytes.indexOf("\xFF\xC0");
    const unsigned values[] = {height, width};
    for (int i = 0; i < 2; ++i) {
        bytes[sof + 5 + 2 * i] = static_cast<char>(values[i] >> 8);
        bytes[sof + 6 + 2 * i] = static_cast<char>(values[i] & 0xFF);
    }
    return bytes;
}

} // namespace

// Bombs through the whole tool: refused with a message, nothing written, and little memory spent.
TEST(BatchTool, BombsAreRefusedCheaplyAndWriteNothing) {
    ScratchDir dir;
    const QString rle = dir.path(QStringLiteral("bomb.bmp")), jpeg = dir.path(QStringLiteral("bomb.jpg"));
    writeBytes(rle, makeBmp({.width = 65535,
                             .height = 20000,
                             .bitCount = 8,
                             .compression = 1,
                             .palette = std::vector<std::uint32_t>(256, 0x808080),
                             .pixels = {0, 1}}));
    writeBytes(jpeg, jpegClaiming(readBytes(sample("logo.jpg")), 20000, 20000));
    const QString out = dir.path(QStringLiteral("out.bmp"));

    ToolRun r = runTool({"--max-megapixels", "100", rle, out});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "pixmora-batch: The picture \"" + rle.toStdString() +
                         "\" is too large: 65535 x 20000 pixels (more than the limit of 100 megapixels)\n");
    r = runTool({"--max-megapixels", "1000", jpeg, out});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "pixmora-batch: Damaged JPEG picture \"" + jpeg.toStdString() +
                         "\": Corrupt JPEG data: premature end of data segment\n");
    EXPECT_FALSE(QFile::exists(out));

    const long long idleKb = measuredRun({"--version"}).peakKb;
    const MeasuredRun damaged = measuredRun({jpeg.toStdString(), out.toStdString()});
    EXPECT_EQ(damaged.exitCode, 1);
    EXPECT_LT(damaged.peakKb, idleKb + 64 * 1024 + filetest::addressSanitizerShadowKb(20000LL * 60000));
    if (!underAddressSanitizer()) {
        // With 2 GB of address space the tool cannot edit 65535 x 20000 pixels, whatever the machine.
        const MeasuredRun bomb = measuredRun({rle.toStdString(), out.toStdString()}, 2LL << 30);
        EXPECT_EQ(bomb.exitCode, 1);
        EXPECT_LT(bomb.peakKb, idleKb + 64 * 1024);
    }
    EXPECT_FALSE(QFile::exists(out));
}

TEST(BatchTool, HelpAndVersion) {
    ToolRun r = runTool({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_THAT(r.out, HasSubstr("Usage: pixmora-batch [EFFECT OPTIONS] INPUT OUTPUT\n"));
    EXPECT_THAT(r.out, HasSubstr("--gaussian-blur N"));
    EXPECT_EQ(r.err, "");
    r = runTool({"--version"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_THAT(r.out, HasSubstr("pixmora-batch (Pixmora) "));
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv); // QProcess wants one
    testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
