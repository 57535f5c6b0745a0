#pragma once
// The program's own reader of MPEG-1 system streams: a demultiplexer that
// walks packs, system headers and packets, a frame reader that cuts one
// audio stream into MPEG audio frames, and a Layer I/II decoder that turns
// them into 16-bit PCM. Used where the platform opens such a movie but does
// not hand its sound to an exporter.
//
// Tables come from the program's resources: the bit-rate and sample-rate
// tables ('MPBR' 1, 'MPSR' 1), the four Layer II allocation tables ('MPTB' 0
// to 3) and the synthesis window ('MPTB' 100).
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "platform/resources.h"
#include "platform/status.h"

inline constexpr FourCC kResTypeMpegBitRates = fourCC("MPBR");
inline constexpr FourCC kResTypeMpegSampleRates = fourCC("MPSR");
inline constexpr FourCC kResTypeMpegTable = fourCC("MPTB");
inline constexpr ResID kMpegRateTablesID = 1;
inline constexpr ResID kMpegAllocTableFirstID = 0;  // ALLOC_0 .. ALLOC_3
inline constexpr ResID kMpegWindowTableID = 100;    // DEWINDOW

// Demultiplexer codes (positive, as the stream's own codes are).
inline constexpr OSStatus kMpegNoPackStart = 0x0C;   // another code where a pack must start
inline constexpr OSStatus kMpegEndCode = 0x11;       // the program end code
inline constexpr OSStatus kMpegParseError = 0x1000;  // added to a header parser's code
inline constexpr OSStatus kMpegPacketBeforeSystemHeader = 0x1007;
inline constexpr OSStatus kMpegBadPackHeader = 0x01;    // (+ kMpegParseError)
inline constexpr OSStatus kMpegBadSystemHeader = 0x02;  // (+ kMpegParseError)
inline constexpr OSStatus kMpegSystemHeaderChanged = 0x03;
inline constexpr OSStatus kMpegBadPacketHeader = 0x04;

// --- Rate tables --------------------------------------------------------------

// The bit rates (bit/s) by version row (0 MPEG-1, 1 MPEG-2, 2 MPEG-2.5), layer
// (0 I, 1 II, 2 III) and bit-rate index, and the sample rates by version row
// and rate index; 624 bytes in all, native byte order.
struct MpegRateTables {
    std::array<uint32_t, 144> bitRates{};
    std::array<uint32_t, 12> sampleRates{};
    uint32_t bitRate(int version, int layer, int index) const {
        return bitRates[size_t((version * 3 + layer) * 16 + index)];
    }
    uint32_t sampleRate(int version, int index) const {
        return sampleRates[size_t(version * 4 + index)];
    }
};
static_assert(sizeof(MpegRateTables) == 624);

// Loads 'MPBR' 1 and 'MPSR' 1 (big-endian 32-bit values). kStatusResourceNotFound
// when one is missing, kStatusBadResourceMap when one has the wrong size.
OSStatus LoadMpegRateTables(const ResourceFile& file, MpegRateTables* out);

// The program's tables, loaded on the first acquire and shared until the
// last release (exporter instances hold them while they are open).
OSStatus AcquireMpegRateTables(const MpegRateTables** out);
void ReleaseMpegRateTables();

// --- Frame headers -----------------------------------------------------------

struct MpegFrameHeader {
    int version = 0;  // table row: 0 MPEG-1, 1 MPEG-2, 2 MPEG-2.5
    int layer = 0;    // 1, 2 or 3
    bool crc = false;
    int bitRateIndex = 0, sampleRateIndex = 0;
    uint32_t bitRate = 0, sampleRate = 0;
    bool padding = false;
    int mode = 0;  // 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel
    int modeExtension = 0;
    int channels = 0;
    int samplesPerFrame = 0;
    int frameBytes = 0;  // header included
};

// Decodes the big-endian word at the start of a frame. False unless the sync
// is there and the version, layer, bit rate and sample rate are known.
bool ParseMpegFrameHeader(uint32_t word, const MpegRateTables& tables, MpegFrameHeader* out);

// --- Demultiplexer and frame reader ---------------------------------------------

// Serves the file's bytes by offset: exactly data.size() bytes, or
// kStatusEndOfData when the file is shorter.
using MpegByteReader = std::function<OSStatus(int64_t offset, std::span<uint8_t> data)>;

struct MpegPacket {
    int streamID = 0;           // the low byte of the packet start code
    int64_t payloadOffset = 0;  // in the file
    int32_t payloadLength = 0;  // what the file holds of it
    int32_t readPosition = 0;   // within the payload
};

class MpegDemuxer {
  public:
    static constexpr size_t kBufferBytes = 20000;
    static constexpr size_t kFrameBufferBytes = 2048;

    MpegDemuxer(MpegByteReader reader, int64_t fileSize, const MpegRateTables& tables);

    // Back to the start of the file, state 0, no packet.
    void start();
    // The next packet of any stream: noErr, kStatusEndOfData at the end of the
    // file, or one of the codes above (the walk can go on after them).
    OSStatus nextPacket(MpegPacket* packet);
    void releasePacket() {
        m_packet = {};
        m_havePacket = false;
    }

    // The audio stream that reads and frames come from (0xC0..0xDF).
    void chooseAudioStream(int streamID) { m_audioStream = streamID; }
    // Walks from the start to the first packet of an audio stream that begins
    // with a valid frame header; chooses that stream and leaves its packet
    // current. kStatusEndOfData when there is none.
    OSStatus findAudioStream(MpegFrameHeader* first);

    // n bytes of the chosen audio stream, fetching packets as needed and
    // dropping those of other streams; kStatusEndOfData at the end.
    OSStatus readAudioBytes(size_t n, uint8_t* dest);
    // The next frame: a valid header (found byte by byte past anything else)
    // and the rest of its frame, in the frame buffer. kStatusEndOfData at the
    // end of the stream, also when it ends inside a frame.
    OSStatus nextFrame(std::span<const uint8_t>* frame, MpegFrameHeader* header);

    int packsSeen() const { return m_packs; }
    int systemHeadersSeen() const { return m_systemHeaders; }
    int droppedPackets() const { return m_dropped; }

  private:
    OSStatus fill(size_t want);
    OSStatus readByte(uint8_t* b);
    OSStatus readBytes(uint8_t* dest, size_t n);
    OSStatus skip(int64_t n);
    OSStatus nextStartCode(uint32_t* code);
    OSStatus parsePack();
    OSStatus parseSystemHeader();
    OSStatus parsePacket(int streamID, MpegPacket* packet);
    int64_t position() const { return m_bufferStart + int64_t(m_bufferPos); }

    MpegByteReader m_reader;
    int64_t m_fileSize = 0;
    const MpegRateTables& m_tables;
    std::vector<uint8_t> m_buffer;  // kBufferBytes
    int64_t m_bufferStart = 0;      // file offset of m_buffer[0]
    size_t m_bufferPos = 0, m_bufferEnd = 0;
    int m_state = 0;
    uint32_t m_pendingCode = 0;  // a start code read but not yet acted on; 0 for none
    int m_packs = 0, m_systemHeaders = 0, m_dropped = 0;
    std::vector<uint8_t> m_firstSystemHeader;
    MpegPacket m_packet;
    bool m_havePacket = false;
    int m_audioStream = -1;
    std::vector<uint8_t> m_frame;  // kFrameBufferBytes
};

// --- Decoder -------------------------------------------------------------------

inline constexpr int kMpegMaxSamplesPerFrame = 1152;

class MpegBits;

// Tests: makes the index-th working allocation of the next decoders fail
// (-1: none).
void MpegAudioDecoderFailAllocationForTesting(int index);

class MpegAudioDecoder {
  public:
    ~MpegAudioDecoder();
    // Reads the allocation tables and the window from the resources.
    // kStatusOutOfMemory when a working allocation fails (the others are then
    // freed), kStatusResourceNotFound or kStatusBadResourceMap for a missing
    // or malformed table.
    static OSStatus create(const ResourceFile& file, std::unique_ptr<MpegAudioDecoder>* out);

    // The layers and versions decoded here: Layer I and Layer II of MPEG-1.
    static bool canDecode(const MpegFrameHeader& h) {
        return h.version == 0 && (h.layer == 1 || h.layer == 2);
    }
    // Decodes one frame (header included) into pcm: 16-bit samples, channels
    // interleaved, room for kMpegMaxSamplesPerFrame sample frames. Returns
    // the sample frames produced in *frames. kStatusParamError for a frame
    // this decoder cannot decode or one shorter than its header says.
    OSStatus decodeFrame(std::span<const uint8_t> frame, const MpegFrameHeader& header,
                         int16_t* pcm, int* frames);

  private:
    struct Allocation {
        int32_t steps, bits, group, quant;
    };
    MpegAudioDecoder() = default;
    OSStatus loadAllocTable(const ResourceFile& file, int table);
    void decodeLayer2(MpegBits& bits, const MpegFrameHeader& h, int16_t* pcm);
    void decodeLayer1(MpegBits& bits, const MpegFrameHeader& h, int16_t* pcm);
    void synthesize(int channel, const double* subbands, int16_t* out);
    void emitGranule(const double* fraction, int samples, int channels, int16_t* pcm);

    // The named working allocations.
    int16_t* m_pcmSamples = nullptr;  // "PCM Samp": synthesised samples before interleaving
    uint32_t* m_sample = nullptr;     // "Sample": codes of one granule
    double* m_fraction = nullptr;     // "fraction": requantised granule
    Allocation* m_w = nullptr;        // "w": the allocation table in use
    double* m_bb = nullptr;           // "BB": the synthesis history, per channel
    double* m_nn = nullptr;           // "NN": the matrixing coefficients
    double* m_win = nullptr;          // "WIN": the synthesis window
    // All four allocation tables, parsed once; m_w holds the one in use.
    struct Table {
        int subbands = 0;
        std::array<int, 32> entries{};  // allocation indexes per sub-band
        std::vector<Allocation> rows;   // 32 x 16
    };
    std::array<Table, 4> m_tables;
    int m_wTable = -1;
    std::array<int, 2> m_bbOffset{};
};
