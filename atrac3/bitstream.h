#pragma once
// Bit-level writing and reading of sound units, most significant bit first.
#include <cstddef>
#include <cstdint>
#include <span>

#include "atrac3/sound_unit.h"

namespace atrac3 {

// Writes into a caller-owned span; refuses (and remembers) any write that
// would run past its end instead of overrunning it.
class BitWriter {
  public:
    explicit BitWriter(std::span<uint8_t> out);

    void Put(uint32_t value, int bits);
    size_t BitsWritten() const { return m_bit; }
    size_t BytesWritten() const { return (m_bit + 7) / 8; }
    bool Overflowed() const { return m_overflow; }

  private:
    std::span<uint8_t> m_out;
    size_t m_bit = 0;
    bool m_overflow = false;
};

class BitReader {
  public:
    explicit BitReader(std::span<const uint8_t> in) : m_in(in) {}

    // Reads `bits` bits; past the end it yields zeros and marks the reader.
    uint32_t Get(int bits);
    int32_t GetSigned(int bits);
    bool Overran() const { return m_overrun; }

  private:
    std::span<const uint8_t> m_in;
    size_t m_bit = 0;
    bool m_overrun = false;
};

// Writes one sound unit. `stereoSecond` writes the second unit of a
// joint-stereo frame, with its weighting and matrixing fields (plain sum and
// difference in every band, no weighting) and its short sync code.
void WriteSoundUnit(BitWriter& out, const SoundUnit& unit, bool stereoSecond);

// Parses a sound unit as written above (gain control and tonal components
// must be absent). False on a malformed or truncated unit.
bool ReadSoundUnit(BitReader& in, SoundUnit& unit, bool stereoSecond);

}  // namespace atrac3
