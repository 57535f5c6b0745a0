#pragma once
// Tonal components: the strongest spectral peaks, coded apart from the
// quantisation units so that a unit holding a peak no longer needs a scale
// factor as coarse as the peak for all its other lines.
#include <cstdint>

#include "atrac3/sound_unit.h"

namespace atrac3 {

// Picks peaks of `spectrum` (1024 lines) while the tonal section stays
// within `capBits`, quantises them into the tonal fields of `unit`, and
// writes the spectrum minus their decoded values to `residual`. Bit q of
// `touched` is set for every quantisation unit whose lines changed.
void ExtractTonal(const float* spectrum, float* residual, SoundUnit& unit, int capBits,
                  uint32_t& touched);

}  // namespace atrac3
