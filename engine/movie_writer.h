#pragma once
// The movie writer: turns configured video frames and PCM sound into a
// handheld movie database image.
//
// Lifecycle: MovieWriterCreate (state 0, configuring) -> MovieWriterStart
// (state 1, encoding: frames, sound and forced key frames are accepted) ->
// MovieWriterFinish (state 2: size and read-out are available) ->
// MovieWriterDispose. Dispose is allowed in every state and is the only way
// to release a writer, including one whose start failed.
//
// Every operation returns a status number from platform/status.h: 0 on
// success, -50 for a wrong state or a bad argument, -108 when memory ran out,
// -34/-36/-38 for spool-file write, read and create failures.
//
// Ownership: callers own everything they pass in; the writer copies what it
// keeps (names, strings, wave format, picture items). The writer owns its
// temporary spool file and deletes it in MovieWriterDispose on every path.
#include <cstdint>

struct MovieWriter;  // opaque

// Called during MovieWriterFinish with a percentage 0..100 and the reference
// value given to MovieWriterSetProgress. The return value is not consulted.
typedef int32_t (*MovieWriterProgressProc)(int32_t percent, int32_t refCon);

// Keys of MovieWriterSetInfoString.
inline constexpr int32_t kMovieInfoTitle = 1;
inline constexpr int32_t kMovieInfoInformation = 2;
inline constexpr int32_t kMovieInfoRights = 3;

// Video modes of MovieWriterSetVideoMode.
inline constexpr int32_t kVideoModeGrey2 = 1;    // 2-bit grey, own compression
inline constexpr int32_t kVideoModeColour8 = 2;  // 8-bit colour, own block codec
inline constexpr int32_t kVideoModeMono1 = 3;    // 1-bit black and white
inline constexpr int32_t kVideoModeGrey4 = 4;    // 4-bit grey, own block codec
inline constexpr int32_t kVideoModeRle = 5;      // platform 'rle ' compressor
inline constexpr int32_t kVideoModeZyG2 = 6;     // platform 'ZyG2' compressor
inline constexpr int32_t kVideoModeCinepak = 7;  // platform 'cvid' compressor
inline constexpr int32_t kVideoModeMpeg4 = 8;    // platform 'mp4v' compressor

// Audio formats of MovieWriterSetAudioFormat.
inline constexpr uint32_t kAudioFormatNone = 0;
inline constexpr uint32_t kAudioFormatAtrac3 = 624;
inline constexpr uint32_t kAudioFormatAdpcm4 = 626;  // block ADPCM, 4 bits
inline constexpr uint32_t kAudioFormatPcm8 = 627;    // uncompressed 8-bit
inline constexpr uint32_t kAudioFormatAdpcm2 = 628;  // block ADPCM, 2 bits
inline constexpr uint32_t kAudioFormatYamaha = 629;  // 4-bit ADPCM, step from 127
inline constexpr uint32_t kAudioFormatPcm16 = 630;   // uncompressed 16-bit

// The only sound input kind: a 16-byte little-endian PCM wave-format record.
inline constexpr int32_t kSoundInputWaveFormat = 1;
inline constexpr uint32_t kWaveFormatSize = 16;

// Keys of MovieWriterSetProperty. Unless noted the value is an integer.
inline constexpr int32_t kPropAudioBitRate = 1;        // bits per second (ATRAC3)
inline constexpr int32_t kPropChannelMode = 2;         // 1 mono, 2 stereo, 18 joint stereo
inline constexpr int32_t kPropVideoDataRate = 5;       // kilobits per second
inline constexpr int32_t kPropAudioPreload = 100;      // sample frames ahead of the first frame
inline constexpr int32_t kPropAudioInterleave = 101;   // const int32_t[2]: scale, step
inline constexpr int32_t kPropAudioChunkLength = 102;  // sample frames per sound chunk
inline constexpr int32_t kPropSoundGain = 103;         // 1 -> 1.5, 2 -> 2.5, 3 -> 4.0, else 1.0
inline constexpr int32_t kPropPictureItem = 200;       // const MovieWriterPictureItem*
inline constexpr int32_t kPropScreenRect = 201;        // const int16_t[4]: top, left, bottom, right
inline constexpr int32_t kPropControlSwitch = 203;     // "cv" switch
inline constexpr int32_t kPropBackgroundColour = 204;  // const uint8_t[3]: red, green, blue
inline constexpr int32_t kPropDisplaySize = 205;       // const uint16_t[2]: width, height
inline constexpr int32_t kPropFullScreen = 206;        // "fs" switch
inline constexpr int32_t kPropVideoTimeScale = 207;    // units per second of frame durations
inline constexpr int32_t kPropRotation = 208;          // degrees, low 16 bits sign-extended

// A picture item handed over with kPropPictureItem. The five numbers belong
// to the presentation settings; the writer copies them unchanged. Both
// pointers are optional and only read during the call.
struct MovieWriterPictureItem {
    uint32_t values[4];
    uint16_t flags;
    const uint8_t* nestedChunk;  // starts with its own big-endian 16-bit length
    const uint8_t* pictureData;  // starts with a big-endian 32-bit total length, counting itself
};

// Allocates a writer with the default configuration. -108 and a null result
// when memory is exhausted.
int32_t MovieWriterCreate(MovieWriter** outWriter);
// Releases everything the writer owns and deletes its spool file. -50 for null.
int32_t MovieWriterDispose(MovieWriter* writer);

// Configuration; each returns -50 once the writer has started.
int32_t MovieWriterSetName(MovieWriter* writer, const char* name);
// Blank texts (empty or only spaces) are ignored with status 0.
int32_t MovieWriterSetInfoString(MovieWriter* writer, int32_t key, const char* text);
// The encoded size is the given size rounded up to a multiple of 4.
int32_t MovieWriterSetFrameSize(MovieWriter* writer, uint16_t width, uint16_t height);
int32_t MovieWriterSetVideoMode(MovieWriter* writer, int32_t mode);
int32_t MovieWriterSetAudioFormat(MovieWriter* writer, uint32_t format);
int32_t MovieWriterSetSoundInput(MovieWriter* writer, int32_t kind, const void* waveFormat,
                                 uint32_t waveFormatSize);
// Allowed in any state.
int32_t MovieWriterSetProgress(MovieWriter* writer, MovieWriterProgressProc proc, int32_t refCon);
// No state check, but only chapters added before MovieWriterStart reach the movie.
int32_t MovieWriterAddChapter(MovieWriter* writer, uint32_t timeMs, const char* title,
                              uint32_t titleLength);
// An integer, or a pointer for the keys that take one.
int32_t MovieWriterSetProperty(MovieWriter* writer, int32_t key, intptr_t value);

// Encoding (state 1).
int32_t MovieWriterForceKeyFrame(MovieWriter* writer);
int32_t MovieWriterStart(MovieWriter* writer);
// `pixels` are 32-bit 'BGRA' at the frame size, `duration` in video time-scale units.
int32_t MovieWriterAddFrame(MovieWriter* writer, const uint8_t* pixels, int32_t rowBytes,
                            int32_t duration, bool* outKeyFrame /* may be null */);
// Interleaved PCM as described by MovieWriterSetSoundInput.
int32_t MovieWriterAddSound(MovieWriter* writer, const void* frames, uint32_t byteCount,
                            uint32_t frameCount);

// Finishing and read-out.
int32_t MovieWriterFinish(MovieWriter* writer);
// State 2 only: the size of the database image in bytes.
int32_t MovieWriterGetSize(MovieWriter* writer, uint32_t* outSize);
// State 2 only: copies bytes [offset, offset + count) of the image; -50 past the end.
int32_t MovieWriterRead(MovieWriter* writer, void* destination, uint32_t offset, uint32_t count);
