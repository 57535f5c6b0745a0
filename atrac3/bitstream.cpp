#include "atrac3/bitstream.h"

#include <algorithm>
#include <cassert>

namespace atrac3 {

namespace {

constexpr uint32_t kUnitSync = 0x28;
constexpr uint32_t kStereoSecondSync = 3;
constexpr uint32_t kNoWeighting = 7;
constexpr uint32_t kSumDifference = 3;

template <size_t N>
void PutSymbol(BitWriter& out, const std::array<HuffCode, N>& table, int symbol) {
    out.Put(table[symbol].code, table[symbol].bits);
}

int Symbol(int v) {
    return v > 0 ? 2 * v - 1 : -2 * v;
}
int FromSymbol(int s) {
    return (s & 1) ? (s + 1) / 2 : -(s / 2);
}

template <size_t N>
bool GetSymbol(BitReader& in, const std::array<HuffCode, N>& table, int& symbol) {
    // Codes are at most 8 bits; grow the prefix until one matches.
    uint32_t prefix = 0;
    for (int len = 1; len <= 8; ++len) {
        prefix = (prefix << 1) | in.Get(1);
        for (size_t s = 0; s < N; ++s) {
            if (table[s].bits == len && table[s].code == prefix) {
                symbol = static_cast<int>(s);
                return true;
            }
        }
    }
    return false;
}

void WriteMantissas(BitWriter& out, const int8_t* m, int count, int selector, bool clc) {
    if (clc) {
        if (selector == 1) {
            for (int i = 0; i < count; i += 2) out.Put(((m[i] & 3u) << 2) | (m[i + 1] & 3u), 4);
        } else {
            const int bits = kClcBits[selector];
            for (int i = 0; i < count; ++i)
                out.Put(static_cast<uint32_t>(m[i]) & ((1u << bits) - 1), bits);
        }
        return;
    }
    for (int i = 0; i < count; ++i) {
        switch (selector) {
            case 1:
                PutSymbol(out, kHuffPairs, kPairSymbol[m[i] + 1][m[i + 1] + 1]);
                ++i;
                break;
            case 2:
                PutSymbol(out, kHuff2, Symbol(m[i]));
                break;
            case 3:
                PutSymbol(out, kHuff3, Symbol(m[i]));
                break;
            case 4:
                PutSymbol(out, kHuff4, Symbol(m[i]));
                break;
            case 5:
                PutSymbol(out, kHuff5, Symbol(m[i]));
                break;
            case 6:
                PutSymbol(out, kHuff6, Symbol(m[i]));
                break;
            default:
                PutSymbol(out, kHuff7, Symbol(m[i]));
                break;
        }
    }
}

bool ReadMantissas(BitReader& in, int8_t* m, int count, int selector, bool clc) {
    static constexpr int8_t kTwoBit[4] = {0, 1, -2, -1};
    if (clc) {
        if (selector == 1) {
            for (int i = 0; i < count; i += 2) {
                const uint32_t code = in.Get(4);
                m[i] = kTwoBit[code >> 2];
                m[i + 1] = kTwoBit[code & 3];
            }
        } else {
            for (int i = 0; i < count; ++i)
                m[i] = static_cast<int8_t>(in.GetSigned(kClcBits[selector]));
        }
        return true;
    }
    if (selector == 1) {
        for (int i = 0; i < count; i += 2) {
            int s = 0;
            if (!GetSymbol(in, kHuffPairs, s)) return false;
            for (int a = 0; a < 3; ++a) {
                for (int b = 0; b < 3; ++b) {
                    if (kPairSymbol[a][b] == s) {
                        m[i] = static_cast<int8_t>(a - 1);
                        m[i + 1] = static_cast<int8_t>(b - 1);
                    }
                }
            }
        }
        return true;
    }
    for (int i = 0; i < count; ++i) {
        int s = 0;
        bool ok = false;
        switch (selector) {
            case 2:
                ok = GetSymbol(in, kHuff2, s);
                break;
            case 3:
                ok = GetSymbol(in, kHuff3, s);
                break;
            case 4:
                ok = GetSymbol(in, kHuff4, s);
                break;
            case 5:
                ok = GetSymbol(in, kHuff5, s);
                break;
            case 6:
                ok = GetSymbol(in, kHuff6, s);
                break;
            default:
                ok = GetSymbol(in, kHuff7, s);
                break;
        }
        if (!ok) return false;
        m[i] = static_cast<int8_t>(FromSymbol(s));
    }
    return true;
}

constexpr int kBlocks = kFrameSamples / kTonalBlock;
constexpr int kBlocksPerBand = kBandSamples / kTonalBlock;
constexpr int kPerGroupAndBlock = 7;  // a 3-bit count per block and group

// Components of block `b` that fall in group `g` (the g-th run of seven).
struct BlockSlice {
    int first = 0;
    int count = 0;
};

void SliceBlocks(const SoundUnit& unit, std::array<int, kBlocks + 1>& start) {
    start.fill(0);
    for (int i = 0; i < unit.tonalCount; ++i) ++start[unit.tonal[i].position / kTonalBlock + 1];
    for (int b = 0; b < kBlocks; ++b) start[b + 1] += start[b];
}

BlockSlice Slice(const std::array<int, kBlocks + 1>& start, int b, int g) {
    const int n = start[b + 1] - start[b];
    const int skip = g * kPerGroupAndBlock;
    if (n <= skip) return {};
    return {start[b] + skip, std::min(kPerGroupAndBlock, n - skip)};
}

void WriteTonal(BitWriter& out, const SoundUnit& unit) {
    std::array<int, kBlocks + 1> start;
    SliceBlocks(unit, start);
    int groups = 0;
    for (int b = 0; b < kBlocks; ++b) {
        groups =
            std::max(groups, (start[b + 1] - start[b] + kPerGroupAndBlock - 1) / kPerGroupAndBlock);
    }
    out.Put(static_cast<uint32_t>(groups), 5);
    if (groups == 0) return;
    out.Put(unit.tonalConstantLength ? 1 : 0, 2);
    for (int g = 0; g < groups; ++g) {
        bool flags[kBands] = {};
        for (int b = 0; b < kBlocks; ++b) flags[b / kBlocksPerBand] |= Slice(start, b, g).count > 0;
        for (bool f : flags) out.Put(f ? 1 : 0, 1);
        out.Put(static_cast<uint32_t>(unit.tonalValues - 1), 3);
        out.Put(static_cast<uint32_t>(unit.tonalSelector), 3);
        for (int b = 0; b < kBlocks; ++b) {
            if (!flags[b / kBlocksPerBand]) continue;
            const BlockSlice s = Slice(start, b, g);
            out.Put(static_cast<uint32_t>(s.count), 3);
            for (int i = s.first; i < s.first + s.count; ++i) {
                const TonalComponent& c = unit.tonal[i];
                out.Put(c.scaleIndex, 6);
                out.Put(c.position % kTonalBlock, 6);
                WriteMantissas(out, c.mantissa.data(), unit.tonalValues, unit.tonalSelector,
                               unit.tonalConstantLength);
            }
        }
    }
}

// Reads what WriteTonal writes: one word length and value count for all groups.
bool ReadTonal(BitReader& in, SoundUnit& unit, int bands) {
    const int groups = static_cast<int>(in.Get(5));
    if (groups == 0) return true;
    const uint32_t mode = in.Get(2);
    if (mode > 1) return false;
    unit.tonalConstantLength = mode == 1;
    for (int g = 0; g < groups; ++g) {
        bool flags[kBands] = {};
        for (int band = 0; band <= bands; ++band) flags[band] = in.Get(1) != 0;
        const int values = static_cast<int>(in.Get(3)) + 1;
        const int selector = static_cast<int>(in.Get(3));
        if (selector < 2) return false;
        if (g > 0 && (values != unit.tonalValues || selector != unit.tonalSelector)) return false;
        unit.tonalValues = values;
        unit.tonalSelector = selector;
        for (int b = 0; b < (bands + 1) * kBlocksPerBand; ++b) {
            if (!flags[b / kBlocksPerBand]) continue;
            const int count = static_cast<int>(in.Get(3));
            for (int i = 0; i < count; ++i) {
                if (unit.tonalCount >= kMaxTonalComponents) return false;
                TonalComponent& c = unit.tonal[unit.tonalCount++];
                c.scaleIndex = static_cast<uint8_t>(in.Get(6));
                c.position = static_cast<uint16_t>(b * kTonalBlock + in.Get(6));
                if (c.position + values > kFrameSamples) return false;
                if (!ReadMantissas(in, c.mantissa.data(), values, selector,
                                   unit.tonalConstantLength)) {
                    return false;
                }
            }
        }
    }
    // Back into position order, as the writer keeps them.
    std::stable_sort(
        unit.tonal.begin(), unit.tonal.begin() + unit.tonalCount,
        [](const TonalComponent& a, const TonalComponent& b) { return a.position < b.position; });
    return true;
}

}  // namespace

BitWriter::BitWriter(std::span<uint8_t> out) : m_out(out) {
    std::fill(m_out.begin(), m_out.end(), uint8_t{0});
}

void BitWriter::Put(uint32_t value, int bits) {
    assert(bits >= 0 && bits <= 32);
    if (m_overflow || m_bit + bits > m_out.size() * 8) {
        m_overflow = true;
        return;
    }
    for (int b = bits - 1; b >= 0; --b, ++m_bit) {
        if ((value >> b) & 1) m_out[m_bit / 8] |= static_cast<uint8_t>(0x80u >> (m_bit % 8));
    }
}

uint32_t BitReader::Get(int bits) {
    uint32_t v = 0;
    for (int b = 0; b < bits; ++b, ++m_bit) {
        uint32_t bit = 0;
        if (m_bit / 8 < m_in.size()) {
            bit = (m_in[m_bit / 8] >> (7 - m_bit % 8)) & 1;
        } else {
            m_overrun = true;
        }
        v = (v << 1) | bit;
    }
    return v;
}

int32_t BitReader::GetSigned(int bits) {
    const uint32_t v = Get(bits);
    const uint32_t sign = 1u << (bits - 1);
    return static_cast<int32_t>(v ^ sign) - static_cast<int32_t>(sign);
}

void WriteSoundUnit(BitWriter& out, const SoundUnit& unit, bool stereoSecond) {
    assert(unit.codedUnits >= 2 && unit.codedUnits <= kQuantUnits);
    if (stereoSecond) {
        out.Put(0, 1);  // weighting flag
        out.Put(kNoWeighting, 3);
        for (int band = 0; band < kBands; ++band) out.Put(kSumDifference, 2);
        out.Put(kStereoSecondSync, 2);
    } else {
        out.Put(kUnitSync, 6);
    }
    const int bands = SignalledBands(unit);
    out.Put(static_cast<uint32_t>(bands), 2);
    for (int band = 0; band <= bands; ++band) out.Put(0, 3);  // no gain points
    WriteTonal(out, unit);
    out.Put(static_cast<uint32_t>(unit.codedUnits - 1), 5);
    out.Put(unit.constantLength ? 1 : 0, 1);
    for (int u = 0; u < unit.codedUnits; ++u) out.Put(unit.selector[u], 3);
    for (int u = 0; u < unit.codedUnits; ++u) {
        if (unit.selector[u] != 0) out.Put(unit.scaleIndex[u], 6);
    }
    for (int u = 0; u < unit.codedUnits; ++u) {
        if (unit.selector[u] == 0) continue;
        const int first = kQuantUnitStart[u];
        WriteMantissas(out, &unit.mantissa[first], kQuantUnitStart[u + 1] - first, unit.selector[u],
                       unit.constantLength);
    }
}

bool ReadSoundUnit(BitReader& in, SoundUnit& unit, bool stereoSecond) {
    if (stereoSecond) {
        in.Get(1);
        in.Get(3);
        for (int band = 0; band < kBands; ++band) in.Get(2);
        if (in.Get(2) != kStereoSecondSync) return false;
    } else if (in.Get(6) != kUnitSync) {
        return false;
    }
    const int bands = static_cast<int>(in.Get(2));
    for (int band = 0; band <= bands; ++band) {
        if (in.Get(3) != 0) return false;
    }
    unit = SoundUnit{};
    if (!ReadTonal(in, unit, bands)) return false;
    unit.codedUnits = static_cast<int>(in.Get(5)) + 1;
    unit.constantLength = in.Get(1) != 0;
    for (int u = 0; u < unit.codedUnits; ++u) unit.selector[u] = static_cast<uint8_t>(in.Get(3));
    for (int u = 0; u < unit.codedUnits; ++u) {
        if (unit.selector[u] != 0) unit.scaleIndex[u] = static_cast<uint8_t>(in.Get(6));
    }
    for (int u = 0; u < unit.codedUnits; ++u) {
        if (unit.selector[u] == 0) continue;
        const int first = kQuantUnitStart[u];
        if (!ReadMantissas(in, &unit.mantissa[first], kQuantUnitStart[u + 1] - first,
                           unit.selector[u], unit.constantLength)) {
            return false;
        }
    }
    return !in.Overran();
}

}  // namespace atrac3
