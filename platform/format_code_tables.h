#pragma once
// Codec <-> four-character code tables (format_code_tables.cpp).
#include <array>
#include <cstdint>

extern "C" {
#include <libavcodec/codec_id.h>
}

#include "platform/media_types.h"

struct FormatCodeEntry {
    AVCodecID codec;
    OSType format;
};

extern const std::array<FormatCodeEntry, 33> kVideoFormatCodes;
extern const std::array<FormatCodeEntry, 26> kSoundFormatCodes;
