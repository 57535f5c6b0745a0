#include "engine/sound_decoder.h"

#include "engine/adpcm.h"
#include "engine/pcm.h"
#include "engine/sound_format.h"

namespace {

uint32_t ReadBe32(std::span<const uint8_t> b, size_t at) {
    return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) |
           uint32_t{b[at + 3]};
}

OSStatus DecodeBlockAdpcm(std::span<const uint8_t> body, uint32_t frames, uint16_t channels,
                          std::span<int16_t> out) {
    if (frames % kAdpcmBlockFrames != 0) return kStatusParamError;
    int16_t block[kAdpcmBlockFrames];
    size_t at = 0;
    for (uint32_t first = 0; first < frames; first += kAdpcmBlockFrames) {
        // A stereo block is coded as its left half, then its right half.
        for (uint16_t c = 0; c < channels; ++c) {
            uint32_t used = 0;
            if (at > body.size()) return kStatusParamError;
            const OSStatus status = AdpcmDecodeBlock(body.subspan(at), block, &used);
            if (status != noErr) return status;
            at += used;
            for (uint32_t i = 0; i < kAdpcmBlockFrames; ++i) {
                out[(first + i) * channels + c] = block[i];
            }
        }
    }
    return noErr;
}

}  // namespace

OSStatus ParseSoundChunk(std::span<const uint8_t> chunk, SoundChunkView& view) {
    if (chunk.size() < kSoundChunkHeaderBytes) return kStatusParamError;
    const uint32_t length = (uint32_t{chunk[0]} << 8) | chunk[1];
    if (chunk[2] != 'a' || chunk[3] != 'u') return kStatusParamError;
    if (length < kSoundChunkHeaderBytes || length > chunk.size()) return kStatusParamError;
    view.frames = ReadBe32(chunk, 4);
    view.position = ReadBe32(chunk, 8);
    view.body = chunk.subspan(kSoundChunkHeaderBytes, length - kSoundChunkHeaderBytes);
    return noErr;
}

OSStatus SoundDecodeChunk(SoundDecoder& decoder, std::span<const uint8_t> body, uint32_t frames,
                          std::span<int16_t> out) {
    const uint16_t channels = decoder.channels;
    if (channels < 1 || channels > 2) return kStatusParamError;
    const uint64_t samples = uint64_t{frames} * channels;
    if (out.size() < samples) return kStatusParamError;
    switch (decoder.format) {
        case kAudioFormatAdpcm4:
        case kAudioFormatAdpcm2:
            return DecodeBlockAdpcm(body, frames, channels, out);
        case kAudioFormatYamaha:
            return YamahaAdpcmDecode(body, decoder.yamaha, out.first(samples));
        case kAudioFormatPcm8:
            if (body.size() < samples) return kStatusParamError;
            for (size_t i = 0; i < samples; ++i) out[i] = Pcm8ToSample(body[i]);
            return noErr;
        case kAudioFormatPcm16:
            if (body.size() < 2 * samples) return kStatusParamError;
            ReadPcm16(body, out.first(samples));
            return noErr;
        default:
            return kStatusNoCodec;
    }
}
