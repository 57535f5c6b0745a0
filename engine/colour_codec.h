#pragma once
// The engine's own 8-bit colour codec: frames in Y, Cb, Cr dithered to 5, 4
// and 4 bits, coded per 4 x 4 block and plane with flat, dithered-flat,
// quadrant, two-level or raw codes, or skipped as a whole; runs merged and
// repeated long codes shared through a small dictionary per plane.
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/dither_tables.h"
#include "engine/grey_frame.h"
#include "platform/status.h"

// Planes of a colour frame: Y, then Cb, then Cr, width x height bytes each.
struct ColourPlanes {
    int width = 0, height = 0;
    std::vector<uint8_t> bytes;
    uint8_t* Plane(int p) { return bytes.data() + static_cast<size_t>(p) * width * height; }
    const uint8_t* Plane(int p) const {
        return bytes.data() + static_cast<size_t>(p) * width * height;
    }
};

// Bits of each plane and the 8-bit value a level stands for.
inline constexpr std::array<int, 3> kColourPlaneBits = {5, 4, 4};
inline uint8_t ColourLevelValue(int plane, int level) {
    return plane == 0 ? static_cast<uint8_t>(level << 3 | level >> 2)
                      : static_cast<uint8_t>(level * 17);
}

class ColourCodec {
  public:
    // width and height are the encoded size (multiples of 4).
    OSStatus Prepare(int width, int height);
    // Codes one frame. The reconstruction becomes the previous frame only on
    // Commit, so a frame that is not written leaves the codec as it was.
    OSStatus Encode(const SourceFrame& source, const DitherTable& luma, const DitherTable& chroma,
                    bool canSkip);
    void Commit();
    std::span<const uint8_t> Data() const { return m_data; }
    bool Difference() const { return m_difference; }
    const ColourPlanes& Reconstructed() const { return m_shown; }
    const ColourPlanes& Work() const { return m_work; }

  private:
    ColourPlanes m_work, m_shown, m_previous;
    bool m_hasPrevious = false;
    bool m_difference = false;
    std::vector<uint8_t> m_data;
};
