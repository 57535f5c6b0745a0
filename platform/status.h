#pragma once
// Status numbers that cross every component boundary. They follow the
// classic Mac OS and media-toolbox numbering, because stored settings,
// error-text tables and callers compare against these exact values.
#include <cstdint>

using OSStatus = int32_t;

inline constexpr OSStatus noErr = 0;
inline constexpr OSStatus kStatusUnimplemented = -4;  // a request the component does not answer
inline constexpr OSStatus kStatusWriteError = -34;   // spool or output write failed
inline constexpr OSStatus kStatusReadError = -36;    // spool or input read failed
inline constexpr OSStatus kStatusCreateError = -38;  // spool file could not be created
inline constexpr OSStatus kStatusEndOfData = -39;    // normal end of a stream
inline constexpr OSStatus kStatusParamError = -50;   // bad parameter or wrong state
inline constexpr OSStatus kStatusOutOfMemory = -108;
inline constexpr OSStatus kStatusUserCancelled = -128;
inline constexpr OSStatus kStatusNotFound = -2101;              // profile or preference not found
inline constexpr OSStatus kStatusExportedWithoutAudio = -2055;  // counts as success
inline constexpr OSStatus kStatusNoCodec = -8961;               // no decoder for a source format
inline constexpr OSStatus kStatusNoCodecDriver = -8970;  // no driver decodes a codec's frames
inline constexpr OSStatus kStatusBadData = -8969;               // encoded data damaged or inconsistent
inline constexpr OSStatus kStatusBadSelector = static_cast<OSStatus>(0x80008002u);
inline constexpr OSStatus kStatusEncoderUnsupported = -3;  // ATRAC3 open: combination refused
// Atom containers (the media toolbox's numbers for the same faults).
inline constexpr OSStatus kStatusNotLeafAtom = -2102;           // leaf data asked of a parent atom
inline constexpr OSStatus kStatusDuplicateAtom = -2105;         // type and ID already used there
inline constexpr OSStatus kStatusInvalidAtom = -2106;           // bad or removed atom reference
inline constexpr OSStatus kStatusInvalidAtomContainer = -2107;  // malformed container bytes
// Resources.
inline constexpr OSStatus kStatusResourceNotFound = -192;
inline constexpr OSStatus kStatusBadResourceMap = -199;  // malformed resource image
// Files and media.
inline constexpr OSStatus kStatusBadFileName = -37;     // a path that does not fit a file specification
inline constexpr OSStatus kStatusFileNotFound = -43;
inline constexpr OSStatus kStatusDuplicateFile = -48;   // creating a file that already exists
inline constexpr OSStatus kStatusCantDecodeVideo = -2003;
inline constexpr OSStatus kStatusNoMovieFound = -2048;  // the source could not be opened as a movie
inline constexpr OSStatus kStatusComponentNotFound = -3000;  // no component fits the description
inline constexpr OSStatus kStatusUserDataNotFound = -2026;  // no user-data item of that type
