// How closely the picture follows the hand: key presses on the real bar of a real effect dialog, through
// the document in the picture window, to the painted frame that shows the bar's new position. Photos of
// 12 and 24 megapixels, offscreen. Every figure is also given as a ratio to a memcpy of the picture's
// bytes measured in the same run, and beside its goal.
//
//   slider_bench [--benchmark_filter=...]
#include "EffectDialog.h"
#include "EffectTable.h"
#include "Forms.h"
#include "OrImage.h"
#include "PhotoPicture.h"
#include "PixmoraApplication.h"
#include "ProgramFolder.h"
#include "Unit1.h"
#include "Unit3.h"
#include "UserDialogs.h"
#include "Windows.h"

#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QSlider>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Size {
    const char* name;
    int width, height;
};
constexpr Size Sizes[] = {{"12MP", 4000, 3000}, {"24MP", 6000, 4000}};

// Boxes would wait for a person; the benchmark expects none.
class NoBoxes : public pixmora::UserDialogs {
public:
    void showMessage(QWidget*, const QString& text) override { complain(text); }
    bool confirm(QWidget*, const QString& text) override {
        complain(text);
        return false;
    }
    void showInformation(QWidget*, const QString& text) override { complain(text); }
    void showError(QWidget*, const QString& text) override { complain(text); }
    bool runFileDialog(QFileDialog&) override { return false; }

private:
    static void complain(const QString& text) { std::fprintf(stderr, "box: %s\n", qPrintable(text)); }
};

// The program, started as main() starts it, in a folder of its own.
class Program {
public:
    Program() {
        pixmora::setProgramFolderForTesting(m_folder.path());
        pixmora::setUserDialogs(&m_boxes);
        QFile config(m_folder.filePath(QStringLiteral("config.txt")));
        if (config.open(QIODevice::WriteOnly))
            config.write("\r\ndesligado\r\n");
        config.close();
        m_windows = std::make_unique<ProgramWindows>();
        m_windows->start();
        Form3->show();
    }

    TOrImage& document() { return *Form3->ui.OrImage1; }

    // The photo of this size in the document, every effect off, shown pixel for pixel in the picture
    // window (scrolled) or fitted into it.
    void load(const Size& size, bool fitted) {
        if (m_loaded != size.name) {
            document().setPictureOriginal(photoPicture(size.width, size.height));
            m_loaded = size.name;
        }
        Form1->ui.CheckBox1->setChecked(!fitted);
        document().ResetEffects();
        Form3->UpdateAllEffectsControls();
    }

    // The bar of an effect, in its dialog opened from the main window's menu.
    QSlider* bar(const char* property) {
        const pixmora::EffectDescription& effect = *pixmora::effectByProperty(property);
        Form1->findChild<QAction*>(effect.menuCommand)->trigger();
        return EffectDialog::find(effect.bar.dialog)->bar(effect);
    }

private:
    QTemporaryDir m_folder;
    NoBoxes m_boxes;
    std::unique_ptr<ProgramWindows> m_windows;
    std::string m_loaded;
};

Program* program = nullptr;

void postKey(QSlider* bar, Qt::Key key) {
    QCoreApplication::postEvent(bar, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
    QCoreApplication::postEvent(bar, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier));
}

// Handles events until the document holds `value` for the effect: that write renders and paints the
// frame before it returns.
void waitForFrame(const pixmora::EffectDescription& effect, int value) {
    QElapsedTimer guard;
    guard.start();
    while (effect.get(program->document()) != value) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        if (guard.elapsed() > 600'000) {
            std::fprintf(stderr, "no frame for %s = %d\n", effect.property, value);
            std::abort();
        }
    }
}

void memcpyBench(benchmark::State& state, Size size) {
    const std::size_t bytes = static_cast<std::size_t>(pixmora::Bitmap::strideFor(size.width)) * size.height;
    std::vector<std::uint8_t> from(bytes, 1), to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::ClobberMemory();
    }
}

// One press of an arrow key on the bar, to the painted frame; the bar goes back and forth between
// `base` and base + 1.
void stepBench(benchmark::State& state, Size size, const char* property, int base, bool fitted) {
    program->load(size, fitted);
    QSlider* bar = program->bar(property);
    const pixmora::EffectDescription& effect = *pixmora::effectByProperty(property);
    bar->setValue(base);
    bool up = true;
    for (auto _ : state) {
        postKey(bar, up ? Qt::Key_Right : Qt::Key_Left);
        waitForFrame(effect, up ? base + 1 : base);
        up = !up;
    }
}

// Twenty presses already queued when the first is handled (as a held key leaves them while a render
// runs), to the frame of the last one; the bar starts 20 below `top` each time.
void queuedBench(benchmark::State& state, Size size, const char* property, int top) {
    program->load(size, false);
    QSlider* bar = program->bar(property);
    const pixmora::EffectDescription& effect = *pixmora::effectByProperty(property);
    for (auto _ : state) {
        state.PauseTiming();
        bar->setValue(top - 20);
        waitForFrame(effect, top - 20);
        state.ResumeTiming();
        for (int i = 0; i < 20; ++i)
            postKey(bar, Qt::Key_Right);
        waitForFrame(effect, top);
    }
}

// A key held for twenty repeats, 33 ms apart as a keyboard repeats: the time from the last repeat to the
// frame that shows it, which is how far the picture lags behind the hand.
void heldBench(benchmark::State& state, Size size, const char* property, int top) {
    program->load(size, false);
    QSlider* bar = program->bar(property);
    const pixmora::EffectDescription& effect = *pixmora::effectByProperty(property);
    for (auto _ : state) {
        bar->setValue(top - 20);
        waitForFrame(effect, top - 20);
        std::chrono::steady_clock::time_point lastKey;
        std::thread hand([&] {
            for (int i = 0; i < 20; ++i) {
                if (i > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(33));
                lastKey = std::chrono::steady_clock::now();
                postKey(bar, Qt::Key_Right);
            }
        });
        waitForFrame(effect, top);
        const auto shown = std::chrono::steady_clock::now();
        hand.join();
        state.SetIterationTime(std::chrono::duration<double>(shown - lastKey).count());
    }
}

// A goal in milliseconds, or in renders of the benchmark named by `per` (the same size's single step).
struct Goal {
    const char* text = "";
    double ms = 0;
    double renders = 0;
    std::string per;
};
Goal msGoal(const char* text, double ms) {
    return {text, ms, 0, {}};
}
Goal rendersGoal(const char* text, double renders, std::string per) {
    return {text, 0, renders, std::move(per)};
}

// Prints every result in ms, as a ratio to the memcpy of its size and in renders where that is the
// measure, beside its goal.
class LatencyReporter : public benchmark::ConsoleReporter {
public:
    explicit LatencyReporter(std::map<std::string, Goal> goals) : m_goals(std::move(goals)) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration)
                m_ms.emplace_back(run.run_name.function_name,
                                  run.GetAdjustedRealTime() * unitMs(run.time_unit));
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::map<std::string, double> byName(m_ms.begin(), m_ms.end());
        std::printf("\n%-40s %10s %10s %9s   %s\n", "slider step (press to painted frame)", "ms", "x memcpy",
                    "renders", "goal");
        for (const auto& [name, ms] : m_ms) {
            const std::string size = name.substr(name.rfind('/') + 1);
            const double copy = byName.count("Memcpy/" + size) ? byName["Memcpy/" + size] : 0;
            std::string goalText = "-";
            double renders = 0;
            const auto goal = m_goals.find(name);
            if (goal != m_goals.end()) {
                const Goal& g = goal->second;
                if (!g.per.empty() && byName.count(g.per))
                    renders = ms / byName[g.per];
                const bool met = g.renders > 0 ? renders > 0 && renders <= g.renders : ms <= g.ms;
                goalText = std::string(g.text) + (met ? "  met" : "  NOT MET");
            }
            char rendersText[16] = "";
            if (renders > 0)
                std::snprintf(rendersText, sizeof rendersText, "%.2f", renders);
            std::printf("%-40s %10.2f %10.2f %9s   %s\n", name.c_str(), ms, copy > 0 ? ms / copy : 0.0,
                        rendersText, goalText.c_str());
        }
    }

private:
    static double unitMs(benchmark::TimeUnit unit) {
        switch (unit) {
        case benchmark::kNanosecond:
            return 1e-6;
        case benchmark::kMicrosecond:
            return 1e-3;
        case benchmark::kMillisecond:
            return 1;
        default:
            return 1e3;
        }
    }

    std::map<std::string, Goal> m_goals;
    std::vector<std::pair<std::string, double>> m_ms;
};

// The offscreen platform cannot stack windows, and says so at every turn.
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (!message.startsWith(QLatin1String("This plugin does not support")))
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietHandler);
    PixmoraApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    Program started;
    program = &started;

    std::map<std::string, Goal> goals;
    for (const Size& size : Sizes) {
        const std::string s = size.name;
        const bool goalSize = s == "12MP";
        auto add = [&](const std::string& name, auto&& run, int iterations, bool manualTime = false) {
            auto* b = benchmark::RegisterBenchmark(name.c_str(), run);
            b->Unit(benchmark::kMillisecond)->Iterations(iterations);
            if (manualTime)
                b->UseManualTime();
            else
                b->UseRealTime();
        };
        add(
            "Memcpy/" + s, [size](benchmark::State& st) { memcpyBench(st, size); }, 50);
        add(
            "Step/Brightness/" + s,
            [size](benchmark::State& st) { stepBench(st, size, "PicBrightness", 0, false); }, 40);
        add(
            "Step/Brightness/fitted/" + s,
            [size](benchmark::State& st) { stepBench(st, size, "PicBrightness", 0, true); }, 40);
        add(
            "Step/ColorNoise200/" + s,
            [size](benchmark::State& st) { stepBench(st, size, "PicColorNoise", 199, false); }, 10);
        add(
            "Step/GaussianBlur50/" + s,
            [size](benchmark::State& st) { stepBench(st, size, "PicGaussianBlur", 49, false); }, 4);
        add(
            "Step/AntiAlias50/" + s,
            [size](benchmark::State& st) { stepBench(st, size, "PicAntiAlias", 49, false); }, 4);
        add(
            "Queued20/GaussianBlur50/" + s,
            [size](benchmark::State& st) { queuedBench(st, size, "PicGaussianBlur", 50); }, 3);
        add(
            "Held20/GaussianBlur50/" + s,
            [size](benchmark::State& st) { heldBench(st, size, "PicGaussianBlur", 50); }, 3, true);
        if (goalSize) {
            goals["Step/Brightness/" + s] = msGoal("tone <= 16 ms", 16);
            goals["Step/Brightness/fitted/" + s] = msGoal("tone <= 16 ms", 16);
            goals["Step/ColorNoise200/" + s] = msGoal("effect <= 150 ms", 150);
            goals["Step/GaussianBlur50/" + s] = msGoal("effect <= 150 ms", 150);
            goals["Step/AntiAlias50/" + s] = msGoal("effect <= 150 ms", 150);
        }
        goals["Queued20/GaussianBlur50/" + s] = rendersGoal("<= 3 renders", 3, "Step/GaussianBlur50/" + s);
        goals["Held20/GaussianBlur50/" + s] = rendersGoal("lag <= 2 renders", 2, "Step/GaussianBlur50/" + s);
    }
    LatencyReporter reporter(goals);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    program = nullptr;
    return 0;
}
