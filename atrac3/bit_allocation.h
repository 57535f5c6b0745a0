#pragma once
// Chooses, for one or two sound units sharing a bit budget, the word length
// and scale factor of every quantisation unit and quantises the spectrum.
// Bits go greedily where they remove the most squared error per bit, which
// fills the frame as far as the signal has anything left to code.
#include <array>
#include <span>

#include "atrac3/sound_unit.h"

namespace atrac3 {

struct UnitRequest {
    const float* spectrum = nullptr;  // kFrameSamples lines
    bool stereoSecond = false;        // second unit of a joint-stereo frame
    SoundUnit* result = nullptr;
};

// Quantises `count` lines with `selector` and `scaleIndex`, rounding
// magnitudes up from `rounding` (0.5: to nearest); returns the squared error.
float QuantiseLines(const float* lines, int count, int selector, int scaleIndex, int8_t* mantissas,
                    float rounding = 0.5f);

// Allocates `budgetBits` (side information included) over the units; each
// result codes into at most its share. At most two units.
void AllocateBits(std::span<const UnitRequest> units, int budgetBits);

}  // namespace atrac3
