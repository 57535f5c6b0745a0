#include "engine/colour_codec.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <string>
#include <unordered_map>

#include "engine/colour_space.h"

namespace {

enum class Kind : uint8_t { Flat, Dither, Quad, Two, Raw };

struct Code {
    Kind kind = Kind::Flat;
    uint8_t value = 0;  // level (flat) or mean (dithered flat)
    uint8_t length = 0;
    std::array<uint8_t, 17> bytes{};
};

// Raw blocks cost too much where the eye looks least: near the frame's edges.
constexpr int kRawMinEdgeFactor = 5;
constexpr int kByteCost = 8;
constexpr int kMaxSkipRun = 64;
constexpr int kMaxFlatRun = 15;
constexpr int kDictionarySize = 16;

int EdgeFactor(int index, int count) {
    const int half = count / 2;
    if (half == 0) return 16;  // one block across has no edge to fade towards
    return 16 - 16 * std::abs(index - half) / half;
}

struct PlaneBlock {
    std::array<int, 16> cur{};
    int bits = 5;
    int Max() const { return (1 << bits) - 1; }
    int Value(int plane, int level) const { return ColourLevelValue(plane, level); }
};

// The level of the nearest of level - 1, level, level + 1 to v.
int Quantize(int plane, int v) {
    const int bits = kColourPlaneBits[static_cast<size_t>(plane)];
    const int level = v >> (8 - bits);
    int best = level, bestErr = 1 << 20;
    for (int l : {level, level - 1, level + 1}) {
        if (l < 0 || l > (1 << bits) - 1) continue;
        const int e = std::abs(ColourLevelValue(plane, l) - v);
        if (e < bestErr) {
            best = l;
            bestErr = e;
        }
    }
    return best;
}

struct Candidate {
    Code code;
    int error = 0;
    int Cost() const { return error + kByteCost * code.length; }
};

// Fills `shown` (16 values) with what the player shows for `code`.
void ShowCode(int plane, const Code& code, const DitherTable& table, int bx, int by,
              std::array<int, 16>& shown) {
    switch (code.kind) {
        case Kind::Flat:
            shown.fill(ColourLevelValue(plane, code.value));
            break;
        case Kind::Dither:
            for (int i = 0; i < 16; ++i) {
                const unsigned x = static_cast<unsigned>(bx * 4 + i % 4);
                const unsigned y = static_cast<unsigned>(by * 4 + i / 4);
                shown[static_cast<size_t>(i)] =
                    ColourLevelValue(plane, DitherLevel(table, code.value, y, x));
            }
            break;
        case Kind::Quad: {
            const int mask = code.bytes[0] & 0x0F;
            for (int i = 0; i < 16; ++i) {
                const int quadrant = (i / 8) * 2 + (i % 4) / 2;
                const bool set = mask >> (3 - quadrant) & 1;
                shown[static_cast<size_t>(i)] =
                    ColourLevelValue(plane, set ? code.bytes[2] : code.bytes[1]);
            }
            break;
        }
        case Kind::Two: {
            const int mask = code.bytes[0] << 8 | code.bytes[1];
            for (int i = 0; i < 16; ++i) {
                const bool set = mask >> (15 - i) & 1;
                shown[static_cast<size_t>(i)] =
                    ColourLevelValue(plane, set ? code.bytes[3] : code.bytes[2]);
            }
            break;
        }
        case Kind::Raw:
            for (int i = 0; i < 16; ++i) {
                shown[static_cast<size_t>(i)] = ColourLevelValue(plane, code.bytes[1 + i]);
            }
            break;
    }
}

int ErrorOf(const std::array<int, 16>& cur, const std::array<int, 16>& shown) {
    int e = 0;
    for (size_t i = 0; i < 16; ++i) e += std::abs(cur[i] - shown[i]);
    return e;
}

// The cheapest code of one plane of one block.
Candidate BestCode(int plane, const std::array<int, 16>& cur, const DitherTable& table, int bx,
                   int by, bool rawAllowed) {
    const int shift = 8 - kColourPlaneBits[static_cast<size_t>(plane)];
    std::array<int, 16> shown{};
    int sum = 0;
    for (int v : cur) sum += v;
    const int mean = (sum + 8) / 16;

    Candidate flat;
    flat.code.kind = Kind::Flat;
    flat.code.value = static_cast<uint8_t>(Quantize(plane, mean));
    flat.code.length = 2;
    ShowCode(plane, flat.code, table, bx, by, shown);
    flat.error = ErrorOf(cur, shown);

    Candidate dither;
    dither.code.kind = Kind::Dither;
    dither.code.value = static_cast<uint8_t>(mean);
    dither.code.length = 2;
    ShowCode(plane, dither.code, table, bx, by, shown);
    dither.error = ErrorOf(cur, shown);

    // Quadrant two-level.
    std::array<int, 4> ql{};
    for (int q = 0; q < 4; ++q) {
        int s = 0;
        for (int i = 0; i < 16; ++i) {
            if ((i / 8) * 2 + (i % 4) / 2 == q) s += cur[static_cast<size_t>(i)];
        }
        ql[static_cast<size_t>(q)] = Quantize(plane, (s + 2) / 4);
    }
    std::array<int, 4> qs = ql;
    std::sort(qs.begin(), qs.end());
    constexpr std::array<std::pair<int, int>, 6> kQuadPairs = {
        {{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}}};
    Candidate quad;
    quad.error = -1;
    for (const auto& [f, g] : kQuadPairs) {
        const int a = qs[static_cast<size_t>(f)], b = qs[static_cast<size_t>(g)];
        int mask = 0;
        for (int q = 0; q < 4; ++q) {
            const int l = ql[static_cast<size_t>(q)];
            if (std::abs(l - b) < std::abs(l - a)) mask |= 1 << (3 - q);
        }
        Code code;
        code.kind = Kind::Quad;
        code.length = 3;
        const bool invert = mask & 8;
        code.bytes = {static_cast<uint8_t>(0x80 | (invert ? ~mask & 0x0F : mask)),
                      static_cast<uint8_t>(invert ? b : a), static_cast<uint8_t>(invert ? a : b)};
        ShowCode(plane, code, table, bx, by, shown);
        const int e = ErrorOf(cur, shown);
        if (quad.error < 0 || e < quad.error) {
            quad.code = code;
            quad.error = e;
        }
    }

    // Two-level over the pixels' own levels, as in the grey block codec.
    std::array<int, 16> lv{};
    for (size_t i = 0; i < 16; ++i) lv[i] = cur[i] >> shift;
    std::array<int, 16> s = lv;
    std::sort(s.begin(), s.end());
    constexpr std::array<std::pair<int, int>, 5> kPairs = {
        {{0, 15}, {2, 12}, {5, 10}, {1, 10}, {5, 14}}};
    int bestPairCost = -1, a = 0, b = 0;
    for (const auto& [f, g] : kPairs) {
        const int pa = s[static_cast<size_t>(f)], pb = s[static_cast<size_t>(g)];
        const int t = (pa + pb + 1) / 2;
        int c = 0;
        for (int p : lv) c += std::abs(p - (p < t ? pa : pb));
        if (bestPairCost < 0 || c < bestPairCost) {
            bestPairCost = c;
            a = pa;
            b = pb;
        }
    }
    const int t = (a + b + 1) / 2;
    int mask = 0;
    for (int i = 0; i < 16; ++i) {
        if (lv[static_cast<size_t>(i)] >= t) mask |= 1 << (15 - i);
    }
    if (mask & 0x8000) {
        mask = ~mask & 0xFFFF;
        std::swap(a, b);
    }
    Candidate two;
    two.code.kind = Kind::Two;
    two.code.length = 4;
    two.code.bytes = {static_cast<uint8_t>(mask >> 8), static_cast<uint8_t>(mask & 0xFF),
                      static_cast<uint8_t>(a), static_cast<uint8_t>(b)};
    ShowCode(plane, two.code, table, bx, by, shown);
    two.error = ErrorOf(cur, shown);

    // A two-level code of one level is a flat block; keep the better of them.
    if (quad.code.bytes[1] == quad.code.bytes[2] && quad.error < flat.error) {
        flat.code.value = quad.code.bytes[1];
        flat.error = quad.error;
    }
    if (two.code.bytes[2] == two.code.bytes[3] && two.error < flat.error) {
        flat.code.value = two.code.bytes[2];
        flat.error = two.error;
    }

    Candidate best = flat;
    for (const Candidate* c : {&dither, &quad, &two}) {
        if (c->Cost() < best.Cost()) best = *c;
    }
    if (rawAllowed) {
        Candidate raw;
        raw.code.kind = Kind::Raw;
        raw.code.length = 17;
        raw.code.bytes[0] = 0x9F;
        for (size_t i = 0; i < 16; ++i) raw.code.bytes[1 + i] = static_cast<uint8_t>(lv[i]);
        ShowCode(plane, raw.code, table, bx, by, shown);
        raw.error = ErrorOf(cur, shown);
        if (raw.Cost() < best.Cost()) best = raw;
    }
    if (best.code.kind == Kind::Flat) best.code.bytes[1] = best.code.value;
    if (best.code.kind == Kind::Dither) best.code.bytes[1] = best.code.value;
    return best;
}

// One plane slot of one block as written.
struct Slot {
    uint8_t length = 0;
    std::array<uint8_t, 19> bytes{};
};

}  // namespace

OSStatus ColourCodec::Prepare(int width, int height) {
    try {
        for (ColourPlanes* p : {&m_work, &m_shown, &m_previous}) {
            p->width = width;
            p->height = height;
            p->bytes.assign(static_cast<size_t>(width) * height * 3, 0);
        }
        m_data.reserve(static_cast<size_t>(width) * height);
    } catch (const std::bad_alloc&) {
        return kStatusOutOfMemory;
    }
    m_hasPrevious = false;
    return noErr;
}

OSStatus ColourCodec::Encode(const SourceFrame& source, const DitherTable& luma,
                             const DitherTable& chroma, bool canSkip) {
    const int w = m_work.width, h = m_work.height;
    const YCbCr white = ToYCbCr(255, 255, 255);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            YCbCr c = white;
            if (x < source.width && y < source.height) {
                const uint8_t* p = source.pixels + y * source.rowStride + x * 4;
                c = ToYCbCr(p[2], p[1], p[0]);
            }
            const size_t i = static_cast<size_t>(y) * w + x;
            const unsigned ux = static_cast<unsigned>(x), uy = static_cast<unsigned>(y);
            m_work.Plane(0)[i] = ColourLevelValue(0, DitherLevel(luma, c.y, uy, ux));
            m_work.Plane(1)[i] = ColourLevelValue(1, DitherLevel(chroma, c.cb, uy, ux));
            m_work.Plane(2)[i] = ColourLevelValue(2, DitherLevel(chroma, c.cr, uy, ux));
        }
    }
    const bool skipPossible = canSkip && m_hasPrevious;
    const int bw = w / 4, bh = h / 4;
    const size_t blocks = static_cast<size_t>(bw) * bh;
    std::vector<uint8_t> skipped(blocks, 0);
    std::vector<std::array<Code, 3>> codes(blocks);
    m_shown.bytes = m_previous.bytes;
    for (int by = 0; by < bh; ++by) {
        const int fy = EdgeFactor(by, bh);
        for (int bx = 0; bx < bw; ++bx) {
            const bool rawAllowed = std::min(EdgeFactor(bx, bw), fy) >= kRawMinEdgeFactor;
            std::array<std::array<int, 16>, 3> cur{}, prev{};
            int skipCost = 0, bestCost = 0;
            std::array<Candidate, 3> best;
            for (int p = 0; p < 3; ++p) {
                for (int i = 0; i < 16; ++i) {
                    const size_t at = static_cast<size_t>(by * 4 + i / 4) * w + bx * 4 + i % 4;
                    cur[p][i] = m_work.Plane(p)[at];
                    prev[p][i] = m_previous.Plane(p)[at];
                }
                best[p] = BestCode(p, cur[p], p == 0 ? luma : chroma, bx, by, rawAllowed);
                skipCost += ErrorOf(cur[p], prev[p]) + kByteCost;
                bestCost += best[p].Cost();
            }
            const size_t block = static_cast<size_t>(by) * bw + bx;
            if (skipPossible && skipCost <= bestCost) {
                skipped[block] = 1;
                continue;
            }
            for (int p = 0; p < 3; ++p) {
                codes[block][p] = best[p].code;
                std::array<int, 16> shown{};
                ShowCode(p, best[p].code, p == 0 ? luma : chroma, bx, by, shown);
                for (int i = 0; i < 16; ++i) {
                    const size_t at = static_cast<size_t>(by * 4 + i / 4) * w + bx * 4 + i % 4;
                    m_shown.Plane(p)[at] = static_cast<uint8_t>(shown[i]);
                }
            }
        }
    }

    // Runs: skips in the Y slot, flat and dithered-flat runs per plane.
    std::vector<std::array<Slot, 3>> slots(blocks);
    m_difference = false;
    for (size_t b = 0; b < blocks;) {
        if (!skipped[b]) {
            ++b;
            continue;
        }
        m_difference = true;
        size_t n = 1;
        while (b + n < blocks && skipped[b + n] && n < kMaxSkipRun) ++n;
        slots[b][0].length = 1;
        slots[b][0].bytes[0] = static_cast<uint8_t>(0xC0 | (n - 1));
        b += n;
    }
    for (int p = 0; p < 3; ++p) {
        for (size_t b = 0; b < blocks;) {
            if (skipped[b]) {
                ++b;
                continue;
            }
            const Code& c = codes[b][p];
            if (c.kind == Kind::Flat || c.kind == Kind::Dither) {
                size_t n = 1;
                while (b + n < blocks && n < kMaxFlatRun && !skipped[b + n] &&
                       codes[b + n][p].kind == c.kind && codes[b + n][p].value == c.value) {
                    ++n;
                }
                Slot& s = slots[b][p];
                s.length = 2;
                s.bytes[0] = static_cast<uint8_t>((c.kind == Kind::Flat ? 0x90 : 0xA0) | (n - 1));
                s.bytes[1] = c.value;
                b += n;
                continue;
            }
            Slot& s = slots[b][p];
            s.length = c.length;
            std::copy(c.bytes.begin(), c.bytes.begin() + c.length, s.bytes.begin());
            ++b;
        }
        // Shared long codes: groups of equal codes, largest first.
        struct Group {
            size_t first;
            std::vector<size_t> members;
        };
        std::vector<Group> groups;
        std::unordered_map<std::string, size_t> groupOf;  // code bytes -> group
        for (size_t b = 0; b < blocks; ++b) {
            const Slot& s = slots[b][p];
            if (s.length <= 2 || skipped[b]) continue;
            const std::string key(s.bytes.begin(), s.bytes.begin() + s.length);
            const auto [it, added] = groupOf.try_emplace(key, groups.size());
            if (added) {
                groups.push_back({b, {b}});
            } else {
                groups[it->second].members.push_back(b);
            }
        }
        std::stable_sort(groups.begin(), groups.end(), [](const Group& x, const Group& y) {
            return x.members.size() > y.members.size();
        });
        for (size_t n = 0; n < groups.size() && n < kDictionarySize; ++n) {
            const Group& g = groups[n];
            if (g.members.size() <= 2) break;
            Slot& def = slots[g.first][p];
            std::copy_backward(def.bytes.begin(), def.bytes.begin() + def.length,
                               def.bytes.begin() + def.length + 2);
            def.bytes[0] = 0xAF;
            def.bytes[1] = static_cast<uint8_t>(n);
            def.length = static_cast<uint8_t>(def.length + 2);
            for (size_t m = 1; m < g.members.size(); ++m) {
                Slot& use = slots[g.members[m]][p];
                use.length = 1;
                use.bytes[0] = static_cast<uint8_t>(0xB0 | n);
            }
        }
    }
    m_data.clear();
    for (const auto& blockSlots : slots) {
        for (const Slot& s : blockSlots) {
            m_data.insert(m_data.end(), s.bytes.begin(), s.bytes.begin() + s.length);
        }
    }
    return noErr;
}

void ColourCodec::Commit() {
    m_previous.bytes.swap(m_shown.bytes);
    m_shown.bytes = m_previous.bytes;
    m_hasPrevious = true;
}
