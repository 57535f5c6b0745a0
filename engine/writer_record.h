#pragma once
// The movie writer's record and the engine-internal operations on it. Only
// engine sources include this; everyone else sees the opaque handle of
// movie_writer.h.
//
// The record is split by who fills it: configuration (movie_writer.cpp,
// writer_properties.cpp), shared encoding state and the sample indexes
// (sample_chunks.cpp), video, sound and colour encoder state (the encoders),
// and the layout state of finishing (record_layout.cpp, database_image.cpp).
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/block.h"
#include "engine/block_codec4.h"
#include "engine/colour_codec.h"
#include "engine/colour_compressor.h"
#include "engine/dither_tables.h"
#include "engine/grey_codec.h"
#include "engine/movie_writer.h"
#include "engine/raw_deflate.h"
#include "engine/sound_encoder.h"
#include "platform/image_compression.h"

inline constexpr uint32_t kWriterSignature = 0x716D706D;  // 'qmpm'

inline constexpr int32_t kWriterConfiguring = 0;
inline constexpr int32_t kWriterEncoding = 1;
inline constexpr int32_t kWriterFinished = 2;

// Sample index entry: one per sample chunk in the spool file. Lives only in
// memory (a block of these, native byte order).
struct SampleIndexEntry {
    uint32_t spoolOffset;   // where the chunk starts in the spool file
    uint32_t chunkLength;   // whole chunk, header and pad included
    uint32_t duration;      // hundredths (video) or sample frames (sound)
    uint32_t flags;         // the chunk's flag byte
    uint16_t recordNumber;  // 1-based database record, set by the layout
    uint16_t recordOffset;  // offset of the chunk inside that record
};
static_assert(sizeof(SampleIndexEntry) == 20);

// Flag bits of a frame chunk.
inline constexpr uint8_t kFrameFlagPad = 0x01;
inline constexpr uint8_t kFrameFlagDifference = 0x04;

inline constexpr uint32_t kSpoolPathBytes = 260;

// A picture item as its finished "bi" chunk, in the order they were added.
struct PictureItem {
    BlockHandle chunk = nullptr;
    PictureItem* next = nullptr;
};

struct MovieWriter {
    // ---- configuration (set while state is 0) ---------------------------
    uint32_t signature = kWriterSignature;
    std::optional<std::string> name;
    std::string title, information, rights;  // empty = not set
    MovieWriterProgressProc progressProc = nullptr;
    int32_t progressRefCon = 0;
    uint16_t encodedWidth = 0, encodedHeight = 0;
    uint16_t sourceWidth = 0, sourceHeight = 0;
    float ditherSpread = 0.5f;
    int32_t keyFrameInterval = 12;
    int32_t videoDataRate = 40000;  // bytes per second
    int32_t videoMode = 0;
    uint32_t audioInterleaveStep = 100;     // hundredths of video per pass
    uint32_t audioInterleaveScale = 44100;  // sample frames of sound per pass
    uint32_t audioChunkLength = 7350;
    int16_t waveFormatTag = 1;
    std::array<uint8_t, 16> waveFormat{};  // copy of the caller's record
    bool hasWaveFormat = false;
    uint32_t sampleRate = 44100;
    uint16_t channels = 1;
    uint16_t bitsPerSample = 16;
    uint32_t audioPreload = 88200;
    uint32_t audioFormat = 0;
    uint32_t audioBitRate = 66000;
    uint16_t channelMode = 1;
    BlockHandle chapterList = nullptr;  // "cl" under construction
    uint16_t chapterCount = 0;
    uint32_t videoTimeScale = 1000;
    int32_t rotation = 0;
    uint8_t forceKeyFrame = 0;
    float soundGain = 1.0f;
    std::array<int16_t, 4> screenRect{};  // top, left, bottom, right
    bool controlsSet = false;
    uint8_t controlsValue = 0;
    bool fullScreenSet = false;
    uint8_t fullScreenValue = 0;
    bool backgroundSet = false;
    std::array<int32_t, 3> background{};  // red, green, blue, 0..255
    uint16_t displayWidth = 0, displayHeight = 0;
    PictureItem* pictureItems = nullptr;
    PictureItem* lastPictureItem = nullptr;

    // ---- shared encoding state (from MovieWriterStart on) ---------------
    int32_t state = kWriterConfiguring;
    bool startComplete = false;  // a failed start stays in state 1 but takes nothing more
    bool hasVideo = false;       // decided at start
    bool hasSound = false;
    BlockHandle header = nullptr;
    // Offsets inside the header block of the patchable chunks (the chunk's
    // first byte for "mt", "sh", "sx" and "ah"; the payload for "py" and
    // "ic"); -1 when absent.
    int32_t movieKindOffset = -1;
    int32_t videoShOffset = -1, videoSxOffset = -1;
    int32_t soundShOffset = -1, soundSxOffset = -1;
    int32_t audioHeaderOffset = -1;
    int32_t paletteOffset = -1, inverseMapOffset = -1;
    int32_t chapterListOffset = -1;  // the "cl" chunk, the header block's last at start
    BlockHandle videoIndex = nullptr;  // SampleIndexEntry[]
    BlockHandle soundIndex = nullptr;  // SampleIndexEntry[]
    uint32_t frameCount = 0;
    uint32_t totalVideoDuration = 0;  // hundredths
    uint32_t totalSampleFrames = 0;
    char spoolPath[kSpoolPathBytes] = {};
    int spoolHandle = -1;    // open file descriptor, or -1
    uint32_t spoolSize = 0;  // where the next appended byte lands

    // ---- video encoder state (grey modes and the frame chunk) -----------
    int32_t packedRowBytes = 0;
    std::vector<uint8_t> packedFrame;    // current dithered frame
    std::vector<uint8_t> greyFrame;      // one darkness byte per pixel
    std::vector<uint8_t> previousFrame;  // last packed frame; mode 4: as the player shows it
    bool hasPreviousFrame = false;
    DitherTable ditherTable{};      // grey, or Cb/Cr in mode 2
    DitherTable ditherTableLuma{};  // Y in mode 2
    int32_t differenceRun = 0;      // difference frames in a row
    // Source time not yet expressed in hundredths, in hundredths of a
    // time-scale unit (see FrameHundredths).
    int64_t timeCarry = 0;
    GreyFrameEncoder greyEncoder;  // modes 1 and 3, with its scratch frames
    BlockCodec4 blockCodec;        // mode 4, with the block ages
    // New block ages come from here; seeding it makes a mode 4 run repeatable.
    BlockAgeRandom blockAgeRandom;

    // ---- sound encoder state --------------------------------------------
    // Buffers, pending frames, the chunk being gathered and the ATRAC3 state
    // (sound_encoder.h); add_sound.cpp mirrors the two counters below from it.
    SoundEncoder sound;
    uint16_t outputChannels = 0;  // set by writerSoundStart
    int32_t audioChunkCount = 0;  // encoder blocks or PCM chunks; 0 = no sound samples

    // ---- colour encoder state -------------------------------------------
    ColourCodec colourCodec;  // mode 2: work image, reconstruction, previous frame
    std::vector<uint32_t> colourHistogram;  // 65536 saturating counters
    CompressSequence compressor = nullptr;  // modes 5 to 8
    size_t maxCompressedSize = 0;
    int32_t compressQuality = kCompressHighQuality;
    RateHistory rateHistory;
    std::vector<uint8_t> compressedFrame;  // compressor output
    std::vector<uint8_t> colourPacked;     // deflated or run-length packed form
    RawDeflater colourDeflater;

    // ---- layout state (finishing) ---------------------------------------
    std::vector<BlockHandle> memoryRecords;
    int32_t spooledRecordCount = 0;
    BlockHandle spoolMap = nullptr;  // SpoolMapEntry[]
    uint32_t spooledByteCount = 0;
    BlockHandle image = nullptr;  // PDB header, record list, padding, memory records
    uint32_t headerEnd = 0;
    uint32_t preloadedFrames = 0;
    // Read-out index: image offset where each spool-map entry starts.
    std::vector<uint32_t> spoolMapStarts;
    bool imageComplete = false;
};

// ---- sample chunks (sample_chunks.cpp) ----------------------------------

enum class SampleStream { Video, Sound };

uint32_t writerIndexCount(BlockHandle index);
SampleIndexEntry* writerIndexEntries(BlockHandle index);

// Appends an already complete chunk (length field, tag, payload and pad) to
// the spool file and adds its index entry. Does not touch the frame or
// sample counters.
int32_t writerAppendSampleChunk(MovieWriter* w, SampleStream stream, const uint8_t* chunk,
                                uint32_t length, uint32_t duration, uint32_t flags);

// Writes one "rf" chunk: 8-byte header, `size` bytes of data and a pad byte
// when the size is odd; counts the frame and adds its duration. A size of 0
// writes nothing. -50 if the chunk would not fit its 16-bit length.
int32_t writerWriteFrameChunk(MovieWriter* w, uint8_t encodingType, bool difference,
                              uint16_t durationHundredths, const uint8_t* data, uint32_t size);

// Writes one "au" chunk of `frames` sample frames starting at sample-frame
// `position`. The sound encoder keeps its own totals.
int32_t writerWriteSoundChunk(MovieWriter* w, uint32_t frames, uint32_t position,
                              const uint8_t* data, uint32_t size);

// ---- encoder hooks --------------------------------------------------------
// Video (bodies in add_frame.cpp, owned by the video encoder; replace that
// file as a whole). writerVideoStart runs only when the movie has video.
int32_t writerVideoStart(MovieWriter* w);
int32_t writerAddFrame(MovieWriter* w, const uint8_t* pixels, int32_t rowBytes, int32_t duration,
                       bool* outKeyFrame);
void writerVideoRelease(MovieWriter* w);

// The release hooks run once, from MovieWriterDispose, in any state.
//
// Sound (bodies in add_sound.cpp, owned by the sound encoder; replace that
// file as a whole). writerSoundStart runs only when the movie has sound and
// must set outputChannels, and for ATRAC3 the settled channelMode and
// audioBitRate, before the header is built. writerSoundFlush runs at the
// start of finishing.
int32_t writerSoundStart(MovieWriter* w);
int32_t writerAddSound(MovieWriter* w, const void* frames, uint32_t byteCount, uint32_t frameCount);
int32_t writerSoundFlush(MovieWriter* w);
void writerSoundRelease(MovieWriter* w);

// Colour palette for modes 2, 7 and 8 (body in colour_palette.cpp, owned by
// the colour encoder; replace that file as a whole): fill palette entries 16
// to 239 of the 768-byte Y, Cb, Cr palette from the colour histogram, then
// the 8192-byte inverse colour map for all 256 entries.
int32_t writerBuildPalette(MovieWriter* w, uint8_t* palette, uint8_t* inverseMap);

// ---- header, finishing, read-out -----------------------------------------
int32_t writerBuildHeader(MovieWriter* w);  // header_chunks.cpp
int32_t writerFinishImage(MovieWriter* w);  // record_layout.cpp
int32_t writerReadImage(MovieWriter* w, uint8_t* destination, uint32_t offset,
                        uint32_t count);  // database_image.cpp
uint32_t writerImageSize(const MovieWriter* w);

// Calls the progress procedure, if any.
void writerProgress(MovieWriter* w, int32_t percent);
