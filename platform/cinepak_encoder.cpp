#include "platform/cinepak_encoder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <new>
#include <vector>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "platform/cinepak_bitstream.h"
#include "platform/cinepak_convert.h"
#include "platform/cinepak_vq.h"

using cinepak::Entry;
using cinepak::SearchBook;
using cinepak::Vec;

namespace {

// Whether pixels holds height rows of width BGRA pixels rowBytes apart (without overflow).
bool holdsPicture(std::span<const uint8_t> pixels, size_t rowBytes, int width, int height) {
    const size_t row = static_cast<size_t>(width) * 4;
    if (rowBytes < row || pixels.size() < row) return false;
    const size_t rest = static_cast<size_t>(height - 1);
    return rest == 0 || (pixels.size() - row) / rest >= rowBytes;
}

constexpr int kMaxStrips = 3;  // the most that small decoders keep codebooks for
constexpr int kMaxSide = 4096;
constexpr int kBookSize = 256;

// Bits of each choice for a block: the flag bits plus the codeword indexes.
constexpr double kKeyBitsV1 = 9;
constexpr double kKeyBitsV4 = 33;
constexpr double kInterBitsSkip = 1;
constexpr double kInterBitsV1 = 10;
constexpr double kInterBitsV4 = 34;

// A key frame may take this many frames' share before it is re-decided; the overrun of the
// following frames pays it back.
constexpr double kKeyFrameShare = 4.0;
constexpr double kInterFrameShare = 1.25;
constexpr double kFirstFrameShare = 2.5;  // what the weight search on the first frame aims at
constexpr int32_t kDefaultFrameMs = 67;

// Codebook splitting looks at no more vectors than this (an evenly spread subset); only large
// pictures' key frames and busy frames have more, and the entries are refined on every
// block afterwards.
constexpr int kSplitVectors = 2048;

enum Mode : uint8_t { kSkip, kV1, kV4 };

// The codebook of one strip as the decoder holds it.
struct DecoderBook {
    std::array<Entry, kBookSize> entry{};
    std::array<bool, kBookSize> valid{};
    std::array<uint32_t, kBookSize> lastUse{};
};

// One codebook's work for one frame: the slots the search may use, the new entries that
// would overwrite slots, and what the chosen blocks use.
struct BookWork {
    std::array<Vec, kBookSize> value{};   // content per slot during this frame
    std::array<bool, kBookSize> fresh{};  // slot takes a new entry this frame
    std::array<int, kBookSize> users{};   // references from the coded blocks
    std::vector<int> slotOf;              // search position -> slot
    SearchBook search;
    // The new entries alone, in slot order (difference frames): where a block's nearest old
    // entry stays, only they can do better.
    std::vector<int> freshSlots;
    SearchBook freshSearch;
};

// The slot of w nearest to v, on equal distance the lowest, given the nearest of the
// decoder's entries before this frame (oldSlot < 0: not known).
int nearestSlot(const BookWork& w, const Vec& v, int oldSlot, int32_t oldDist, int32_t* dist) {
    if (oldSlot >= 0 && !w.fresh[oldSlot]) {
        int slot = oldSlot;
        int32_t d = oldDist;
        if (w.freshSearch.size() > 0) {
            int32_t dn;
            const int sn = w.freshSlots[w.freshSearch.nearest(v, &dn)];
            if (dn < d || (dn == d && sn < slot)) {
                slot = sn;
                d = dn;
            }
        }
        *dist = d;
        return slot;
    }
    const int pos = w.search.nearest(v, dist);
    return w.slotOf[pos];
}

struct Strip {
    int mbRow0 = 0;
    int mbRows = 0;
    DecoderBook v1;
    DecoderBook v4;
    BookWork w1;
    BookWork w4;
};

int clampInt(int v, int lo, int hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

uint8_t clip8(int v) {
    return static_cast<uint8_t>(clampInt(v, 0, 255));
}

// Quality to rate-distortion weight (squared error of the scaled space per bit).
double lambdaForQuality(int quality) {
    if (quality >= kCinepakMaxQuality) return 0.25;
    return 10.0 * std::exp2((kCinepakHighQuality - quality) / 128.0);
}

Vec expandV1(const Vec& v1, int quadrant) {
    Vec q;
    for (int i = 0; i < 4; ++i) q.c[i] = v1.c[quadrant];
    q.c[4] = v1.c[4];
    q.c[5] = v1.c[5];
    return q;
}

Entry expandV1(const Entry& e, int quadrant) {
    Entry q = e;
    q.y.fill(e.y[quadrant]);
    return q;
}

}  // namespace

struct CinepakEncoder::State {
    int width = 0;
    int height = 0;
    int mbW = 0;
    int mbH = 0;
    int quality = kCinepakHighQuality;
    int keyFrameRate = 0;
    bool grey = false;
    bool maxQuality = false;
    int entryBytes = 6;
    CinepakRate rate;
    double lambda = 10.0;
    uint32_t frameNumber = 0;
    int sinceKey = 0;
    bool haveFrame = false;
    std::vector<Strip> strips;  // decoder state for as many strips as a frame may have
    int stripCount = 1;         // strips of the current layout (chosen at key frames)

    // The picture as the decoder shows it, per 2x2 block in the order of src4.
    std::vector<Vec> shown;
    // The last source picture (width * 4 bytes a row) where convert() compared it.
    std::vector<uint8_t> previous;
    bool haveSource = false;
    // Per-frame work, per block (MB-major) or per 2x2 block (four per block).
    std::vector<Vec> src4;
    std::vector<Vec> src1;
    std::vector<int32_t> errSkip;
    std::vector<int32_t> errV1;
    std::vector<int32_t> errV4;
    std::vector<uint8_t> slot1;
    // Nearest entry of the decoder's books before this frame (-1: not searched), and distance.
    std::vector<int16_t> oldSlot1;
    std::vector<int32_t> oldDist1;
    std::vector<int16_t> oldSlot4;
    std::vector<int32_t> oldDist4;
    std::vector<std::array<uint8_t, 4>> slot4;
    std::vector<uint8_t> mode;
    std::vector<uint8_t> codable;  // may be coded (inter: not surely skipped)
    std::vector<uint8_t> v4able;   // has a V4 choice
    std::vector<Vec> training;

    std::span<Strip> active() { return {strips.data(), static_cast<size_t>(stripCount)}; }
    void layoutStrips(double lam);
    int mbCount() const { return mbW * mbH; }

    void convert(std::span<const uint8_t> pixels, size_t rowBytes);
    void analyseStrip(Strip& s, bool key, double lam);
    void placeNewEntries(BookWork& w, const DecoderBook& book, std::span<const Vec> fresh,
                         bool key);
    size_t decide(double lam, bool key);
    void refine(Strip& s);
    bool write(cinepak::ByteWriter& out, bool key);
    void commit(bool key);
};

CinepakEncoder::CinepakEncoder() = default;
CinepakEncoder::~CinepakEncoder() = default;

OSStatus CinepakEncoder::open(int width, int height, int quality, int keyFrameRate, bool grey) {
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide || keyFrameRate < 0) {
        return kStatusParamError;
    }
    std::unique_ptr<State> s(new (std::nothrow) State);
    if (!s) return kStatusOutOfMemory;
    s->width = width;
    s->height = height;
    s->mbW = (width + 3) / 4;
    s->mbH = (height + 3) / 4;
    s->quality = clampInt(quality, 0, kCinepakMaxQuality);
    s->maxQuality = s->quality >= kCinepakMaxQuality;
    s->keyFrameRate = keyFrameRate;
    s->grey = grey;
    s->entryBytes = grey ? 4 : 6;
    s->lambda = lambdaForQuality(s->quality);

    // More strips give more codebook room at the cost of more codebook bytes; large frames
    // and stills profit from it.
    const int mbs = s->mbCount();
    try {
        s->strips.resize(std::min(kMaxStrips, s->mbH));
        s->shown.assign(static_cast<size_t>(mbs) * 4, Vec{});
        s->src4.resize(static_cast<size_t>(mbs) * 4);
#if defined(__SSE2__)
        s->previous.resize(static_cast<size_t>(width) * height * 4);
#endif
        s->src1.resize(mbs);
        s->errSkip.resize(mbs);
        s->errV1.resize(mbs);
        s->errV4.resize(mbs);
        s->slot1.resize(mbs);
        s->oldSlot1.resize(mbs);
        s->oldDist1.resize(mbs);
        s->oldSlot4.resize(static_cast<size_t>(mbs) * 4);
        s->oldDist4.resize(static_cast<size_t>(mbs) * 4);
        s->slot4.resize(mbs);
        s->mode.resize(mbs);
        s->codable.resize(mbs);
        s->v4able.resize(mbs);
        s->training.reserve(static_cast<size_t>(mbs) * 4);
    } catch (const std::bad_alloc&) {
        return kStatusOutOfMemory;
    }
    m = std::move(s);
    return noErr;
}

void CinepakEncoder::setRate(const CinepakRate& rate) {
    if (m) m->rate = rate;
}

size_t CinepakEncoder::maxCompressedSize() const {
    if (!m) return 0;
    const size_t book = cinepak::kChunkHeaderBytes + cinepak::flagWordBytes(kBookSize) +
                        static_cast<size_t>(kBookSize) * m->entryBytes;
    size_t total = cinepak::kFrameHeaderBytes;
    // Any layout: every block at four indexes and two flag bits, each strip's fixed parts and
    // at most one partly filled flag word per strip.
    const size_t mbs = static_cast<size_t>(m->mbCount());
    const size_t strips = m->strips.size();
    total += strips * (cinepak::kStripHeaderBytes + 2 * book + cinepak::kChunkHeaderBytes + 4) +
             mbs * 4 + cinepak::flagWordBytes(mbs * 2);
    return total;
}

// More strips give each part of the picture its own codebooks, which pays when entries are
// cheap (small weight); at a large weight shared entries matter more.
void CinepakEncoder::State::layoutStrips(double lam) {
    int count = lam <= 100.0 ? 3 : (lam <= 300.0 ? 2 : 1);
    if (maxQuality) count = kMaxStrips;
    stripCount = std::min(count, static_cast<int>(strips.size()));
    for (int i = 0; i < stripCount; ++i) {
        strips[i].mbRow0 = mbH * i / stripCount;
        strips[i].mbRows = mbH * (i + 1) / stripCount - strips[i].mbRow0;
    }
}

// Turns the source into the scaled vector space, 2x2 block by 2x2 block. Pixels beyond the
// edges repeat the edge. Pairs of blocks whose pixels are those of the previous frame keep
// their vectors: still parts of a movie cost one comparison.
void CinepakEncoder::State::convert(std::span<const uint8_t> pixels, size_t rowBytes) {
    auto target = [this](int bx, int by) -> Vec* {
        const int mb = (by / 2) * mbW + bx / 2;
        return &src4[static_cast<size_t>(mb) * 4 + (by & 1) * 2 + (bx & 1)];
    };
    auto mean = [this](int mb) {
        const Vec* q = &src4[static_cast<size_t>(mb) * 4];
        Vec& v1 = src1[mb];
        for (int i = 0; i < 4; ++i) {
            v1.c[i] = static_cast<int16_t>((q[i].c[0] + q[i].c[1] + q[i].c[2] + q[i].c[3] + 2) >> 2);
        }
        for (int k = 4; k < 6; ++k) {
            // The mean rounded half away from zero.
            const int sum = q[0].c[k] + q[1].c[k] + q[2].c[k] + q[3].c[k];
            v1.c[k] = static_cast<int16_t>(sum >= 0 ? (sum + 2) >> 2 : -((2 - sum) >> 2));
        }
    };
    const size_t previousRow = static_cast<size_t>(width) * 4;
#if defined(CINEPAK_HAVE_WIDE_CONVERT)
    static const bool wide = cinepak::haveAvx2();
#endif
    for (int my = 0; my < mbH; ++my) {
        const int y0 = my * 4;
        int mx = 0;
#if defined(__SSE2__)
        if (y0 + 4 <= height) {
            const uint8_t* rows = pixels.data() + static_cast<size_t>(y0) * rowBytes;
            uint8_t* before = previous.data() + static_cast<size_t>(y0) * previousRow;
            for (; mx * 4 + 8 <= width; mx += 2) {
                const size_t x = static_cast<size_t>(mx) * 16;
                // Eight pixels by four rows, against (and then into) the previous frame's.
                __m128i differ = _mm_setzero_si128();
                for (int r = 0; r < 4; ++r) {
                    const uint8_t* p = rows + r * rowBytes + x;
                    uint8_t* q = before + r * previousRow + x;
                    for (int half = 0; half < 32; half += 16) {
                        const __m128i now = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + half));
                        const __m128i then = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + half));
                        differ = _mm_or_si128(differ, _mm_xor_si128(now, then));
                        _mm_storeu_si128(reinterpret_cast<__m128i*>(q + half), now);
                    }
                }
                if (haveSource &&
                    _mm_movemask_epi8(_mm_cmpeq_epi8(differ, _mm_setzero_si128())) == 0xFFFF) {
                    continue;
                }
                const int bx = mx * 2, by = my * 2;
#if defined(CINEPAK_HAVE_WIDE_CONVERT)
                if (wide) {
                    Vec* const out[8] = {target(bx, by),         target(bx + 1, by),
                                         target(bx + 2, by),     target(bx + 3, by),
                                         target(bx, by + 1),     target(bx + 1, by + 1),
                                         target(bx + 2, by + 1), target(bx + 3, by + 1)};
                    cinepak::convertEightBlocks(rows + x, rows + 2 * rowBytes + x, rowBytes, grey,
                                                out);
                    mean(my * mbW + mx);
                    mean(my * mbW + mx + 1);
                    continue;
                }
#endif
                for (int half = 0; half < 2; ++half) {
                    Vec* const out[4] = {target(bx, by + half), target(bx + 1, by + half),
                                         target(bx + 2, by + half), target(bx + 3, by + half)};
                    const uint8_t* top = rows + half * 2 * rowBytes + x;
                    cinepak::convertFourBlocks(top, top + rowBytes, grey, out);
                }
                mean(my * mbW + mx);
                mean(my * mbW + mx + 1);
            }
        }
#endif
        for (; mx < mbW; ++mx) {
            for (int q = 0; q < 4; ++q) {
                const int bx = mx * 2 + (q & 1);
                const int by = my * 2 + (q >> 1);
                uint8_t gathered[16];
                for (int i = 0; i < 4; ++i) {
                    const int x = std::min(bx * 2 + (i & 1), width - 1);
                    const int y = std::min(by * 2 + (i >> 1), height - 1);
                    std::copy_n(pixels.data() + static_cast<size_t>(y) * rowBytes + x * 4, 4,
                                gathered + i * 4);
                }
                cinepak::convertBlock(gathered, gathered + 8, grey, *target(bx, by));
            }
            mean(my * mbW + mx);
        }
    }
    haveSource = true;
}

// Puts the new entries into slots: on a key frame slots 0..n-1, otherwise the least recently
// used ones, so entries a difference frame may still want stay longest.
void CinepakEncoder::State::placeNewEntries(BookWork& w, const DecoderBook& book,
                                            std::span<const Vec> fresh, bool key) {
    w.fresh.fill(false);
    w.users.fill(0);
    w.slotOf.clear();
    w.freshSlots.clear();
    std::vector<Vec> searchable;
    searchable.reserve(kBookSize);
    if (key) {
        for (size_t i = 0; i < fresh.size(); ++i) {
            w.value[i] = fresh[i];
            w.fresh[i] = true;
            w.slotOf.push_back(static_cast<int>(i));
            searchable.push_back(fresh[i]);
        }
    } else {
        // Least recently used first, empty slots before all, the lower slot on equal use.
        const size_t n = std::min<size_t>(fresh.size(), kBookSize);
        if (n > 0) {
            std::array<int64_t, kBookSize> order;
            for (int i = 0; i < kBookSize; ++i) {
                const int64_t use = book.valid[i] ? static_cast<int64_t>(book.lastUse[i]) : -1;
                order[i] = (use + 1) * kBookSize + i;
            }
            // The keys are distinct, so both give the same first n; a full sort is the
            // cheaper one when most slots are taken.
            if (n * 4 >= kBookSize) {
                std::sort(order.begin(), order.end());
            } else {
                std::partial_sort(order.begin(), order.begin() + static_cast<ptrdiff_t>(n),
                                  order.end());
            }
            for (size_t i = 0; i < n; ++i) {
                const int slot = static_cast<int>(order[i] % kBookSize);
                w.value[slot] = fresh[i];
                w.fresh[slot] = true;
            }
        }
        std::vector<Vec> freshValues;
        for (int slot = 0; slot < kBookSize; ++slot) {
            if (!w.fresh[slot]) {
                if (!book.valid[slot]) continue;
                w.value[slot] = cinepak::fromEntry(book.entry[slot]);
            } else {
                w.freshSlots.push_back(slot);
                freshValues.push_back(w.value[slot]);
            }
            w.slotOf.push_back(slot);
            searchable.push_back(w.value[slot]);
        }
        w.freshSearch.build(freshValues);
    }
    w.search.build(searchable);
}

void CinepakEncoder::State::analyseStrip(Strip& s, bool key, double lam) {
    const int mb0 = s.mbRow0 * mbW;
    const int mb1 = (s.mbRow0 + s.mbRows) * mbW;
    const int passes = maxQuality ? 4 : 0;
    const double entryBits = entryBytes * 8.0;

    for (int mb = mb0; mb < mb1; ++mb) {
        if (key) {
            errSkip[mb] = INT32_MAX;
            codable[mb] = 1;
            continue;
        }
        int32_t e = 0;
        for (int q = 0; q < 4; ++q) {
            const size_t i = static_cast<size_t>(mb) * 4 + q;
            e += cinepak::distance(src4[i], shown[i]);
        }
        errSkip[mb] = e;
        codable[mb] = e > (kInterBitsV1 - kInterBitsSkip) * lam;
    }

    // V1: train on the blocks that may be coded (skipping those the decoder's current
    // entries already serve), then search them against new and kept entries.
    SearchBook oldBook;
    std::vector<Vec> oldEntries;
    std::vector<int> oldSlots;
    if (!key) {
        for (int slot = 0; slot < kBookSize; ++slot) {
            if (!s.v1.valid[slot]) continue;
            oldEntries.push_back(cinepak::fromEntry(s.v1.entry[slot]));
            oldSlots.push_back(slot);
        }
        oldBook.build(oldEntries);
    }
    training.clear();
    for (int mb = mb0; mb < mb1; ++mb) {
        oldSlot1[mb] = -1;
        if (!codable[mb]) continue;
        if (oldBook.size() > 0) {
            int32_t d;
            oldSlot1[mb] = static_cast<int16_t>(oldSlots[oldBook.nearest(src1[mb], &d)]);
            oldDist1[mb] = d;
            if (4.0 * d < kInterBitsV1 * lam) continue;
        }
        training.push_back(src1[mb]);
    }
    cinepak::TrainParams params;
    params.maxEntries = kBookSize;
    params.minGain = entryBits * lam / 4.0;
    params.lloydPasses = passes;
    params.maxSplitVectors = maxQuality ? 0 : kSplitVectors;
    std::vector<Vec> fresh = cinepak::trainCodebook(training, params);
    placeNewEntries(s.w1, s.v1, fresh, key);

    for (int mb = mb0; mb < mb1; ++mb) {
        v4able[mb] = 0;
        if (!codable[mb] || s.w1.search.size() == 0) {
            errV1[mb] = INT32_MAX;
            continue;
        }
        int32_t d;
        const int slot = nearestSlot(s.w1, src1[mb], oldSlot1[mb], oldDist1[mb], &d);
        slot1[mb] = static_cast<uint8_t>(slot);
        int32_t e = 0;
        for (int q = 0; q < 4; ++q) {
            e += cinepak::distance(src4[static_cast<size_t>(mb) * 4 + q],
                                   expandV1(s.w1.value[slot], q));
        }
        errV1[mb] = e;
    }

    // V4: only where V1 leaves enough error for four indexes to pay off.
    const double v4Extra = (kKeyBitsV4 - kKeyBitsV1) * lam;
    const double v4OverSkip = (kInterBitsV4 - kInterBitsSkip) * lam;
    oldEntries.clear();
    oldSlots.clear();
    if (!key) {
        for (int slot = 0; slot < kBookSize; ++slot) {
            if (!s.v4.valid[slot]) continue;
            oldEntries.push_back(cinepak::fromEntry(s.v4.entry[slot]));
            oldSlots.push_back(slot);
        }
    }
    oldBook.build(oldEntries);
    training.clear();
    for (int mb = mb0; mb < mb1; ++mb) {
        if (!codable[mb]) continue;
        if (errV1[mb] <= v4Extra) continue;
        if (!key && errSkip[mb] <= v4OverSkip) continue;
        v4able[mb] = 1;
        for (int q = 0; q < 4; ++q) {
            const size_t i = static_cast<size_t>(mb) * 4 + q;
            oldSlot4[i] = -1;
            if (oldBook.size() > 0) {
                int32_t d;
                oldSlot4[i] = static_cast<int16_t>(oldSlots[oldBook.nearest(src4[i], &d)]);
                oldDist4[i] = d;
                if (d < 8.0 * lam) continue;
            }
            training.push_back(src4[i]);
        }
    }
    params.minGain = entryBits * lam;
    fresh = cinepak::trainCodebook(training, params);
    placeNewEntries(s.w4, s.v4, fresh, key);
    for (int mb = mb0; mb < mb1; ++mb) {
        if (!v4able[mb]) continue;
        if (s.w4.search.size() == 0) {
            v4able[mb] = 0;
            continue;
        }
        int32_t e = 0;
        for (int q = 0; q < 4; ++q) {
            const size_t i = static_cast<size_t>(mb) * 4 + q;
            int32_t d;
            slot4[mb][q] =
                static_cast<uint8_t>(nearestSlot(s.w4, src4[i], oldSlot4[i], oldDist4[i], &d));
            e += d;
        }
        errV4[mb] = e;
    }
}

// Chooses skip, V1 or V4 per block at weight lam and returns the exact frame size that
// results, counting only the new entries some block uses.
size_t CinepakEncoder::State::decide(double lam, bool key) {
    size_t total = cinepak::kFrameHeaderBytes;
    for (Strip& s : active()) {
        s.w1.users.fill(0);
        s.w4.users.fill(0);
        const int mb0 = s.mbRow0 * mbW;
        const int mb1 = (s.mbRow0 + s.mbRows) * mbW;
        size_t indexBytes = 0;
        size_t bits = 0;
        bool anyV4 = false;
        for (int mb = mb0; mb < mb1; ++mb) {
            Mode best = kSkip;
            double bestCost = key ? 1e300 : errSkip[mb] + kInterBitsSkip * lam;
            if (codable[mb] && errV1[mb] != INT32_MAX) {
                const double c = errV1[mb] + (key ? kKeyBitsV1 : kInterBitsV1) * lam;
                if (c < bestCost) {
                    bestCost = c;
                    best = kV1;
                }
            }
            if (v4able[mb]) {
                const double c = errV4[mb] + (key ? kKeyBitsV4 : kInterBitsV4) * lam;
                if (c < bestCost) {
                    bestCost = c;
                    best = kV4;
                }
            }
            mode[mb] = best;
            if (best == kV1) {
                ++s.w1.users[slot1[mb]];
                indexBytes += 1;
                bits += key ? 1 : 2;
            } else if (best == kV4) {
                for (int q = 0; q < 4; ++q) ++s.w4.users[slot4[mb][q]];
                indexBytes += 4;
                bits += key ? 1 : 2;
                anyV4 = true;
            } else {
                bits += 1;
            }
        }
        if (key && !anyV4) bits = 0;
        size_t books = 0;
        for (const BookWork* w : {&s.w1, &s.w4}) {
            books += cinepak::kChunkHeaderBytes;
            int lastGroup = -1;
            std::array<int, kBookSize / 32> perGroup{};
            for (int slot = 0; slot < kBookSize; ++slot) {
                if (w->fresh[slot] && w->users[slot] > 0) {
                    ++perGroup[slot / 32];
                    lastGroup = slot / 32;
                }
            }
            for (int g = 0; g <= lastGroup; ++g) {
                books += static_cast<size_t>(perGroup[g]) * entryBytes + (key ? 0 : 4);
            }
        }
        total += cinepak::kStripHeaderBytes + books + cinepak::kChunkHeaderBytes + indexBytes +
                 cinepak::flagWordBytes(bits);
    }
    return total;
}

// Moves every new entry to the mean of what the chosen blocks code with it; that can only
// lower the error of the choices already made.
void CinepakEncoder::State::refine(Strip& s) {
    const int mb0 = s.mbRow0 * mbW;
    const int mb1 = (s.mbRow0 + s.mbRows) * mbW;
    std::vector<std::array<int64_t, 6>> sum1(kBookSize), sum4(kBookSize);
    for (int mb = mb0; mb < mb1; ++mb) {
        if (mode[mb] == kV1 && s.w1.fresh[slot1[mb]]) {
            for (int k = 0; k < 6; ++k) sum1[slot1[mb]][k] += src1[mb].c[k];
        } else if (mode[mb] == kV4) {
            for (int q = 0; q < 4; ++q) {
                const int slot = slot4[mb][q];
                if (!s.w4.fresh[slot]) continue;
                for (int k = 0; k < 6; ++k)
                    sum4[slot][k] += src4[static_cast<size_t>(mb) * 4 + q].c[k];
            }
        }
    }
    for (int slot = 0; slot < kBookSize; ++slot) {
        if (s.w1.fresh[slot] && s.w1.users[slot] > 0) {
            Vec mean;
            for (int k = 0; k < 6; ++k) {
                mean.c[k] = static_cast<int16_t>(
                    cinepak::roundDiv<int64_t>(sum1[slot][k], s.w1.users[slot]));
            }
            s.w1.value[slot] = cinepak::fromEntry(cinepak::toEntry(mean));
        }
        if (s.w4.fresh[slot] && s.w4.users[slot] > 0) {
            Vec mean;
            for (int k = 0; k < 6; ++k) {
                mean.c[k] = static_cast<int16_t>(
                    cinepak::roundDiv<int64_t>(sum4[slot][k], s.w4.users[slot]));
            }
            s.w4.value[slot] = cinepak::fromEntry(cinepak::toEntry(mean));
        }
    }
}

namespace {

void putEntry(cinepak::ByteWriter& out, const Entry& e, bool grey) {
    for (uint8_t y : e.y) out.put8(y);
    if (!grey) {
        out.put8(static_cast<uint8_t>(e.u));
        out.put8(static_cast<uint8_t>(e.v));
    }
}

// A key frame sends the used new entries packed from slot 0 (remap gives each its slot); a
// difference frame sends them in place as a partial update.
void putBook(cinepak::ByteWriter& out, const BookWork& w, bool key, bool grey, uint8_t fullId,
             std::array<uint8_t, kBookSize>& remap) {
    const size_t at = out.reserve(cinepak::kChunkHeaderBytes);
    const uint8_t greyBit = grey ? cinepak::kChunkGreyBit : 0;
    if (key) {
        int next = 0;
        for (int slot = 0; slot < kBookSize; ++slot) {
            if (!w.fresh[slot] || w.users[slot] == 0) continue;
            remap[slot] = static_cast<uint8_t>(next++);
            putEntry(out, cinepak::toEntry(w.value[slot]), grey);
        }
    } else {
        int lastGroup = -1;
        for (int slot = 0; slot < kBookSize; ++slot) {
            remap[slot] = static_cast<uint8_t>(slot);
            if (w.fresh[slot] && w.users[slot] > 0) lastGroup = slot / 32;
        }
        for (int g = 0; g <= lastGroup; ++g) {
            uint32_t mask = 0;
            for (int i = 0; i < 32; ++i) {
                const int slot = g * 32 + i;
                if (w.fresh[slot] && w.users[slot] > 0) mask |= 0x80000000u >> i;
            }
            out.put32(mask);
            for (int i = 0; i < 32; ++i) {
                const int slot = g * 32 + i;
                if (w.fresh[slot] && w.users[slot] > 0) {
                    putEntry(out, cinepak::toEntry(w.value[slot]), grey);
                }
            }
        }
    }
    const uint8_t id = static_cast<uint8_t>((key ? fullId : fullId + 1) + greyBit);
    out.patch32(at, (static_cast<uint32_t>(id) << 24) | static_cast<uint32_t>(out.position() - at));
}

}  // namespace

bool CinepakEncoder::State::write(cinepak::ByteWriter& out, bool key) {
    const size_t frameAt = out.reserve(cinepak::kFrameHeaderBytes);
    const int paddedW = mbW * 4;
    for (Strip& s : active()) {
        const size_t stripAt = out.reserve(cinepak::kStripHeaderBytes);
        std::array<uint8_t, kBookSize> remap1{}, remap4{};
        putBook(out, s.w4, key, grey, cinepak::kChunkV4Full, remap4);
        putBook(out, s.w1, key, grey, cinepak::kChunkV1Full, remap1);

        const int mb0 = s.mbRow0 * mbW;
        const int mb1 = (s.mbRow0 + s.mbRows) * mbW;
        bool anyV4 = false;
        for (int mb = mb0; mb < mb1; ++mb) anyV4 = anyV4 || mode[mb] == kV4;
        const uint8_t vectorId =
            key ? (anyV4 ? cinepak::kChunkIntra : cinepak::kChunkAllV1) : cinepak::kChunkInter;
        const size_t chunkAt = out.reserve(cinepak::kChunkHeaderBytes);
        cinepak::FlagWriter flags(out);
        for (int mb = mb0; mb < mb1; ++mb) {
            if (!key) {
                flags.putBit(mode[mb] != kSkip);
                if (mode[mb] == kSkip) continue;
            }
            if (vectorId != cinepak::kChunkAllV1) flags.putBit(mode[mb] == kV4);
            if (mode[mb] == kV1) {
                out.put8(remap1[slot1[mb]]);
            } else {
                for (int q = 0; q < 4; ++q) out.put8(remap4[slot4[mb][q]]);
            }
        }
        flags.finish();
        out.patch32(chunkAt, (static_cast<uint32_t>(vectorId) << 24) |
                                 static_cast<uint32_t>(out.position() - chunkAt));

        out.patch32(stripAt,
                    (static_cast<uint32_t>(key ? cinepak::kStripKey : cinepak::kStripInter) << 24) |
                        static_cast<uint32_t>(out.position() - stripAt));
        // Top and left 0 make the strip follow the previous one; bottom is then its height.
        out.patch32(stripAt + 4, 0);
        out.patch32(stripAt + 8,
                    (static_cast<uint32_t>(s.mbRows * 4) << 16) | static_cast<uint32_t>(paddedW));

        // Key strips hand back packed slots; keep the block records in the decoder's terms.
        if (key) {
            for (int mb = mb0; mb < mb1; ++mb) {
                if (mode[mb] == kV1) slot1[mb] = remap1[slot1[mb]];
                if (mode[mb] == kV4) {
                    for (int q = 0; q < 4; ++q) slot4[mb][q] = remap4[slot4[mb][q]];
                }
            }
        }
    }
    const size_t size = out.position() - frameAt;
    out.patch32(frameAt, (static_cast<uint32_t>(key ? 0 : cinepak::kFrameFlagOwnCodebooks) << 24) |
                             static_cast<uint32_t>(size));
    out.patch32(frameAt + 4, (static_cast<uint32_t>(width) << 16) | static_cast<uint32_t>(height));
    out.patch16(frameAt + 8, static_cast<uint16_t>(stripCount));
    return out.ok();
}

// Brings the decoder mirror and the shown picture up to the frame just written. Must run
// after write(), whose key-frame remapping it relies on.
void CinepakEncoder::State::commit(bool key) {
    for (int i = 0; i < stripCount; ++i) {
        Strip& s = strips[i];
        for (auto [w, book] : {std::pair{&s.w1, &s.v1}, std::pair{&s.w4, &s.v4}}) {
            if (key) {
                // Without the own-codebooks flag a strip starts from the one above it.
                if (i > 0) *book = (w == &s.w1) ? strips[i - 1].v1 : strips[i - 1].v4;
                int next = 0;
                for (int slot = 0; slot < kBookSize; ++slot) {
                    if (!w->fresh[slot] || w->users[slot] == 0) continue;
                    book->entry[next] = cinepak::toEntry(w->value[slot]);
                    book->valid[next] = true;
                    book->lastUse[next] = frameNumber;
                    ++next;
                }
            } else {
                for (int slot = 0; slot < kBookSize; ++slot) {
                    if (w->fresh[slot] && w->users[slot] > 0) {
                        book->entry[slot] = cinepak::toEntry(w->value[slot]);
                        book->valid[slot] = true;
                    }
                    if (w->users[slot] > 0) book->lastUse[slot] = frameNumber;
                }
            }
        }
        const int mb0 = s.mbRow0 * mbW;
        const int mb1 = (s.mbRow0 + s.mbRows) * mbW;
        for (int mb = mb0; mb < mb1; ++mb) {
            if (mode[mb] == kSkip) continue;
            for (int q = 0; q < 4; ++q) {
                shown[static_cast<size_t>(mb) * 4 + q] = cinepak::fromEntry(
                    mode[mb] == kV1 ? expandV1(s.v1.entry[slot1[mb]], q) : s.v4.entry[slot4[mb][q]]);
            }
        }
    }
}

OSStatus CinepakEncoder::compress(std::span<const uint8_t> pixels, size_t rowBytes, bool forceKey,
                                  std::span<uint8_t> out, size_t* written, bool* keyFrame) {
    if (!m || !written || !keyFrame) return kStatusParamError;
    State& s = *m;
    if (!holdsPicture(pixels, rowBytes, s.width, s.height) || out.size() < maxCompressedSize()) {
        return kStatusParamError;
    }
    const bool key =
        forceKey || !s.haveFrame || (s.keyFrameRate > 0 && s.sinceKey + 1 >= s.keyFrameRate);
    const bool rated = s.rate.dataRate > 0 && !s.maxQuality;
    double lam = rated ? s.lambda : lambdaForQuality(s.quality);
    double target = 0;
    if (rated) {
        const int32_t ms = s.rate.frameDuration > 0 ? s.rate.frameDuration : kDefaultFrameMs;
        const double share = static_cast<double>(s.rate.dataRate) * ms / 1000.0;
        // Pay back (or spend) what the last second ran over (or under) within a second.
        target = std::clamp(share - static_cast<double>(s.rate.dataOverrun) * ms / 1000.0,
                            share / 3.0, share * 2.0);
    }

    if (rated && !s.haveFrame) {
        // No history yet: guess the weight from the bytes per block, which it follows
        // roughly exponentially, then correct it on this frame itself.
        const double perBlock = target / s.mbCount();
        lam = std::clamp(std::exp2(14.0 - 5.0 * perBlock), 0.05, 4096.0);
    }
    size_t size = 0;
    for (int attempt = 0;; ++attempt) {
        if (key) s.layoutStrips(lam);
        if (attempt == 0) s.convert(pixels, rowBytes);
        for (Strip& strip : s.active()) s.analyseStrip(strip, key, lam);
        size = s.decide(lam, key);
        if (!rated || s.haveFrame || attempt == 2) break;
        const double ratio = static_cast<double>(size) / (target * kFirstFrameShare);
        if (ratio > 0.75 && ratio < 1.33) break;
        lam = std::clamp(lam * std::pow(ratio, 2.0), 0.05, 1e6);
    }
    if (rated) {
        const double firstSize = static_cast<double>(size);
        const double cap = target * (key ? kKeyFrameShare : kInterFrameShare);
        double decideLam = lam;
        for (int iter = 0; iter < 4 && static_cast<double>(size) > cap; ++iter) {
            decideLam *= std::max(1.3, std::pow(static_cast<double>(size) / cap, 1.5));
            size = s.decide(decideLam, key);
        }
        // Learn the weight from what it produced before any re-decision. Key frames are
        // larger by nature and say little about the weight difference frames need.
        if (!key) {
            const double ratio = std::clamp(firstSize / target, 0.25, 4.0);
            s.lambda = std::clamp(lam * std::clamp(std::pow(ratio, 1.2), 0.5, 2.0), 0.05, 1e6);
        } else if (!s.haveFrame) {
            s.lambda = lam;
        }
    }
    for (Strip& strip : s.active()) s.refine(strip);

    cinepak::ByteWriter writer(out);
    if (!s.write(writer, key)) return kStatusParamError;
    s.commit(key);
    ++s.frameNumber;
    s.sinceKey = key ? 0 : s.sinceKey + 1;
    s.haveFrame = true;
    *written = writer.position();
    *keyFrame = key;
    return noErr;
}

OSStatus CinepakEncoder::decodedPicture(std::span<uint8_t> pixels, size_t rowBytes) const {
    if (!m || !m->haveFrame) return kStatusParamError;
    const State& s = *m;
    if (!holdsPicture(pixels, rowBytes, s.width, s.height)) return kStatusParamError;
    for (int y = 0; y < s.height; ++y) {
        uint8_t* row = pixels.data() + static_cast<size_t>(y) * rowBytes;
        for (int x = 0; x < s.width; ++x) {
            const int mb = (y / 4) * s.mbW + x / 4;
            const Entry e = cinepak::toEntry(
                s.shown[static_cast<size_t>(mb) * 4 + ((y / 2) & 1) * 2 + ((x / 2) & 1)]);
            const int luma = e.y[(y & 1) * 2 + (x & 1)];
            uint8_t* p = row + x * 4;
            if (s.grey) {
                p[0] = p[1] = p[2] = static_cast<uint8_t>(luma);
            } else {
                // The decoder's inverse, with its truncating halving of u.
                p[0] = clip8(luma + 2 * e.u);
                p[1] = clip8(luma - e.u / 2 - e.v);
                p[2] = clip8(luma + 2 * e.v);
            }
            p[3] = 255;
        }
    }
    return noErr;
}
