// The structural checker must notice the faults it exists for.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "engine/tests/support/layout_driver.h"
#include "engine/tests/support/movie_check.h"
#include "engine/writer_record.h"
#include "platform/status.h"

namespace {

std::vector<uint8_t> sampleMovie() {
    LayoutDriver d(true, true);
    for (int i = 0; i < 40; ++i) {
        d.frame(10, 3000, i % 4 != 0);
        d.sound(4410, 2000);
    }
    EXPECT_EQ(d.finish(), noErr);
    return d.image();
}

size_t chunkAt(const MovieCheckResult& r, uint16_t tag) {
    for (const MovieCheckChunk& c : r.chunks)
        if (c.tag == tag) return 80 + 8 * r.recordSizes.size() + c.offset;  // first record only
    return 0;
}

TEST(MovieCheck, AcceptsTheWritersOutputAndFindsCorruptions) {
    const std::vector<uint8_t> good = sampleMovie();
    const MovieCheckResult base = checkMovieDatabase(good);
    ASSERT_TRUE(base.ok()) << base.report();
    ASSERT_GT(base.recordSizes.size(), 1u);
    const size_t pt = chunkAt(base, 0x7074), at = chunkAt(base, 0x6174);
    const size_t sx = chunkAt(base, 0x7378);
    ASSERT_NE(pt, 0u);
    ASSERT_NE(at, 0u);

    const std::vector<std::pair<const char*, std::function<void(std::vector<uint8_t>&)>>> faults = {
        {"unique id", [](auto& b) { b[78 + 8 + 7] ^= 1; }},
        {"attributes", [](auto& b) { b[78 + 4] = 0; }},
        {"record offset", [](auto& b) { b[78 + 8 + 3] += 2; }},
        {"video index offset", [pt](auto& b) { b[pt + 4 + 7] += 2; }},
        {"video index time", [pt](auto& b) { b[pt + 4 + 8 + 3] ^= 1; }},
        {"sound index record", [at](auto& b) { b[at + 4 + 8 + 5] ^= 1; }},
        {"video duration", [sx](auto& b) { b[sx + 13] ^= 1; }},
        {"truncated", [](auto& b) { b.resize(b.size() - 4); }},
        {"type", [](auto& b) { b[60] = 'X'; }},
    };
    for (const auto& [what, corrupt] : faults) {
        std::vector<uint8_t> bad = good;
        corrupt(bad);
        EXPECT_FALSE(checkMovieDatabase(bad).ok()) << what;
    }
}

}  // namespace
