// The per-pixel pass of a render. A setting becomes a plan once, when it changes: its per-channel steps
// as 256-entry tables and the row kernel of the best instruction-set level for its shape. Renders with
// the same setting (a new noise layer, a new area result, a repaint of the same values) reuse the plan.
#include "Parallel.h"
#include "ToneKernels.h"

#include <array>
#include <mutex>

namespace pixmora {

namespace {

using tone::Coupling;
using tone::TonePlan;

tone::ToneRow kernelAt(KernelLevel level, TonePlan& plan) {
    switch (level) {
    case KernelLevel::Avx512:
        return tone::avx512ToneRow(plan);
    case KernelLevel::Avx2:
        return tone::avx2ToneRow(plan);
    case KernelLevel::Sse2:
        return tone::sse2ToneRow(plan);
    case KernelLevel::Scalar:
        break;
    }
    return tone::scalarToneRow(plan);
}

std::shared_ptr<const TonePlan> makePlan(const ToneSettings& s, bool noise, KernelLevel level) {
    auto plan = std::make_shared<TonePlan>();
    plan->settings = s;
    plan->noise = noise;
    plan->level = level;
    plan->coupling =
        s.grayScale ? Coupling::Gray : (s.saturation != 0 ? Coupling::Saturation : Coupling::None);
    plan->solar = s.posterize == 0 && s.solorize != 0;
    plan->brightnessOnly = !noise && plan->coupling == Coupling::None && !plan->solar && !s.invert &&
                           s.posterize == 0 && s.contrast == 0 && s.lightness == 0 && s.darkness == 0 &&
                           s.splitlight == 0;
    plan->tableOnly = !plan->brightnessOnly && !noise && !plan->solar && plan->coupling == Coupling::None;
    if (!plan->brightnessOnly)
        tone::buildTables(s, plan->coupling, plan->tables);
    if (plan->coupling == Coupling::Gray)
        plan->gray = &tone::grayTables();
    // The best level that has a kernel of its own for this shape.
    for (int l = static_cast<int>(level); !plan->row; --l)
        plan->row = kernelAt(static_cast<KernelLevel>(l), *plan);
    return plan;
}

// The plans of the last few settings, for every engine of the process: a slider that moves back and forth,
// or two components showing the same values, find theirs here.
std::shared_ptr<const TonePlan> planFor(const ToneSettings& s, bool noise) {
    static std::mutex mutex;
    static std::array<std::shared_ptr<const TonePlan>, 4> recent;
    const KernelLevel level = kernelLevel();
    {
        std::lock_guard lock(mutex);
        for (std::size_t i = 0; i < recent.size(); ++i)
            if (recent[i] && recent[i]->settings == s && recent[i]->noise == noise &&
                recent[i]->level == level) {
                std::shared_ptr<const TonePlan> found = recent[i];
                for (std::size_t j = i; j > 0; --j)
                    recent[j] = std::move(recent[j - 1]);
                recent[0] = found;
                return found;
            }
    }
    std::shared_ptr<const TonePlan> plan = makePlan(s, noise, level);
    std::lock_guard lock(mutex);
    for (std::size_t j = recent.size() - 1; j > 0; --j)
        recent[j] = std::move(recent[j - 1]);
    recent[0] = plan;
    return plan;
}

} // namespace

ToneRows::ToneRows(const Bitmap& input, const Bitmap* noise, Bitmap& output, const ToneSettings& settings)
    : m_plan(planFor(settings, noise != nullptr)), m_input(input), m_noise(noise), m_output(output) {}

ToneRows::~ToneRows() = default;

void ToneRows::operator()(int y, int x0, int x1) const {
    const std::ptrdiff_t at = 3 * static_cast<std::ptrdiff_t>(x0);
    m_plan->row(*m_plan, m_input.row(y) + at, m_noise ? m_noise->row(y) + at : nullptr, m_output.row(y) + at,
                x1 - x0);
}

void ToneRows::intoRow(int y, std::uint8_t* row) const {
    m_plan->row(*m_plan, m_input.row(y), m_noise ? m_noise->row(y) : nullptr, row, m_input.width());
}

void renderTone(const Bitmap& input, const Bitmap* noise, Bitmap& output, const ToneSettings& s) {
    const ToneRows rows(input, noise, output, s);
    parallelRanges(input.height(), input.width(), [&](int begin, int end) {
        for (int y = begin; y < end; ++y)
            rows(y);
    });
}

} // namespace pixmora
