#include "atrac3/tonal_components.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "atrac3/bit_allocation.h"

namespace atrac3 {

namespace {

constexpr int kValues = 4;    // lines per component: a windowed tone's main lobe
constexpr int kSelector = 7;  // word length of the components (mantissas -31..31)
// A line counts as a peak when it stands this far above its unit's RMS.
constexpr float kPeakOverRms = 1.5f;
constexpr int kMaxCandidates = 128;

int QuantUnitOf(int line) {
    int q = 0;
    while (kQuantUnitStart[q + 1] <= line) ++q;
    return q;
}

int ScaleIndexFor(float peak) {
    const auto& sf = ScaleFactors();
    int j = 0;
    while (j < kScaleFactors - 1 && sf[j] < peak) ++j;
    return j;
}

}  // namespace

void ExtractTonal(const float* spectrum, float* residual, SoundUnit& unit, int capBits,
                  uint32_t& touched) {
    std::copy_n(spectrum, kFrameSamples, residual);
    unit.tonalCount = 0;
    unit.tonalSelector = kSelector;
    unit.tonalValues = kValues;
    unit.tonalConstantLength = false;
    touched = 0;

    std::array<float, kQuantUnits> rms{};
    for (int q = 0; q < kQuantUnits; ++q) {
        float e = 0.0f;
        for (int i = kQuantUnitStart[q]; i < kQuantUnitStart[q + 1]; ++i)
            e += spectrum[i] * spectrum[i];
        rms[q] = std::sqrt(e / (kQuantUnitStart[q + 1] - kQuantUnitStart[q]));
    }

    struct Candidate {
        float magnitude;
        int line;
    };
    std::array<Candidate, kMaxCandidates> candidates;
    int found = 0;
    for (int q = 0; q < kQuantUnits; ++q) {
        const float threshold = kPeakOverRms * rms[q];
        for (int k = kQuantUnitStart[q]; k < kQuantUnitStart[q + 1]; ++k) {
            const float m = std::fabs(spectrum[k]);
            if (m == 0.0f || m < threshold) continue;
            if (k > 0 && std::fabs(spectrum[k - 1]) > m) continue;
            if (k + 1 < kFrameSamples && std::fabs(spectrum[k + 1]) >= m) continue;
            if (found < kMaxCandidates) {
                candidates[found++] = {m, k};
            } else {
                // Keep the strongest: replace the weakest when this one beats it.
                auto weakest =
                    std::min_element(candidates.begin(), candidates.end(),
                                     [](auto& a, auto& b) { return a.magnitude < b.magnitude; });
                if (weakest->magnitude < m) *weakest = {m, k};
            }
        }
    }
    std::sort(candidates.begin(), candidates.begin() + found,
              [](const Candidate& a, const Candidate& b) { return a.magnitude > b.magnitude; });

    std::array<bool, kFrameSamples> used{};
    for (int c = 0; c < found && unit.tonalCount < kMaxTonalComponents; ++c) {
        const int k = candidates[c].line;
        // Centre the run on the peak, leaning towards the larger neighbour.
        const bool leanUp = k + 1 < kFrameSamples &&
                            (k == 0 || std::fabs(spectrum[k + 1]) >= std::fabs(spectrum[k - 1]));
        int p = std::clamp(k - (leanUp ? 1 : 2), 0, kFrameSamples - kValues);
        bool clash = false;
        for (int i = p; i < p + kValues; ++i) clash = clash || used[i];
        if (clash) continue;

        TonalComponent comp;
        comp.position = static_cast<uint16_t>(p);
        float peak = 0.0f;
        for (int i = p; i < p + kValues; ++i) peak = std::max(peak, std::fabs(spectrum[i]));
        comp.scaleIndex = static_cast<uint8_t>(ScaleIndexFor(peak));
        QuantiseLines(spectrum + p, kValues, kSelector, comp.scaleIndex, comp.mantissa.data());

        // Insert in position order and check the section still fits.
        SoundUnit trial = unit;
        int at = trial.tonalCount;
        while (at > 0 && trial.tonal[at - 1].position > p) {
            trial.tonal[at] = trial.tonal[at - 1];
            --at;
        }
        trial.tonal[at] = comp;
        ++trial.tonalCount;
        if (TonalBits(trial) > capBits) break;
        unit.tonal = trial.tonal;
        unit.tonalCount = trial.tonalCount;

        for (int i = p; i < p + kValues; ++i) {
            used[i] = true;
            residual[i] =
                spectrum[i] - Dequantise(comp.mantissa[i - p], kSelector, comp.scaleIndex);
            touched |= 1u << QuantUnitOf(i);
        }
    }
}

}  // namespace atrac3
