#pragma once
// Encoding types of a video frame chunk: the first byte after its tag.
#include <cstdint>

inline constexpr uint8_t kFrameTypeGreyKey = 0;       // packed grey, deflated
inline constexpr uint8_t kFrameTypeGreyDiff = 1;      // XOR with the previous frame, deflated
inline constexpr uint8_t kFrameTypeGreyRowXor = 2;    // rows XOR the row two above, deflated
inline constexpr uint8_t kFrameTypeGreyRowPairs = 3;  // 2-bit rows regrouped in pairs, deflated
inline constexpr uint8_t kFrameTypeRle = 6;
inline constexpr uint8_t kFrameTypeRleDeflated = 7;
inline constexpr uint8_t kFrameTypeBlock4 = 8;  // 4-bit grey block codec
inline constexpr uint8_t kFrameTypeBlock8 = 9;  // 8-bit colour block codec
inline constexpr uint8_t kFrameTypeZyg2 = 10;
inline constexpr uint8_t kFrameTypeCvid = 11;
inline constexpr uint8_t kFrameTypeMp4v = 12;

