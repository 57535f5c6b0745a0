#include "engine/colour_decoder.h"

#include <array>
#include <new>
#include <vector>

namespace {

struct Reader {
    std::span<const uint8_t> data;
    size_t at = 0;
    bool Get(uint8_t& b) {
        if (at >= data.size()) return false;
        b = data[at++];
        return true;
    }
};

}  // namespace

ColourDecoder::ColourDecoder() {
    BuildDitherTable(5, kDefaultDitherSpread, m_luma);
    BuildDitherTable(4, kDefaultDitherSpread, m_chroma);
}

OSStatus ColourDecoder::Prepare(int width, int height) {
    try {
        m_picture.width = width;
        m_picture.height = height;
        m_picture.bytes.assign(static_cast<size_t>(width) * height * 3, 0);
    } catch (const std::bad_alloc&) {
        return kStatusOutOfMemory;
    }
    return noErr;
}

OSStatus ColourDecoder::Decode(std::span<const uint8_t> data) {
    const int w = m_picture.width, bw = w / 4, bh = m_picture.height / 4;
    Reader r{data};
    int skipLeft = 0;
    std::array<int, 3> runLeft{}, runKind{}, runValue{};
    std::array<std::array<std::vector<uint8_t>, 16>, 3> dictionary;
    for (int by = 0; by < bh; ++by) {
        for (int bx = 0; bx < bw; ++bx) {
            if (skipLeft > 0) {
                --skipLeft;
                continue;
            }
            for (int p = 0; p < 3; ++p) {
                const int maxLevel = (1 << kColourPlaneBits[static_cast<size_t>(p)]) - 1;
                const DitherTable& table = p == 0 ? m_luma : m_chroma;
                uint8_t* plane = m_picture.Plane(p);
                auto put = [&](int i, int value) {
                    plane[static_cast<size_t>(by * 4 + i / 4) * w + bx * 4 + i % 4] =
                        static_cast<uint8_t>(value);
                };
                auto showRun = [&](int kind, int value) {
                    for (int i = 0; i < 16; ++i) {
                        const unsigned x = static_cast<unsigned>(bx * 4 + i % 4);
                        const unsigned y = static_cast<unsigned>(by * 4 + i / 4);
                        put(i, kind == 0
                                   ? ColourLevelValue(p, value)
                                   : ColourLevelValue(
                                         p, DitherLevel(table, static_cast<uint8_t>(value), y, x)));
                    }
                };
                if (runLeft[p] > 0) {
                    --runLeft[p];
                    showRun(runKind[p], runValue[p]);
                    continue;
                }
                uint8_t b = 0;
                if (!r.Get(b)) return kStatusBadData;
                if (p == 0 && b >= 0xC0) {
                    if (runLeft[1] > 0 || runLeft[2] > 0) return kStatusBadData;
                    skipLeft = b & 0x3F;
                    break;
                }
                // A long code, from the stream or from the dictionary.
                std::vector<uint8_t> code;
                int number = -1;
                if (b == 0xAF) {
                    uint8_t n = 0;
                    if (!r.Get(n) || n >= 16 || !r.Get(b)) return kStatusBadData;
                    number = n;
                } else if (b >= 0xB0 && b <= 0xBF) {
                    code = dictionary[p][b & 15];
                    if (code.empty()) return kStatusBadData;
                } else if ((b & 0xF0) == 0x90 && b != 0x9F) {
                    uint8_t level = 0;
                    if (!r.Get(level) || level > maxLevel) return kStatusBadData;
                    runKind[p] = 0;
                    runValue[p] = level;
                    runLeft[p] = b & 0x0F;
                    showRun(0, level);
                    continue;
                } else if ((b & 0xF0) == 0xA0) {
                    uint8_t mean = 0;
                    if (!r.Get(mean)) return kStatusBadData;
                    runKind[p] = 1;
                    runValue[p] = mean;
                    runLeft[p] = b & 0x0F;
                    showRun(1, mean);
                    continue;
                }
                if (code.empty()) {
                    const size_t length = b < 0x80 ? 4 : b <= 0x87 ? 3 : b == 0x9F ? 17 : 0;
                    if (length == 0) return kStatusBadData;
                    code.push_back(b);
                    for (size_t k = 1; k < length; ++k) {
                        uint8_t v = 0;
                        if (!r.Get(v)) return kStatusBadData;
                        code.push_back(v);
                    }
                    if (number >= 0) dictionary[p][static_cast<size_t>(number)] = code;
                }
                auto level = [&](uint8_t l, int& out) {
                    if (l > maxLevel) return false;
                    out = ColourLevelValue(p, l);
                    return true;
                };
                int c0 = 0, c1 = 0;
                if (code[0] < 0x80) {
                    if (!level(code[2], c0) || !level(code[3], c1)) return kStatusBadData;
                    const int mask = code[0] << 8 | code[1];
                    for (int i = 0; i < 16; ++i) put(i, (mask >> (15 - i) & 1) ? c1 : c0);
                } else if (code[0] <= 0x87) {
                    if (!level(code[1], c0) || !level(code[2], c1)) return kStatusBadData;
                    for (int i = 0; i < 16; ++i) {
                        const int quadrant = (i / 8) * 2 + (i % 4) / 2;
                        put(i, (code[0] >> (3 - quadrant) & 1) ? c1 : c0);
                    }
                } else {
                    for (int i = 0; i < 16; ++i) {
                        if (!level(code[static_cast<size_t>(1 + i)], c0)) return kStatusBadData;
                        put(i, c0);
                    }
                }
            }
        }
    }
    return r.at == data.size() ? noErr : kStatusBadData;
}
