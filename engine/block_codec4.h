#pragma once
// The 4-bit grey block codec. The frame is cut into 4 x 4 blocks, each sent
// as skipped (unchanged), flat (one level), two-level (a 16-bit mask and two
// levels) or raw, judged against the previous frame as the player shows it.
// Skipped blocks age; a block that has gone unrefreshed too long is sent
// again when that costs less than skipping, so that errors do not linger.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/status.h"

// Ages given to a block that was just sent, in video time-scale units; drawn
// at random so that the refreshes of a still picture spread over many frames.
inline constexpr int kBlock4MinAge = 500;
inline constexpr int kBlock4MaxAge = 999;

// Codes of the block stream.
inline constexpr uint8_t kBlock4FlatCode = 0x80;      // + 16 x (run - 1) + level
inline constexpr uint8_t kBlock4SkipCode = 0xC0;      // + (run - 1)
inline constexpr uint8_t kBlock4CommonDefine = 0xE0;  // then the common two-level triple
inline constexpr uint8_t kBlock4CommonUse = 0xE1;
inline constexpr uint8_t kBlock4RawCode = 0xF0;  // then 8 packed bytes
inline constexpr int kBlock4MaxSkipRun = 32;
inline constexpr int kBlock4MaxFlatRun = 4;

// The random source of the block ages. The writer owns one; seeding it makes
// a run reproducible.
class BlockAgeRandom {
public:
    explicit BlockAgeRandom(uint64_t seed = 0x6d6f7669u) : m_state(seed) {}
    void Seed(uint64_t seed) { m_state = seed; }
    // A new age, uniformly kBlock4MinAge to kBlock4MaxAge.
    int16_t NextAge();

private:
    uint64_t m_state;
};

struct Block4Request {
    // Packed 4-bit current frame, width / 2 bytes per row.
    std::span<const uint8_t> frame;
    // In: the previous frame as the player shows it. Out: this frame as the
    // player will show it. Same layout as `frame`.
    std::span<uint8_t> shown;
    int width = 0;   // multiple of 4
    int height = 0;  // multiple of 4
    // A previous frame exists and the key frame policy permits a difference frame.
    bool canSkip = false;
    int32_t duration = 0;  // in the video time scale; skipped blocks age by this much
    // Raw blocks may be used.
    bool allowRaw = true;
    // Largest stream wanted. A frame whose raw blocks take it beyond this is
    // coded again without raw blocks, from the same starting state.
    size_t maxBytes = SIZE_MAX;
};

class BlockCodec4 {
public:
    // Sizes the per-block state for a frame and zeroes the ages. 0 or -108.
    OSStatus Prepare(int width, int height);

    // Codes one frame. On 0, Data() holds the stream and Difference() tells
    // whether any block was skipped; request.shown and the ages are updated.
    // -50 when the request does not match the prepared size; -108 for memory.
    OSStatus Encode(const Block4Request& request, BlockAgeRandom& random);

    std::span<const uint8_t> Data() const { return m_out; }
    bool Difference() const { return m_difference; }
    std::span<const int16_t> Ages() const { return m_ages; }

    // Largest stream a frame of this size can produce.
    static size_t MaxEncodedSize(int width, int height, bool allowRaw);

private:
    struct Code {
        uint8_t kind;
        uint8_t level;    // flat blocks
        uint32_t triple;  // two-level blocks: mask << 8 | colours
    };
    void CodeBlocks(const Block4Request& request, bool allowRaw, BlockAgeRandom& random);
    void Emit(const Block4Request& request);

    int m_width = 0;
    int m_height = 0;
    std::vector<int16_t> m_ages;
    std::vector<Code> m_codes;
    std::vector<uint32_t> m_keys;
    std::vector<uint8_t> m_out;
    bool m_difference = false;
    // The state a second pass without raw blocks starts from.
    std::vector<int16_t> m_savedAges;
    std::vector<uint8_t> m_savedShown;
};
