#include "BatchTool.h"

#include "EffectTable.h"
#include "Errors.h"
#include "PictureFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <new>
#include <set>
#include <sys/stat.h>
#include <utility>

namespace pixmora::batch {

namespace {

// The effect options are the effects' own batch names: a switch takes no value, every other one a number.
const EffectDescription* findEffect(const QString& option) {
    return effectByBatchOption(option.toStdString());
}

// A decimal integer in the 32-bit range: an optional sign and digits, nothing else.
int parseInteger(const QString& text, const QString& option) {
    const qsizetype digitsFrom =
        text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('+')) ? 1 : 0;
    bool digitsOnly = text.size() > digitsFrom;
    for (qsizetype i = digitsFrom; i < text.size() && digitsOnly; ++i)
        digitsOnly = text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9');
    if (!digitsOnly)
        throw UsageError(
            QStringLiteral("invalid value %1 for --%2: expected a whole number").arg(quoted(text), option));
    long long value = 0;
    for (qsizetype i = digitsFrom; i < text.size() && value <= 2147483648LL; ++i)
        value = value * 10 + (text[i].unicode() - '0');
    if (text.startsWith(QLatin1Char('-')))
        value = -value;
    if (value < -2147483648LL || value > 2147483647LL)
        throw UsageError(QStringLiteral("invalid value %1 for --%2: out of range (-2147483648 to 2147483647)")
                             .arg(quoted(text), option));
    return static_cast<int>(value);
}

QString normalisedFormat(const QString& text) {
    const QString f = text.toLower();
    if (f == QLatin1String("bmp") || f == QLatin1String("png") || f == QLatin1String("jpg"))
        return f;
    if (f == QLatin1String("jpeg"))
        return QStringLiteral("jpg");
    throw UsageError(
        QStringLiteral("invalid value %1 for --format: expected bmp, jpg or png").arg(quoted(text)));
}

// The ending an output of this input takes by default: the input's own format, told by its content,
// where it can be written. Anything else, and a file that cannot be read (its load will say why), gets png.
QString ownFormat(const QString& input) {
    switch (QFileInfo(input).isFile() ? formatOfFile(input) : PictureFormat::Unknown) {
    case PictureFormat::Jpeg:
        return QStringLiteral("jpg");
    case PictureFormat::Bmp:
        return QStringLiteral("bmp");
    default:
        return QStringLiteral("png");
    }
}

QString baseName(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? name.left(dot) : name;
}

PictureFormat formatOf(const QString& ending) {
    if (ending == QLatin1String("bmp"))
        return PictureFormat::Bmp;
    if (ending == QLatin1String("jpg"))
        return PictureFormat::Jpeg;
    return PictureFormat::Png;
}

// A file's identity, so that a second name of an input (a link, "./a.png" for "a.png") is recognised.
using FileId = std::pair<dev_t, ino_t>;
bool fileId(const QString& path, FileId& id) {
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    id = {info.st_dev, info.st_ino};
    return true;
}

void report(std::FILE* messages, const QString& text) {
    std::fprintf(messages, "pixmora-batch: %s\n", text.toUtf8().constData());
}

} // namespace

Command parseCommandLine(const QStringList& arguments) {
    Command c;
    bool formatGiven = false;
    QStringList operands;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg == QLatin1String("--")) {
            operands += arguments.mid(i + 1);
            break;
        }
        if (!arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            operands += arg;
            continue;
        }
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            c.action = Command::Action::Help;
            return c;
        }
        if (arg == QLatin1String("--version")) {
            c.action = Command::Action::Version;
            return c;
        }
        if (!arg.startsWith(QLatin1String("--")))
            throw UsageError(QStringLiteral("unknown option %1").arg(quoted(arg)));

        const qsizetype equals = arg.indexOf(QLatin1Char('='));
        const QString name = arg.mid(2, equals < 0 ? -1 : equals - 2);
        const bool inlineValue = equals >= 0;
        auto value = [&]() -> QString {
            if (inlineValue)
                return arg.mid(equals + 1);
            if (i + 1 >= arguments.size())
                throw UsageError(QStringLiteral("option --%1 needs a value").arg(name));
            return arguments[++i];
        };

        if (const EffectDescription* effect = findEffect(name)) {
            if (!effect->isSwitch) {
                c.writes.push_back({QLatin1String(effect->batchOption), parseInteger(value(), name)});
            } else {
                if (inlineValue)
                    throw UsageError(QStringLiteral("option --%1 takes no value").arg(name));
                c.writes.push_back({QLatin1String(effect->batchOption), 1});
            }
        } else if (name == QLatin1String("quality")) {
            const QString text = value();
            const int q = parseInteger(text, name);
            if (q < 1 || q > 100)
                throw UsageError(
                    QStringLiteral("invalid value %1 for --quality: expected 1 to 100").arg(quoted(text)));
            c.quality = q;
        } else if (name == QLatin1String("max-megapixels")) {
            const QString text = value();
            const int megapixels = parseInteger(text, name);
            if (megapixels < 1)
                throw UsageError(QStringLiteral("invalid value %1 for --max-megapixels: expected 1 or more")
                                     .arg(quoted(text)));
            c.maxPixels = megapixels * 1'000'000LL;
        } else if (name == QLatin1String("out-dir")) {
            c.outDir = value();
            if (c.outDir.isEmpty())
                throw UsageError(QStringLiteral("option --out-dir needs a folder"));
            c.outDirMode = true;
        } else if (name == QLatin1String("format")) {
            c.format = normalisedFormat(value());
            formatGiven = true;
        } else {
            throw UsageError(
                QStringLiteral("unknown option %1").arg(quoted(inlineValue ? arg.left(equals) : arg)));
        }
    }

    if (c.outDirMode) {
        if (operands.isEmpty())
            throw UsageError(QStringLiteral("missing INPUT: --out-dir needs at least one input picture"));
        c.inputs = operands;
        return c;
    }
    if (formatGiven)
        throw UsageError(
            QStringLiteral("--format only applies with --out-dir; otherwise OUTPUT's ending decides"));
    if (operands.isEmpty())
        throw UsageError(QStringLiteral("missing INPUT and OUTPUT"));
    if (operands.size() == 1)
        throw UsageError(QStringLiteral("missing OUTPUT after %1").arg(quoted(operands[0])));
    if (operands.size() > 2)
        throw UsageError(
            QStringLiteral("too many files: give INPUT and OUTPUT, or --out-dir DIR and the inputs"));
    c.inputs = {operands[0]};
    c.output = operands[1];
    if (formatForFileName(c.output) == PictureFormat::Unknown)
        throw UsageError(QStringLiteral("Unknown picture format for %1: use .bmp, .jpg, .jpeg or .png")
                             .arg(quoted(c.output)));
    return c;
}

void applyWrite(OrImageEngine& engine, const EffectWrite& write) {
    if (const EffectDescription* effect = findEffect(write.option))
        effect->set(engine, write.value);
}

QString usageText() {
    return QStringLiteral(R"(Usage: pixmora-batch [EFFECT OPTIONS] INPUT OUTPUT
       pixmora-batch [EFFECT OPTIONS] --out-dir DIR INPUT...

Applies Pixmora's effects to picture files. The effect options are written
into one picture component in the order they stand on the command line, each
through its property's setter, as the effect windows do: values are clamped to
each effect's range, and an effect that excludes another switches it off. Then
each INPUT is loaded (JPEG, BMP, PNG, GIF and the other formats Qt reads),
rendered with those values and written out.

OUTPUT's ending chooses its format, letter case ignored: .bmp (24-bit BMP),
.jpg or .jpeg (JPEG), .png (PNG).

Effect options, N a decimal integer (possibly negative), as --name N or --name=N:
  --brightness N    --contrast N       --lightness N    --darkness N
  --saturation N    --splitlight N     --color-noise N  --mono-noise N
  --posterize N     --solorize N       --mosaic N       --split-blur N
  --gaussian-blur N --antialias N      --trace N        --tile N
Switches, each turning its effect on:
  --grayscale       --invert           --emboss

Other options:
  --quality N      JPEG quality, 1 to 100 (default 80)
  --max-megapixels N
                   refuse pictures of more than N million pixels; without it
                   a picture is refused when editing it would take more than
                   half of the memory this machine has available
  --out-dir DIR    write each INPUT into the folder DIR (created if needed),
                   under the input's base name
  --format F       with --out-dir: bmp, jpg or png (default: the input's own
                   format when it is BMP, JPEG or PNG, else png)
  --help           show this text
  --version        show the version
  --               everything after it is a file name

Options may stand before, between or after the file names; only the order of
the effect options among themselves matters. The noise effects draw from a
generator that starts from the same state in every run, so a run with one
input is repeatable; with several inputs the generator runs on from one
picture to the next.

An input file is never overwritten, and an output is never left half-written.
With --out-dir each picture is reported as "[k/n] INPUT -> OUTPUT" on standard
error; a picture that fails is reported and the others are still written.

Exit status: 0 when every picture was written, 1 when some picture failed,
2 when the command line is wrong (then nothing is read or written).

Examples:
  pixmora-batch --brightness 40 --contrast 20 photo.jpg brighter.jpg
  pixmora-batch --grayscale --quality 90 --out-dir small *.jpg
  pixmora-batch --mosaic 8 --format png --out-dir out scan.bmp logo.gif
)");
}

QString versionText() {
    return QStringLiteral("pixmora-batch (Pixmora) %1\n").arg(QStringLiteral(PIXMORA_VERSION));
}

int runCommand(const Command& command, std::FILE* messages) {
    if (command.outDirMode && !QDir().mkpath(command.outDir)) {
        report(messages, QStringLiteral("cannot create the output folder %1").arg(quoted(command.outDir)));
        return ExitFileFailed;
    }

    // Every input's identity, to refuse any output that would replace one of them.
    std::set<FileId> inputIds;
    for (const QString& input : command.inputs) {
        FileId id;
        if (fileId(input, id))
            inputIds.insert(id);
    }

    OrImageEngine engine;
    for (const EffectWrite& write : command.writes)
        applyWrite(engine, write);

    const qsizetype count = command.inputs.size();
    int failures = 0;
    std::set<FileId> written;
    for (qsizetype k = 0; k < count; ++k) {
        const QString& input = command.inputs[k];
        QString output = command.output;
        PictureFormat format = formatForFileName(output);
        if (command.outDirMode) {
            const QString ending = command.format.isEmpty() ? ownFormat(input) : command.format;
            output = QDir(command.outDir).filePath(baseName(input) + QLatin1Char('.') + ending);
            format = formatOf(ending);
            std::fprintf(messages, "[%lld/%lld] %s -> %s\n", static_cast<long long>(k + 1),
                         static_cast<long long>(count), input.toUtf8().constData(),
                         output.toUtf8().constData());
        }
        try {
            const QString folder = QFileInfo(output).path();
            if (!QFileInfo(folder).isDir())
                throw Error(QStringLiteral("Folder not found: %1").arg(quoted(folder)));
            FileId outputId;
            if (fileId(output, outputId)) {
                if (inputIds.count(outputId))
                    throw Error(
                        QStringLiteral("refusing to overwrite the input file %1").arg(quoted(output)));
                if (written.count(outputId))
                    throw Error(QStringLiteral("refusing to overwrite %1, written from an earlier input")
                                    .arg(quoted(output)));
            }
            engine.setPictureOriginal(loadPicture(input, {command.maxPixels}));
            savePicture(engine.PictureShown().bitmap(), output, format, command.quality);
            if (fileId(output, outputId))
                written.insert(outputId);
        } catch (const Error& e) {
            report(messages, e.message());
            ++failures;
        } catch (const std::bad_alloc&) {
            report(messages, QStringLiteral("Not enough memory for the picture %1").arg(quoted(input)));
            ++failures;
        } catch (const std::exception& e) {
            report(messages, QStringLiteral("%1: %2").arg(quoted(input), QString::fromUtf8(e.what())));
            ++failures;
        }
    }
    if (failures > 0 && count > 1)
        report(messages, QStringLiteral("%1 of %2 pictures failed").arg(failures).arg(count));
    return failures > 0 ? ExitFileFailed : ExitOk;
}

int runTool(const QStringList& arguments, std::FILE* out, std::FILE* messages) {
    Command command;
    try {
        command = parseCommandLine(arguments);
    } catch (const UsageError& e) {
        std::fprintf(messages, "pixmora-batch: %s\nTry 'pixmora-batch --help' for more information.\n",
                     e.what());
        return ExitUsage;
    }
    switch (command.action) {
    case Command::Action::Help:
        std::fputs(usageText().toUtf8().constData(), out);
        return ExitOk;
    case Command::Action::Version:
        std::fputs(versionText().toUtf8().constData(), out);
        return ExitOk;
    case Command::Action::Run:
        break;
    }
    return runCommand(command, messages);
}

} // namespace pixmora::batch
