// Speed of the engine on a 12-megapixel photo-like picture, each figure also given as a ratio to a
// memcpy of the same bytes measured in the same run (the machines are shared and noisy).
#include "Effects.h"
#include "KernelLevel.h"
#include "OrImageEngine.h"
#include "PhotoPicture.h"
#include "Threads.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

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

// Collects the results to print them with their ratio to the memcpy at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration)
                m_results.push_back(
                    {run.benchmark_name(),
                     run.GetAdjustedRealTime() / 1e6 * (run.time_unit == benchmark::kMillisecond ? 1e6 : 1)});
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        double memcpyMs = 0;
        for (const auto& [name, ms] : m_results)
            if (name.rfind("Memcpy", 0) == 0)
                memcpyMs = ms;
        std::printf("\n%-36s %12s %14s\n", "benchmark", "ms", "x memcpy");
        for (const auto& [name, ms] : m_results)
            std::printf("%-36s %12.2f %14.2f\n", name.c_str(), ms, memcpyMs > 0 ? ms / memcpyMs : 0.0);
    }

private:
    std::vector<std::pair<std::string, double>> m_results;
};

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
//   --threads N (or --threads=N)        runs the kernels on N threads instead of every core.
static bool takeOwnOptions(int& argc, char** argv) {
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
            pixmora::setThreadCount(static_cast<int>(threads));
            drop(i, joined ? 1 : 2);
        } else {
            ++i;
        }
    }
    std::printf("kernels: %s, threads: %d\n", pixmora::kernelLevelName(pixmora::kernelLevel()),
                pixmora::threadCount());
    return true;
}

int main(int argc, char** argv) {
    if (!takeOwnOptions(argc, argv))
        return 1;
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
