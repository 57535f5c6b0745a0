#include "engine/adpcm.h"

#include <algorithm>
#include <cstdlib>

#include "engine/adpcm_tables.h"
#include "engine/pcm.h"

namespace {

constexpr int kMaxStepIndex = 88;
constexpr int kMaxStartIndex = 63;  // the header has 6 bits for it

// Gathers codes in a register and stores whole bytes; the block size is a
// whole number of bytes, so finish() only has to store what is left.
class BitWriter {
  public:
    explicit BitWriter(std::span<uint8_t> out) : m_out(out) {}
    void put(uint32_t value, int count) {
        m_acc = (m_acc << count) | (value & ((1u << count) - 1));
        m_bits += count;
        while (m_bits >= 8) {
            m_bits -= 8;
            m_out[m_at++] = static_cast<uint8_t>(m_acc >> m_bits);
        }
    }
    void finish() {
        if (m_bits > 0) m_out[m_at++] = static_cast<uint8_t>(m_acc << (8 - m_bits));
        std::fill(m_out.begin() + m_at, m_out.end(), uint8_t{0});
    }

  private:
    std::span<uint8_t> m_out;
    size_t m_at = 0;
    uint32_t m_acc = 0;
    int m_bits = 0;
};

class BitReader {
  public:
    explicit BitReader(std::span<const uint8_t> in) : m_in(in) {}
    uint32_t get(int count) {
        uint32_t value = 0;
        for (int i = 0; i < count; ++i) {
            value = (value << 1) | ((m_in[m_bit >> 3] >> (7 - (m_bit & 7))) & 1u);
            ++m_bit;
        }
        return value;
    }

  private:
    std::span<const uint8_t> m_in;
    size_t m_bit = 0;
};

int StartIndex(int32_t first, int32_t second) {
    const int32_t d = std::abs(first - second);
    for (int i = 0; i < kMaxStartIndex; ++i) {
        if (kAdpcmStepTable[i] >= d) return i;
    }
    return kMaxStartIndex;
}

// The step summed over the set magnitude bits plus the final half step: the
// amount both coder and decoder move the predictor by.
int32_t MagnitudeDelta(int32_t step, uint32_t magnitude, int bits) {
    int32_t sum = 0;
    for (uint32_t mask = 1u << (bits - 2); mask != 0; mask >>= 1) {
        if (magnitude & mask) sum += step;
        step >>= 1;
    }
    return sum + step;
}

}  // namespace

uint32_t AdpcmBlockBytes(int bits) {
    if (bits < kAdpcmMinBits || bits > kAdpcmMaxBits) return 0;
    return kAdpcmBlockBytesTable[bits - kAdpcmMinBits];
}

OSStatus AdpcmEncodeBlock(std::span<const int16_t> samples, int bits, float gain,
                          std::span<uint8_t> out) {
    const uint32_t blockBytes = AdpcmBlockBytes(bits);
    if (blockBytes == 0 || samples.size() < kAdpcmBlockFrames || out.size() < blockBytes) {
        return kStatusParamError;
    }
    int16_t gained[kAdpcmBlockFrames];
    for (uint32_t i = 0; i < kAdpcmBlockFrames; ++i) gained[i] = ApplySoundGain(samples[i], gain);

    const auto& adjust = kAdpcmIndexAdjust[bits - kAdpcmMinBits];
    const uint32_t signBit = 1u << (bits - 1);
    int index = StartIndex(gained[0], gained[1]);
    int32_t predictor = gained[0];

    BitWriter writer(out.first(blockBytes));
    writer.put(static_cast<uint32_t>(bits - kAdpcmMinBits), 2);
    writer.put(static_cast<uint32_t>(index), 6);
    writer.put(static_cast<uint8_t>(gained[0] >> 8), 8);

    for (uint32_t i = 0; i < kAdpcmBlockFrames; ++i) {
        int32_t diff = gained[i] - predictor;
        uint32_t code = 0;
        if (diff < 0) {
            code = signBit;
            diff = -diff;
        }
        int32_t step = kAdpcmStepTable[index];
        int32_t sum = 0;
        for (uint32_t mask = 1u << (bits - 2); mask != 0; mask >>= 1) {
            if (diff >= step) {
                code |= mask;
                diff -= step;
                sum += step;
            }
            step >>= 1;
        }
        sum += step;
        predictor = ClampSample((code & signBit) ? predictor - sum : predictor + sum);
        index = std::clamp(index + adjust[code & (signBit - 1)], 0, kMaxStepIndex);
        writer.put(code, bits);
    }
    writer.finish();
    return noErr;
}

OSStatus AdpcmDecodeBlock(std::span<const uint8_t> in, std::span<int16_t> out,
                          uint32_t* bytesUsed) {
    if (in.size() < 2 || out.size() < kAdpcmBlockFrames) return kStatusParamError;
    BitReader reader(in);
    const int bits = static_cast<int>(reader.get(2)) + kAdpcmMinBits;
    const uint32_t blockBytes = AdpcmBlockBytes(bits);
    if (in.size() < blockBytes) return kStatusParamError;
    int index = static_cast<int>(reader.get(6));
    // Only the high byte of the first sample travels; the coder's low byte is lost.
    int32_t predictor = static_cast<int8_t>(reader.get(8)) * 256;

    const auto& adjust = kAdpcmIndexAdjust[bits - kAdpcmMinBits];
    const uint32_t signBit = 1u << (bits - 1);
    for (uint32_t i = 0; i < kAdpcmBlockFrames; ++i) {
        const uint32_t code = reader.get(bits);
        const uint32_t magnitude = code & (signBit - 1);
        const int32_t delta = MagnitudeDelta(kAdpcmStepTable[index], magnitude, bits);
        predictor = ClampSample((code & signBit) ? predictor - delta : predictor + delta);
        index = std::clamp(index + adjust[magnitude], 0, kMaxStepIndex);
        out[i] = static_cast<int16_t>(predictor);
    }
    if (bytesUsed) *bytesUsed = blockBytes;
    return noErr;
}
