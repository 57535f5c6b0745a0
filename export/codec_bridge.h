#pragma once
// The codec bridge: an image decompressor component that decodes frames of
// a code the movie toolbox lacks by calling the Video for Windows driver of
// that code, so that such AVI files read like any other movie. It is
// registered on demand, once per code, for this process only.
#include <cstdint>

#include "platform/codec_component.h"

inline constexpr OSType kCodecBridgeManufacturer = MakeOSType("TvlO");
inline constexpr uint32_t kCodecBridgeFlags = 0x38;  // 8-, 16- and 32-bit destinations
inline constexpr const char* kCodecBridgeName = "Tavelle QT/VfW Bridge";
inline constexpr int32_t kCodecBridgeVersion = 0x00020001;
// The bridge's codec information: resource 'cdci' 256.
inline constexpr OSType kCodecInfoResourceType = MakeOSType("cdci");
inline constexpr int16_t kCodecInfoResourceID = 256;

// Registers one more bridge component for `code`. *out may be null.
OSStatus RegisterCodecBridge(OSType code, Component* out);

// Bytes per row of the bridge's frame buffer for a frame `width` pixels wide.
int32_t BridgeRowBytes(int32_t width);
