#pragma once
// The AIFF movie exporter (type 'spit', subtype 'AIFF', manufacturer
// 'appl'): makes the music of a movie heard, rendering its music track
// through the synthesizer (platform/music_synth.h) into an AIFF file.
//
// Selectors: open, close, can do, version; set progress procedure (0x0084,
// MovieExportProgressParams); set sample description (0x0085,
// MovieExportSampleDescriptionParams: the sound the file will hold);
// export to file (0x0081, MovieExportToFileParams); validate (0x008B:
// the movie has an enabled music track); file name extension ('aif ').
//
// Export to file renders the given music track (or the movie's first
// enabled one) over [startTime, startTime + duration) in movie time
// (duration 0: to the end) into the file, created or replaced: a FORM
// 'AIFF' of a COMM chunk (channels, sample frames, sample size, rate as an
// 80-bit extended number) and an SSND chunk (offset 0, block size 0) of
// two's-complement big-endian samples, all numbers big-endian. The sound
// is the description set before (format 'twos', 'NONE' or 'raw ' with 8 or
// 16 bits, 1 or 2 channels, rates up to 96000 Hz; AIFF samples are always
// signed), by default 16-bit stereo at 44100 Hz. The progress procedure
// gets open, updates of the fraction rendered, and close; a non-zero
// answer stops the export with that value. On any failure no file is left.
//
// Errors: -50 for a movie without a music track or a sound description
// the file cannot hold; kStatusNoCodec when no soundfont can play it;
// kStatusCreateError / kStatusWriteError for the file.
#include <cstdint>

#include "platform/media_export.h"

inline constexpr OSType kAiffExportSubType = MakeOSType("AIFF");
inline constexpr OSType kAiffFileType = MakeOSType("AIFF");
inline constexpr int16_t kMovieExportSetSampleDescriptionSelect = 0x0085;

struct MovieExportSampleDescriptionParams {
    const SampleDescription* desc = nullptr;
    OSType mediaType = 0;  // kSoundMediaType
};

// Registers the exporter once for the process (RegisterBuiltInExporters
// calls this).
OSStatus RegisterAiffExporter();
