#include "BatchTool.h"

#include "EffectTable.h"
#include "Errors.h"
#include "PictureFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "Effects.h"
#include "Threads.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <poll.h>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

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
        } else if (name == QLatin1String("jobs")) {
            const QString text = value();
            const int jobs = parseInteger(text, name);
            if (jobs < 1)
                throw UsageError(
                    QStringLiteral("invalid value %1 for --jobs: expected 1 or more").arg(quoted(text)));
            c.jobs = jobs;
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
  --jobs N         keep N cores busy: up to N pictures at once, each on the
                   cores left over (default: one per core; 1: one picture at
                   a time on one core); outputs and messages are the same
                   whatever N
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

namespace {

// One input and where it goes.
struct Job {
    QString input;
    QString output;
    PictureFormat format = PictureFormat::Png;
    QString outputKey; // the same for two jobs that write the same file
};

// What the jobs share: the inputs' identities, the outputs already written, and the noise generator's
// draws per pixel of a picture (a picture's layer draws that many for each of its pixels; -1 when the
// writes draw in some other way, and the pictures must then run one at a time).
struct Shared {
    const Command& command;
    std::set<FileId> inputIds;
    std::set<FileId> written;
    long long drawsPerPixel = 0;
};

// Hands out the generator state a picture draws from, once its own reading has succeeded or failed: the
// state after the pictures before it, which depends only on which of them were read and on their sizes.
class NoiseStart {
public:
    virtual ~NoiseStart() = default;
    virtual std::uint32_t startFor(bool read, int width, int height) = 0;
};

std::uint32_t stateAfter(std::uint32_t start, const Shared& shared, bool read, int width, int height) {
    if (!read || shared.drawsPerPixel <= 0)
        return start;
    const auto pixels = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    return NoiseGenerator::advance(start, pixels * static_cast<std::uint64_t>(shared.drawsPerPixel));
}

// The draws per pixel of the noise the writes turn on, found on a one-pixel picture and checked on a
// larger one; the generator is left as it was.
long long noiseDrawsPerPixel(const Command& command) {
    const std::uint32_t before = NoiseGenerator::state();
    auto drawsFor = [&](int width, int height) -> long long {
        OrImageEngine probe;
        for (const EffectWrite& write : command.writes)
            applyWrite(probe, write);
        NoiseGenerator::setState(0);
        probe.setPictureOriginal(Bitmap(width, height));
        const std::uint32_t after = NoiseGenerator::state();
        for (long long draws = 0; draws <= 64; ++draws)
            if (NoiseGenerator::advance(0, static_cast<std::uint64_t>(draws)) == after)
                return draws;
        return -1;
    };
    const long long one = drawsFor(1, 1);
    const long long six = drawsFor(3, 2);
    NoiseGenerator::setState(before);
    return one >= 0 && six == 6 * one ? one : -1;
}

// One picture: read, rendered by a component of its own with the command's writes, written. Its lines
// go to `messages`. Returns whether the output was written.
bool runJob(const Shared& shared, const Job& job, qsizetype k, qsizetype count, NoiseStart& noise,
            std::FILE* messages) {
    const Command& command = shared.command;
    if (command.outDirMode)
        std::fprintf(messages, "[%lld/%lld] %s -> %s\n", static_cast<long long>(k + 1),
                     static_cast<long long>(count), job.input.toUtf8().constData(),
                     job.output.toUtf8().constData());
    bool read = false, converted = false;
    Bitmap picture;
    // The command's values, written into a component without a picture (which draws no noise).
    OrImageEngine engine;
    for (const EffectWrite& write : command.writes)
        applyWrite(engine, write);
    auto fail = [&](auto&& body) {
        try {
            body();
            return true;
        } catch (const Error& e) {
            report(messages, e.message());
        } catch (const std::bad_alloc&) {
            report(messages, QStringLiteral("Not enough memory for the picture %1").arg(quoted(job.input)));
        } catch (const std::exception& e) {
            report(messages, QStringLiteral("%1: %2").arg(quoted(job.input), QString::fromUtf8(e.what())));
        }
        return false;
    };
    fail([&] {
        const QString folder = QFileInfo(job.output).path();
        if (!QFileInfo(folder).isDir())
            throw Error(QStringLiteral("Folder not found: %1").arg(quoted(folder)));
        FileId outputId;
        if (fileId(job.output, outputId)) {
            if (shared.inputIds.count(outputId))
                throw Error(
                    QStringLiteral("refusing to overwrite the input file %1").arg(quoted(job.output)));
            if (shared.written.count(outputId))
                throw Error(QStringLiteral("refusing to overwrite %1, written from an earlier input")
                                .arg(quoted(job.output)));
        }
        // With no effect, or with effects that change each pixel by itself, the picture goes row by row from
        // the file read to the file written, changed in place: when this picture has a second core, a JPEG
        // is encoded while it is still being decoded. Only a picture with several cores and another format
        // is better off with the engine, whose tone pass runs on all of them.
        const bool twoThreads = threadCount() > 1;
        if (command.writes.empty() ||
            (engine.rendersPixelByPixel() && (!twoThreads || job.format == PictureFormat::Jpeg))) {
            RowFilter filter;
            std::optional<ToneRows> tone;
            std::vector<std::uint8_t> row;
            if (!command.writes.empty())
                filter = [&](Bitmap& picture, int y) {
                    if (!tone) {
                        tone.emplace(picture, nullptr, picture, engine.toneSettings());
                        row.resize(picture.rowBytes());
                    }
                    tone->intoRow(y, row.data());
                    std::memcpy(picture.row(y), row.data(), row.size());
                };
            convertPicture(job.input, job.output, job.format, command.quality, {command.maxPixels},
                           twoThreads, filter);
            converted = true;
            return;
        }
        picture = loadPicture(job.input, {command.maxPixels});
        read = true;
    });
    // A picture converted without effects draws no noise: its size does not matter to the pictures after it.
    const std::uint32_t start = noise.startFor(read, picture.width(), picture.height());
    if (converted)
        return true;
    if (!read)
        return false;
    return fail([&] {
        NoiseGenerator::setState(start);
        savePicture(engine.renderOnce(std::move(picture)), job.output, job.format, command.quality);
    });
}

// One picture after the other, in this process.
int runInTurn(Shared& shared, const std::vector<Job>& jobs, std::FILE* messages) {
    struct InTurn : NoiseStart {
        const Shared& shared;
        std::uint32_t state;
        InTurn(const Shared& s, std::uint32_t first) : shared(s), state(first) {}
        std::uint32_t startFor(bool read, int width, int height) override {
            const std::uint32_t start = state;
            state = stateAfter(start, shared, read, width, height);
            return start;
        }
    } noise(shared, NoiseGenerator::state());
    int failures = 0;
    const auto count = static_cast<qsizetype>(jobs.size());
    for (qsizetype k = 0; k < count; ++k) {
        const bool ok = runJob(shared, jobs[static_cast<std::size_t>(k)], k, count, noise, messages);
        // A picture that failed half-way has drawn what its size says, as if it had not failed, so the
        // pictures after it see the same sequence however the work is shared out.
        if (shared.drawsPerPixel >= 0)
            NoiseGenerator::setState(noise.state);
        FileId id;
        if (ok && fileId(jobs[static_cast<std::size_t>(k)].output, id))
            shared.written.insert(id);
        failures += ok ? 0 : 1;
    }
    return failures;
}

// Moves all `size` bytes through `step` (read or write), resuming after interruptions; false when the
// pipe fails or closes first.
template <typename Byte, typename Step> bool transferAll(int fd, Byte* bytes, std::size_t size, Step step) {
    while (size > 0) {
        const ssize_t n = step(fd, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool writeAll(int fd, const void* data, std::size_t size) {
    return transferAll(fd, static_cast<const char*>(data), size, ::write);
}

bool readAll(int fd, void* data, std::size_t size) {
    return transferAll(fd, static_cast<char*>(data), size, ::read);
}

// The large bitmaps a picture holds at most: source, area result, shown picture, noise layer.
constexpr int BitmapsPerPicture = 4;

// What a worker tells the tool once it has read its picture (or failed to).
struct ReadReport {
    std::int32_t read;
    std::int32_t width;
    std::int32_t height;
};

// What the tool gives a worker for its next picture: the picture's number and how many outputs written
// since the worker last heard (their FileIds follow).
struct Assignment {
    std::int64_t k;
    std::int64_t newlyWritten;
};

// What a worker tells the tool when a picture is through: whether it was written, and the length of its
// lines (which follow).
struct DoneReport {
    std::int32_t ok;
    std::uint32_t lineBytes;
};

// A worker process: it takes pictures one after the other, so that the large buffers of one serve the
// next (a process of its own for each would have the system clear fresh pages for every picture).
struct Worker {
    pid_t pid = -1;
    int toWorker = -1;
    int fromWorker = -1;
    QByteArray received;
    qsizetype job = -1;          // the picture it works on, or -1
    std::size_t writtenSent = 0; // how many of the written outputs it knows
};

// The worker's side: pictures as the tool hands them out, until it closes the pipe.
[[noreturn]] void workerLoop(Shared& shared, const std::vector<Job>& jobs, int in, int out) {
    Bitmap::keepReleasedBuffers(BitmapsPerPicture);
    struct Piped : NoiseStart {
        int in = -1, out = -1;
        std::uint32_t startFor(bool read, int width, int height) override {
            const ReadReport r{read ? 1 : 0, width, height};
            std::uint32_t start = 0;
            if (!writeAll(out, &r, sizeof r) || (read && !readAll(in, &start, sizeof start)))
                ::_exit(3);
            return start;
        }
    } noise;
    noise.in = in;
    noise.out = out;
    const auto count = static_cast<qsizetype>(jobs.size());
    Assignment a{};
    while (readAll(in, &a, sizeof a)) {
        for (std::int64_t i = 0; i < a.newlyWritten; ++i) {
            FileId id{};
            if (!readAll(in, &id, sizeof id))
                ::_exit(3);
            shared.written.insert(id);
        }
        char* text = nullptr;
        std::size_t size = 0;
        std::FILE* lines = ::open_memstream(&text, &size);
        if (!lines)
            ::_exit(3);
        const bool ok = runJob(shared, jobs[static_cast<std::size_t>(a.k)], static_cast<qsizetype>(a.k),
                               count, noise, lines);
        std::fclose(lines);
        const DoneReport done{ok ? 1 : 0, static_cast<std::uint32_t>(size)};
        const bool sent = writeAll(out, &done, sizeof done) && writeAll(out, text, size);
        std::free(text);
        if (!sent)
            ::_exit(3);
    }
    std::fflush(nullptr);
    ::_exit(0);
}

// Several pictures at once, on `parallel` worker processes (the noise generator is one per process) whose
// engines run on `engineThreads`. Lines come out in input order.
int runAtOnce(Shared& shared, const std::vector<Job>& jobs, int parallel, int engineThreads,
              std::FILE* messages) {
    const auto count = static_cast<qsizetype>(jobs.size());
    // A worker that stops early must not take the tool down with it when its state is handed over.
    std::signal(SIGPIPE, SIG_IGN);
    std::vector<Worker> workers(static_cast<std::size_t>(parallel));
    // Per picture: its report on reading, whether it is through, written, and its lines.
    std::vector<ReadReport> reports(static_cast<std::size_t>(count));
    std::vector<bool> reported(static_cast<std::size_t>(count), false), done(reports.size(), false),
        ok(reports.size(), false);
    std::vector<QByteArray> lines(reports.size());
    // The outputs written, in the order they were, for the workers that have not heard of them yet.
    std::vector<FileId> writtenOrder(shared.written.begin(), shared.written.end());
    qsizetype chained = 0, started = 0, printed = 0;
    std::uint32_t state = NoiseGenerator::state();
    int failures = 0;

    auto startWorker = [&](Worker& w) {
        int down[2], up[2];
        if (::pipe(down) != 0 || ::pipe(up) != 0)
            throw std::runtime_error(std::strerror(errno));
        std::fflush(nullptr);
        w.pid = ::fork();
        if (w.pid < 0)
            throw std::runtime_error(std::strerror(errno));
        if (w.pid == 0) {
            ::close(down[1]);
            ::close(up[0]);
            for (const Worker& other : workers)
                if (other.pid > 0 && &other != &w) {
                    ::close(other.toWorker);
                    ::close(other.fromWorker);
                }
            setThreadCount(engineThreads);
            workerLoop(shared, jobs, down[0], up[1]);
        }
        ::close(down[0]);
        ::close(up[1]);
        w.toWorker = down[1];
        w.fromWorker = up[0];
        w.received.clear();
        w.writtenSent = writtenOrder.size(); // as of the fork
    };
    // A worker that is through: its picture, if any, failed with a line that says so.
    auto endWorker = [&](Worker& w) {
        ::close(w.fromWorker);
        ::close(w.toWorker);
        int status = 0;
        while (::waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
        }
        w.pid = -1;
        w.toWorker = w.fromWorker = -1;
        if (w.job < 0)
            return;
        const auto index = static_cast<std::size_t>(w.job);
        w.job = -1;
        if (!reported[index]) {
            reports[index] = {0, 0, 0};
            reported[index] = true;
        }
        done[index] = true;
        // Its lines come only with the end of the picture: what did come is no text.
        w.received.clear();
        lines[index].append(
            QStringLiteral("pixmora-batch: %1: the work on it stopped (%2)\n")
                .arg(quoted(jobs[index].input), WIFSIGNALED(status)
                                                    ? QStringLiteral("signal %1").arg(WTERMSIG(status))
                                                    : QStringLiteral("status %1").arg(WEXITSTATUS(status)))
                .toUtf8());
    };
    auto assign = [&](Worker& w, qsizetype k) {
        for (int attempt = 0;; ++attempt) {
            if (w.pid < 0)
                startWorker(w);
            const Assignment a{k, static_cast<std::int64_t>(writtenOrder.size() - w.writtenSent)};
            bool sent = writeAll(w.toWorker, &a, sizeof a);
            for (; sent && w.writtenSent < writtenOrder.size(); ++w.writtenSent)
                sent = writeAll(w.toWorker, &writtenOrder[w.writtenSent], sizeof(FileId));
            // A worker that stopped while it had nothing to do is replaced once; should the new one fail
            // too, reading its pipe says how it ended.
            if (sent || attempt > 0) {
                w.job = k;
                return;
            }
            endWorker(w);
        }
    };
    // What has come from a worker: the reading report of its picture, then the end of it with its lines.
    auto takeReceived = [&](Worker& w) {
        for (;;) {
            if (w.job < 0)
                return;
            const auto index = static_cast<std::size_t>(w.job);
            if (!reported[index]) {
                if (w.received.size() < static_cast<qsizetype>(sizeof(ReadReport)))
                    return;
                std::memcpy(&reports[index], w.received.constData(), sizeof(ReadReport));
                w.received.remove(0, sizeof(ReadReport));
                reported[index] = true;
            }
            DoneReport end{};
            if (w.received.size() < static_cast<qsizetype>(sizeof end))
                return;
            std::memcpy(&end, w.received.constData(), sizeof end);
            if (w.received.size() < static_cast<qsizetype>(sizeof end + end.lineBytes))
                return;
            lines[index] = w.received.mid(sizeof end, end.lineBytes);
            w.received.remove(0, static_cast<qsizetype>(sizeof end + end.lineBytes));
            done[index] = true;
            ok[index] = end.ok != 0;
            w.job = -1;
            FileId id;
            if (ok[index] && fileId(jobs[index].output, id) && shared.written.insert(id).second)
                writtenOrder.push_back(id);
        }
    };

    // A later picture with the same output waits for the earlier one: whether it may write depends on it.
    auto mayStart = [&](qsizetype k) {
        for (qsizetype j = printed; j < k; ++j)
            if (!done[static_cast<std::size_t>(j)] &&
                jobs[static_cast<std::size_t>(j)].outputKey == jobs[static_cast<std::size_t>(k)].outputKey)
                return false;
        return true;
    };

    while (printed < count) {
        for (Worker& w : workers)
            if (w.job < 0 && started < count && mayStart(started))
                assign(w, started++); // the outputs written so far are known to the worker from here on
        // Hand out the start states that have become known.
        while (chained < count && reported[static_cast<std::size_t>(chained)]) {
            const ReadReport& r = reports[static_cast<std::size_t>(chained)];
            if (r.read)
                for (const Worker& w : workers)
                    if (w.job == chained && w.pid > 0)
                        writeAll(w.toWorker, &state, sizeof state);
            state = stateAfter(state, shared, r.read != 0, r.width, r.height);
            ++chained;
        }
        // Print, in input order, every picture that is through.
        while (printed < count && done[static_cast<std::size_t>(printed)]) {
            const QByteArray& text = lines[static_cast<std::size_t>(printed)];
            std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), messages);
            std::fflush(messages);
            failures += ok[static_cast<std::size_t>(printed)] ? 0 : 1;
            ++printed;
        }
        if (printed >= count)
            break;

        std::vector<pollfd> waiting;
        for (const Worker& w : workers)
            if (w.job >= 0)
                waiting.push_back({w.fromWorker, POLLIN, 0});
        if (waiting.empty())
            continue;
        if (::poll(waiting.data(), waiting.size(), -1) < 0 && errno != EINTR)
            throw std::runtime_error(std::strerror(errno));
        for (const pollfd& p : waiting) {
            if (!(p.revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            Worker& w = *std::find_if(workers.begin(), workers.end(),
                                      [&](const Worker& x) { return x.pid > 0 && x.fromWorker == p.fd; });
            char buffer[4096];
            const ssize_t n = ::read(w.fromWorker, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n > 0) {
                w.received.append(buffer, n);
                takeReceived(w);
                continue;
            }
            endWorker(w);
        }
    }
    // Every picture is through: the idle workers end when their pipe closes.
    for (Worker& w : workers)
        if (w.pid > 0)
            endWorker(w);
    NoiseGenerator::setState(state);
    return failures;
}

// The same string for two names of one output file: its folder's real path and its name.
QString outputKey(const QString& output) {
    const QFileInfo info(output);
    const QString folder = QFileInfo(info.path()).canonicalFilePath();
    return (folder.isEmpty() ? info.absolutePath() : folder) + QLatin1Char('/') + info.fileName();
}

} // namespace

int runCommand(const Command& command, std::FILE* messages) {
    if (command.outDirMode && !QDir().mkpath(command.outDir)) {
        report(messages, QStringLiteral("cannot create the output folder %1").arg(quoted(command.outDir)));
        return ExitFileFailed;
    }

    Shared shared{command, {}, {}, 0};
    // Every input's identity, to refuse any output that would replace one of them.
    for (const QString& input : command.inputs) {
        FileId id;
        if (fileId(input, id))
            shared.inputIds.insert(id);
    }

    std::vector<Job> jobs;
    for (const QString& input : command.inputs) {
        Job job{input, command.output, formatForFileName(command.output), {}};
        if (command.outDirMode) {
            const QString ending = command.format.isEmpty() ? ownFormat(input) : command.format;
            job.output = QDir(command.outDir).filePath(baseName(input) + QLatin1Char('.') + ending);
            job.format = formatOf(ending);
        }
        job.outputKey = outputKey(job.output);
        jobs.push_back(std::move(job));
    }

    const auto count = static_cast<qsizetype>(jobs.size());
    shared.drawsPerPixel = noiseDrawsPerPixel(command);
    // N jobs keep N cores busy: up to N pictures at once, and the cores that fewer pictures leave free
    // go to the engine's threads (so --jobs 1 is one picture at a time on one core).
    const int cores = threadCount();
    const long long wanted = command.jobs > 0 ? command.jobs : cores;
    const int parallel = shared.drawsPerPixel < 0 ? 1 : static_cast<int>(std::min<long long>(wanted, count));
    const int engineThreads = std::max(1, static_cast<int>(std::min<long long>(wanted, cores)) / parallel);
    int failures = 0;
    if (parallel > 1) {
        failures = runAtOnce(shared, jobs, parallel, engineThreads, messages);
    } else {
        struct EngineThreads {
            int before;
            explicit EngineThreads(int threads) : before(threadCount()) { setThreadCount(threads); }
            ~EngineThreads() { setThreadCount(before); }
        } scope(engineThreads);
        // The next picture of the same size takes over the large bitmaps of the one before instead of fresh
        // pages, as in a worker process.
        struct KeptBuffers {
            KeptBuffers() { Bitmap::keepReleasedBuffers(BitmapsPerPicture); }
            ~KeptBuffers() { Bitmap::keepReleasedBuffers(0); }
        } kept;
        failures = runInTurn(shared, jobs, messages);
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
