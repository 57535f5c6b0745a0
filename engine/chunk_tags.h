#pragma once
// Two-character chunk tags of the handheld movie stream, as 16-bit values
// whose high byte is the first character (the order they appear in a file).
#include <cstdint>

constexpr uint16_t chunkTag(const char (&text)[3]) {
    return static_cast<uint16_t>(static_cast<uint8_t>(text[0]) << 8 |
                                 static_cast<uint8_t>(text[1]));
}

// Header chunks.
inline constexpr uint16_t kTagMovie = chunkTag("mv");
inline constexpr uint16_t kTagMovieKind = chunkTag("mt");
inline constexpr uint16_t kTagStreamHeader = chunkTag("sh");
inline constexpr uint16_t kTagStreamExtent = chunkTag("sx");
inline constexpr uint16_t kTagAudioHeader = chunkTag("ah");
inline constexpr uint16_t kTagAudioExtra = chunkTag("ax");
inline constexpr uint16_t kTagAngle = chunkTag("an");
inline constexpr uint16_t kTagMetadata = chunkTag("md");
inline constexpr uint16_t kTagScreenRect = chunkTag("mr");
inline constexpr uint16_t kTagControls = chunkTag("cv");
inline constexpr uint16_t kTagBackground = chunkTag("bc");
inline constexpr uint16_t kTagFullScreen = chunkTag("fs");
inline constexpr uint16_t kTagBeginTracks = chunkTag("bt");
inline constexpr uint16_t kTagPalette = chunkTag("py");
inline constexpr uint16_t kTagInverseMap = chunkTag("ic");
inline constexpr uint16_t kTagChapters = chunkTag("cl");
inline constexpr uint16_t kTagPictureItem = chunkTag("bi");
inline constexpr uint16_t kTagItemHeader = chunkTag("ho");
inline constexpr uint16_t kTagPixels = chunkTag("px");
inline constexpr uint16_t kTagVideoIndex = chunkTag("pt");
inline constexpr uint16_t kTagSoundIndex = chunkTag("at");
inline constexpr uint16_t kTagHeaderEnd = chunkTag("mb");
inline constexpr uint16_t kTagMovieEnd = chunkTag("me");
inline constexpr uint16_t kTagRecordEnd = chunkTag("re");

// Sample chunks. The video chunk's tag is the reverse of its stream tag.
inline constexpr uint16_t kTagFrame = chunkTag("rf");
inline constexpr uint16_t kTagSound = chunkTag("au");

// Stream tags inside "sh" and "sx".
inline constexpr uint16_t kStreamVideo = chunkTag("fr");
inline constexpr uint16_t kStreamSound = chunkTag("au");

inline constexpr uint32_t kChunkHeaderBytes = 4;   // length and tag
inline constexpr uint32_t kMaxChunkBytes = 65535;  // the length field is 16 bits
