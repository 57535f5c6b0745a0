// Feeds arbitrary bytes to the MPEG-1 system stream demultiplexer and decodes
// every frame it finds; the same bytes are also decoded as one bare frame.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "export/mpeg_audio.h"
#include "resources/resources.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MpegRateTables tables;
    static std::unique_ptr<MpegAudioDecoder> decoder;
    if (!decoder) {
        if (LoadMpegRateTables(moviepackerResources(), &tables) != noErr) return 0;
        if (MpegAudioDecoder::create(moviepackerResources(), &decoder) != noErr) return 0;
    }
    std::vector<int16_t> pcm(kMpegMaxSamplesPerFrame * 2);

    // One bare frame: the header says how long it is, the data may be shorter.
    if (size >= 4) {
        const uint32_t word = (uint32_t(data[0]) << 24) | (uint32_t(data[1]) << 16) |
                              (uint32_t(data[2]) << 8) | data[3];
        MpegFrameHeader h;
        if (ParseMpegFrameHeader(word, tables, &h)) {
            int n = 0;
            decoder->decodeFrame({data, size}, h, pcm.data(), &n);
        }
    }

    MpegDemuxer demux(
        [data, size](int64_t at, std::span<uint8_t> d) {
            if (at < 0 || uint64_t(at) + d.size() > size) return kStatusEndOfData;
            std::memcpy(d.data(), data + at, d.size());
            return noErr;
        },
        int64_t(size), tables);
    MpegFrameHeader first;
    if (demux.findAudioStream(&first) != noErr) return 0;
    std::span<const uint8_t> frame;
    MpegFrameHeader h;
    // A few frames are enough to reach every path; more only slow the search.
    for (int i = 0; i < 24 && demux.nextFrame(&frame, &h) == noErr; ++i) {
        int n = 0;
        decoder->decodeFrame(frame, h, pcm.data(), &n);
    }
    return 0;
}
