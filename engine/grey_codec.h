#pragma once
// The compression of the 1-bit and 2-bit grey modes: a packed frame is tried
// in up to four forms, each deflated, and the smallest wins.
#include <cstdint>
#include <span>
#include <vector>

#include "engine/raw_deflate.h"
#include "platform/status.h"

// The reversible transforms behind the frame types. All work on packed
// frames of `rowBytes` x `height` bytes; `out` has the same size as the input.

// Type 1: each byte XOR the byte of the previous frame.
void GreyXorFrames(std::span<const uint8_t> frame, std::span<const uint8_t> previous,
                   std::span<uint8_t> out);
// Type 2: rows from the third on XOR the row two above, the first two rows
// unchanged. The dither cell repeats every two rows, so the row two above is
// the one most alike.
void GreyRowXor(std::span<const uint8_t> frame, int rowBytes, int height, std::span<uint8_t> out);
// Type 3 (2-bit, even height only): for each pair of rows and byte position,
// the high nibbles of both rows, then the low nibbles of both.
void GreyRowPairs(std::span<const uint8_t> frame, int rowBytes, int height,
                  std::span<uint8_t> out);

struct GreyEncodeRequest {
    std::span<const uint8_t> frame;     // packed current frame
    std::span<const uint8_t> previous;  // packed previous frame, empty when there is none
    int rowBytes = 0;
    int height = 0;
    int bits = 2;                   // 1 or 2
    bool allowDifference = false;  // the key frame policy permits type 1
};

class GreyFrameEncoder {
public:
    // Tries every permitted candidate and keeps the smallest; on equal sizes
    // the lower type. On 0, Type() and Data() describe the winner until the
    // next call. -108 when memory runs out.
    OSStatus Encode(const GreyEncodeRequest& request);

    uint8_t Type() const { return m_type; }
    std::span<const uint8_t> Data() const { return m_best; }

private:
    OSStatus Try(uint8_t type, std::span<const uint8_t> form);

    RawDeflater m_deflater;
    std::vector<uint8_t> m_form;
    std::vector<uint8_t> m_trial;
    std::vector<uint8_t> m_best;
    uint8_t m_type = 0;
    bool m_haveBest = false;
};
