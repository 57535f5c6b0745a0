#pragma once
// What the sound coders need to know about the audio format codes (the
// codes themselves are in movie_writer.h).
#include <cstdint>

#include "engine/movie_writer.h"

inline bool IsAudioFormat(uint32_t format) {
    return format == kAudioFormatAtrac3 ||
           (format >= kAudioFormatAdpcm4 && format <= kAudioFormatPcm16);
}

// Code width of the block ADPCM formats, 0 for the others.
inline int BlockAdpcmBits(uint32_t format) {
    return format == kAudioFormatAdpcm4 ? 4 : (format == kAudioFormatAdpcm2 ? 2 : 0);
}

// The "au" chunk header: length, tag, frames, first frame's position, zero.
inline constexpr uint32_t kSoundChunkHeaderBytes = 16;
