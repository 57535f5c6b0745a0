#pragma once
// The built-in preview component ('pnot'/'moov'/'appl'): draws the first
// picture of a movie file named by an alias data reference.
#include <cstdint>

#include "platform/components.h"
#include "platform/data_handler.h"
#include "platform/decompress.h"

inline constexpr int16_t kPreviewShowDataSelectNumber = 1;  // PreviewShowDataParams
inline constexpr int16_t kPreviewMakePreviewSelectNumber = 2;
inline constexpr int16_t kPreviewMakePreviewReferenceSelectNumber = 3;
inline constexpr int16_t kPreviewEventSelectNumber = 4;

struct PreviewShowDataParams {
    OSType dataType = 0;  // kAliasDataReferenceType
    const DataReference* data = nullptr;
    PixelBuffer dest;  // where the picture goes, scaled to fill
};

// Registers the built-in preview component once for the process.
OSStatus RegisterBuiltInPreview();
