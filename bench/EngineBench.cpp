// Speed of the engine on a 12-megapixel photo-like picture, each figure also given as a ratio to a
// memcpy of the same bytes measured in the same run (the machines are shared and noisy). With --memory
// [threads], the engine's peak memory on a 100-megapixel picture instead.
#include "Effects.h"
#include "KernelLevel.h"
#include "OrImageEngine.h"
#include "PhotoPicture.h"
#include "Threads.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <sys/resource.h>

using pixmora::Bitmap;
using pixmora::OrImageEngine;

namespace {

constexpr int Width = 4000;
constexpr int Height = 3000;

const Bitmap& photo() {
    static const Bitmap picture = photoPicture(Width, Height);
    return picture;
}

OrImageEngine& loadedEngine() {
    static OrImageEngine* engine = [] {
        auto* e = new OrImageEngine;
        e->setPictureOriginal(photo());
        return e;
    }();
    engine->ResetEffects();
    return *engine;
}

void Memcpy(benchmark::State& state) {
    const Bitmap& source = photo();
    std::vector<std::uint8_t> target(source.byteCount());
    for (auto _ : state) {
        std::memcpy(target.data(), source.bits(), source.byteCount());
        benchmark::ClobberMemory();
    }
}

void ToneAll(benchmark::State& state) {
    OrImageEngine& e = loadedEngine();
    e.setPicBrightness(10);
    e.setPicContrast(40);
    e.setPicLightness(20);
    e.setPicDarkness(15);
    e.setPicSaturation(60);
    e.setPicSplitlight(1);
    e.setPicPosterize(state.range(0) ? 0 : 8);
    e.setPicSolorize(state.range(0) ? 100 : 0);
    e.setPicGrayScale(true);
    e.setPicInvert(true);
    for (auto _ : state)
        e.setPicBrightness(10);
}

void ToneSaturation(benchmark::State& state) {
    OrImageEngine& e = loadedEngine();
    e.setPicContrast(40);
    e.setPicSaturation(60);
    for (auto _ : state)
        e.setPicSaturation(60);
}

// The brightness slider over a colour noise layer: the layer is drawn once, every write renders.
void ToneNoise(benchmark::State& state) {
    OrImageEngine& e = loadedEngine();
    e.setPicColorNoise(200);
    for (auto _ : state)
        e.setPicBrightness(10);
}

// The same with a per-channel step after the noise, which the noise has to go through.
void ToneNoiseSplitlight(benchmark::State& state) {
    OrImageEngine& e = loadedEngine();
    e.setPicColorNoise(200);
    e.setPicSplitlight(1);
    for (auto _ : state)
        e.setPicBrightness(10);
}

void Brightness(benchmark::State& state) {
    OrImageEngine& e = loadedEngine();
    for (auto _ : state)
        e.setPicBrightness(40);
}

// A slider step of an area or noise effect: the setter rebuilds its intermediate (allocated by the step
// before) and renders.
template <void (OrImageEngine::*Setter)(int)> void Area(benchmark::State& state) {
    OrImageEngine& e = loadedEngine();
    (e.*Setter)(static_cast<int>(state.range(0)));
    for (auto _ : state)
        (e.*Setter)(static_cast<int>(state.range(0)));
}

void Emboss(benchmark::State& state) {
    OrImageEngine& e = loadedEngine();
    e.setPicEmboss(true);
    for (auto _ : state)
        e.setPicEmboss(true);
}

// Collects every result of a pass (one thread count) with its ratio to that pass's memcpy.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration) {
                const double ms =
                    run.GetAdjustedRealTime() * (run.time_unit == benchmark::kMillisecond ? 1.0 : 1e-6);
                // With repetitions, the best of them: the machines are shared, and interference only
                // ever makes a run slower.
                const auto [it, added] = m_pass->ms.emplace(baseName(run.benchmark_name()), ms);
                if (!added)
                    it->second = std::min(it->second, ms);
            }
    }

    struct Pass {
        int threads;
        std::map<std::string, double> ms; // by benchmark name without its min_time suffix
        double ratio(const std::string& name) const {
            const auto memcpy = ms.find("Memcpy"), it = ms.find(name);
            return memcpy == ms.end() || it == ms.end() || memcpy->second <= 0 ? -1
                                                                               : it->second / memcpy->second;
        }
    };
    void beginPass(int threads) { m_pass = &m_passes.emplace_back(Pass{threads, {}}); }
    const std::vector<Pass>& passes() const { return m_passes; }

private:
    static std::string baseName(const std::string& name) {
        const auto at = name.find("/min_time:");
        return at == std::string::npos ? name : name.substr(0, at);
    }
    std::vector<Pass> m_passes;
    Pass* m_pass = nullptr;
};

// The goals, as ratios to a memcpy of the same bytes with every core in use; on one thread the goal is
// twice as much. A goal over several benchmarks is met when the slowest of them meets it.
struct Goal {
    const char* what;
    std::vector<std::string> benchmarks;
    double ratio;
};

const std::vector<Goal>& goals() {
    static const std::vector<Goal> list = {
        {"tone effects, any combination",
         {"Brightness", "ToneAll/solorize:0", "ToneAll/solorize:1", "ToneSaturation"},
         2},
        {"colour noise 200 (setter, layer, render)", {"ColorNoise/200/200"}, 3},
        {"mono noise 200 (setter, layer, render)", {"MonoNoise/200/200"}, 2},
        {"brightness moved with a noise layer on", {"ToneNoise", "ToneNoiseSplitlight"}, 2.5},
        {"emboss", {"Emboss"}, 1.5},
        {"mosaic 20", {"Mosaic/20/20"}, 1.5},
        {"tile 10", {"Tile/10/10"}, 1.5},
        {"split blur 50", {"SplitBlur/50/50"}, 2.5},
        {"trace 2", {"Trace/2/2"}, 8},
        {"gaussian blur 50", {"GaussianBlur/50/50"}, 25},
        {"antialias 50", {"AntiAlias/50/50"}, 30},
    };
    return list;
}

// The closing table: every goal, for each pass, with the worst ratio of its benchmarks.
void printGoals(const std::vector<RatioReporter::Pass>& passes, int cores) {
    std::printf(
        "\nGoals on %d x %d: time from the setter to the shown picture as a ratio to a memcpy of the\n"
        "same bytes in the same pass; on one thread the goal is doubled (this machine: %d cores)\n\n",
        Width, Height, cores);
    std::printf("%-42s", "");
    for (const auto& pass : passes)
        std::printf("   %-26s",
                    (std::to_string(pass.threads) + (pass.threads == 1 ? " thread" : " threads")).c_str());
    std::printf("\n%-42s", "render");
    for (std::size_t i = 0; i < passes.size(); ++i)
        std::printf("   %6s %6s  %-10s", "ratio", "goal", "");
    std::printf("\n");
    for (const Goal& goal : goals()) {
        std::printf("%-42s", goal.what);
        for (const auto& pass : passes) {
            double worst = -1;
            for (const std::string& name : goal.benchmarks)
                worst = std::max(worst, pass.ratio(name));
            const double target = pass.threads == 1 && cores > 1 ? 2 * goal.ratio : goal.ratio;
            if (worst < 0)
                std::printf("   %6s %6.1f  %-10s", "-", target, "not run");
            else
                std::printf("   %6.2f %6.1f  %-10s", worst, target, worst <= target ? "met" : "NOT met");
        }
        std::printf("\n");
    }
}

} // namespace

BENCHMARK(Memcpy)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(Brightness)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(ToneAll)->Arg(0)->Arg(1)->ArgName("solorize")->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(ToneSaturation)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(ToneNoise)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(ToneNoiseSplitlight)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(Area<&OrImageEngine::setPicGaussianBlur>)
    ->Name("GaussianBlur/50")
    ->Arg(50)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Area<&OrImageEngine::setPicSplitBlur>)
    ->Name("SplitBlur/50")
    ->Arg(50)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Area<&OrImageEngine::setPicAntiAlias>)
    ->Name("AntiAlias/50")
    ->Arg(50)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Area<&OrImageEngine::setPicMosaic>)->Name("Mosaic/20")->Arg(20)->Unit(benchmark::kMillisecond);
BENCHMARK(Area<&OrImageEngine::setPicTrace>)->Name("Trace/2")->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(Area<&OrImageEngine::setPicTile>)->Name("Tile/10")->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK(Emboss)->Unit(benchmark::kMillisecond);
BENCHMARK(Area<&OrImageEngine::setPicColorNoise>)
    ->Name("ColorNoise/200")
    ->Arg(200)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Area<&OrImageEngine::setPicMonoNoise>)
    ->Name("MonoNoise/200")
    ->Arg(200)
    ->Unit(benchmark::kMillisecond);

// Takes the options of this program out of argv, leaving Google Benchmark's own:
//   --kernels=Scalar|Sse2|Avx2|Avx512  measures a lower instruction-set variant than the best one;
//   --threads N (or --threads=N)        runs the kernels on N threads only, instead of a pass on every
//                                       core followed by one on a single thread.
static bool takeOwnOptions(int& argc, char** argv, int& threadsAsked) {
    auto drop = [&](int i, int count) {
        for (int j = i; j + count < argc; ++j)
            argv[j] = argv[j + count];
        argc -= count;
    };
    for (int i = 1; i < argc;) {
        const std::string arg = argv[i];
        if (arg.rfind("--kernels=", 0) == 0) {
            bool known = false;
            for (auto level : pixmora::AllKernelLevels)
                if (arg.substr(10) == pixmora::kernelLevelName(level)) {
                    pixmora::setKernelLevelForTesting(level);
                    known = true;
                }
            if (!known) {
                std::fprintf(stderr, "unknown kernel level: %s\n", arg.c_str());
                return false;
            }
            drop(i, 1);
        } else if (arg == "--threads" || arg.rfind("--threads=", 0) == 0) {
            const bool joined = arg != "--threads";
            if (!joined && i + 1 >= argc) {
                std::fprintf(stderr, "--threads needs a number\n");
                return false;
            }
            const std::string value = joined ? arg.substr(10) : argv[i + 1];
            char* end = nullptr;
            const long threads = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || threads < 1 || threads > 1024) {
                std::fprintf(stderr, "--threads needs a number from 1 to 1024, not %s\n", value.c_str());
                return false;
            }
            threadsAsked = static_cast<int>(threads);
            drop(i, joined ? 1 : 2);
        } else {
            ++i;
        }
    }
    return true;
}

// Every effect on a 100-megapixel picture, with a noise layer on: the engine's peak memory against four
// times the picture's bytes (source, shown, area result, noise layer) and 60 MB for everything else.
static int checkMemory() {
    constexpr int Side = 10000;
    const double pictureBytes = static_cast<double>(Bitmap::strideFor(Side)) * Side;
    auto peak = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return static_cast<double>(usage.ru_maxrss) * 1024;
    };
    std::printf("%d x %d, %.0f MB of pixels, %d threads\n", Side, Side, pictureBytes / 1e6,
                pixmora::threadCount());
    OrImageEngine e;
    e.setPictureOriginal(photoPicture(Side, Side));
    e.setPicColorNoise(200);
    struct Step {
        const char* name;
        void (*apply)(OrImageEngine&);
    };
    const Step steps[] = {
        {"tone effects",
         [](OrImageEngine& e) {
             e.setPicContrast(40);
             e.setPicSaturation(60);
             e.setPicGrayScale(true);
         }},
        {"emboss", [](OrImageEngine& e) { e.setPicEmboss(true); }},
        {"mosaic 20", [](OrImageEngine& e) { e.setPicMosaic(20); }},
        {"split blur 50", [](OrImageEngine& e) { e.setPicSplitBlur(50); }},
        {"gaussian blur 50", [](OrImageEngine& e) { e.setPicGaussianBlur(50); }},
        {"antialias 50", [](OrImageEngine& e) { e.setPicAntiAlias(50); }},
        {"trace 2", [](OrImageEngine& e) { e.setPicTrace(2); }},
        {"tile 10", [](OrImageEngine& e) { e.setPicTile(10); }},
        {"mono noise 200", [](OrImageEngine& e) { e.setPicMonoNoise(200); }},
    };
    const double limit = 4 * pictureBytes + 60e6;
    for (const Step& step : steps) {
        step.apply(e);
        std::printf("%-20s peak so far %8.1f MB\n", step.name, peak() / 1e6);
    }
    const bool ok = peak() <= limit;
    std::printf("peak %.1f MB, limit %.1f MB (4 x picture + 60 MB): %s\n", peak() / 1e6, limit / 1e6,
                ok ? "met" : "NOT met");
    return ok ? 0 : 1;
}

int main(int argc, char** argv) {
    int threads = 0;
    if (argc > 1 && std::string(argv[1]) == "--memory") {
        if (argc > 2)
            pixmora::setThreadCount(std::atoi(argv[2]));
        return checkMemory();
    }
    if (!takeOwnOptions(argc, argv, threads))
        return 1;
    // Five repetitions unless asked otherwise; the table takes the best of each.
    std::vector<char*> args(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=5";
    if (std::none_of(args.begin(), args.end(),
                     [](const char* a) { return std::string(a).rfind("--benchmark_repetitions", 0) == 0; }))
        args.push_back(repetitions.data());
    int argCount = static_cast<int>(args.size());
    benchmark::Initialize(&argCount, args.data());
    RatioReporter reporter;
    pixmora::setThreadCount(0);
    const int cores = pixmora::threadCount();
    // Every core, then one thread; or the one count asked for.
    std::vector<int> counts = threads > 0 ? std::vector<int>{threads} : std::vector<int>{cores};
    if (threads == 0 && cores > 1)
        counts.push_back(1);
    for (int count : counts) {
        pixmora::setThreadCount(count);
        std::printf("\n=== %d thread%s, kernels %s ===\n", count, count == 1 ? "" : "s",
                    pixmora::kernelLevelName(pixmora::kernelLevel()));
        reporter.beginPass(count);
        benchmark::RunSpecifiedBenchmarks(&reporter);
    }
    benchmark::Shutdown();
    printGoals(reporter.passes(), cores);
    return 0;
}
