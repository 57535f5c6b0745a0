#pragma once
// Decoder of the 8-bit colour codec's frames, keeping the picture between
// frames as the player does.
#include <cstdint>
#include <span>

#include "engine/colour_codec.h"
#include "engine/dither_tables.h"
#include "platform/status.h"

class ColourDecoder {
  public:
    ColourDecoder();
    OSStatus Prepare(int width, int height);
    // -8969 for a damaged frame (the picture is then undefined).
    OSStatus Decode(std::span<const uint8_t> data);
    const ColourPlanes& Picture() const { return m_picture; }

  private:
    ColourPlanes m_picture;
    DitherTable m_luma{}, m_chroma{};
};
