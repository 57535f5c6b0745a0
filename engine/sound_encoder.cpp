#include "engine/sound_encoder.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "atrac3/atrac3.h"
#include "engine/adpcm.h"
#include "engine/pcm.h"
#include "engine/sound_format.h"

const Atrac3EntryPoints kAtrac3Library = {Atrac3Open, Atrac3Encode, Atrac3Close};

namespace {

constexpr uint32_t kAtrac3BlockFrames = 1024;
// Most bytes one ATRAC3 encode call may report; more would have overrun the
// output buffer, so such a block is treated as a failed encode.
constexpr uint32_t kAtrac3ScratchBytes = 512;
constexpr uint32_t kMaxChunkBytes = 65535;

void PutBe32(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value >> 24);
    at[1] = static_cast<uint8_t>(value >> 16);
    at[2] = static_cast<uint8_t>(value >> 8);
    at[3] = static_cast<uint8_t>(value);
}

int32_t Atrac3BitRateCode(uint32_t bitRate) {
    switch (bitRate) {
        case 66000:
            return 66;
        case 47000:
            return 47;
        case 33000:
            return 33;
        case 23500:
            return 24;
        case 16500:
            return 16;
        case 11750:
            return 12;
        default:
            return 33;
    }
}

// Settles channels, mode and rate for ATRAC3 and opens the encoder; -50 when
// the library refuses the combination.
OSStatus PrepareAtrac3(SoundEncoder& e, const SoundSettings& s) {
    e.outputChannels = e.inputChannels;
    uint16_t mode = s.channelMode;
    if (e.inputChannels == 2 && mode == kAtrac3Mono) {
        e.outputChannels = 1;
        e.downmix.assign(kAtrac3BlockFrames, 0);
    }
    if (e.outputChannels == 1) {
        mode = kAtrac3Mono;
    } else if (mode == 0) {
        mode = e.inputChannels > 1 ? kAtrac3JointStereo : kAtrac3Mono;
    }
    uint32_t rate = s.bitRate;
    if (mode == kAtrac3Stereo) rate = std::max<uint32_t>(rate, 23500);
    if (mode == kAtrac3JointStereo) rate = std::max<uint32_t>(rate, 33000);
    e.channelMode = mode;
    e.bitRate = rate;
    e.bitRateCode = Atrac3BitRateCode(rate);
    e.scratch.assign(kAtrac3ScratchBytes, 0);
    e.encoderState.assign(kAtrac3StateSize, 0);
    if (e.atrac3->open(e.bitRateCode, mode, e.encoderState.data()) != 0) return kStatusParamError;
    e.encoderOpen = true;
    return noErr;
}

// Largest payload one chunk can gather: the chunk is only checked after a
// whole block, so it may run up to one block past the chunk length. 64-bit,
// so that a huge chunk length cannot wrap into a small buffer.
uint64_t ChunkCapacity(const SoundEncoder& e) {
    const uint64_t length = e.chunkLength;
    const uint64_t blocks = e.blockFrames ? (length + e.blockFrames - 1) / e.blockFrames : 0;
    switch (e.format) {
        case kAudioFormatAtrac3:
            return blocks * kAtrac3ScratchBytes;
        case kAudioFormatAdpcm4:
        case kAudioFormatAdpcm2:
            return blocks * AdpcmBlockBytes(BlockAdpcmBits(e.format)) * e.outputChannels;
        case kAudioFormatYamaha:
            return blocks * YamahaAdpcmBytes(e.blockFrames * e.outputChannels);
        default:
            return length * e.inputFrameBytes;
    }
}

OSStatus WriteChunk(SoundEncoder& e, SoundChunkSink sink, void* context) {
    uint8_t* chunk = e.chunk.data();
    uint32_t length = kSoundChunkHeaderBytes + e.chunkBytesUsed;
    if (length & 1u) chunk[length++] = 0;
    chunk[0] = static_cast<uint8_t>(length >> 8);
    chunk[1] = static_cast<uint8_t>(length);
    chunk[2] = 'a';
    chunk[3] = 'u';
    PutBe32(chunk + 4, e.chunkFrames);
    PutBe32(chunk + 8, e.chunkStart);
    PutBe32(chunk + 12, 0);
    const uint32_t frames = e.chunkFrames;
    e.chunkBytesUsed = 0;
    e.chunkFrames = 0;
    e.chunkStart = e.totalFrames;
    return sink(context, std::span<const uint8_t>(chunk, length), frames);
}

// Codes the block in e.block into the chunk. False when the ATRAC3 encoder
// failed, which ends the caller's input.
bool EncodeBlock(SoundEncoder& e) {
    uint8_t* out = e.chunk.data() + kSoundChunkHeaderBytes + e.chunkBytesUsed;
    const uint32_t samples = e.blockFrames * e.inputChannels;
    switch (e.format) {
        case kAudioFormatAtrac3: {
            int16_t* pcm = e.block.data();
            if (!e.downmix.empty()) {
                DownmixStereo(e.block, e.downmix);
                pcm = e.downmix.data();
            }
            const uint32_t count = e.blockFrames * e.outputChannels;
            if (e.gain != 1.0f) {
                for (uint32_t i = 0; i < count; ++i) pcm[i] = ApplySoundGain(pcm[i], e.gain);
            }
            uint8_t* state = e.encoderState.data();
            if (e.atrac3->encode(pcm, e.scratch.data(), state, static_cast<int32_t>(count),
                                 e.outputChannels, e.audioChunkCount) != 0) {
                return false;
            }
            uint32_t produced = 0;
            std::memcpy(&produced, state + kAtrac3ByteCountOffset, sizeof produced);
            if (produced > kAtrac3ScratchBytes) return false;
            std::memcpy(out, e.scratch.data(), produced);
            e.chunkBytesUsed += produced;
            return true;
        }
        case kAudioFormatAdpcm4:
        case kAudioFormatAdpcm2: {
            const int bits = BlockAdpcmBits(e.format);
            const uint32_t blockBytes = AdpcmBlockBytes(bits);
            if (e.inputChannels == 1) {
                AdpcmEncodeBlock(e.block, bits, e.gain, {out, blockBytes});
            } else {
                std::span<int16_t> left(e.halves.data(), kAdpcmBlockFrames);
                std::span<int16_t> right(e.halves.data() + kAdpcmBlockFrames, kAdpcmBlockFrames);
                SplitStereo(e.block, left, right);
                AdpcmEncodeBlock(left, bits, e.gain, {out, blockBytes});
                AdpcmEncodeBlock(right, bits, e.gain, {out + blockBytes, blockBytes});
            }
            e.chunkBytesUsed += blockBytes * e.inputChannels;
            return true;
        }
        default: {  // format 629
            const uint32_t bytes = YamahaAdpcmBytes(samples);
            YamahaAdpcmEncode(std::span<const int16_t>(e.block.data(), samples), e.gain, e.yamaha,
                              {out, bytes});
            e.chunkBytesUsed += bytes;
            return true;
        }
    }
}

// Codes one block of input bytes and books it; `stop` is set when the ATRAC3
// encoder failed.
OSStatus AddBlock(SoundEncoder& e, const uint8_t* input, SoundChunkSink sink, void* context,
                  bool& stop) {
    const uint32_t samples = e.blockFrames * e.inputChannels;
    ReadPcm16({input, samples * 2}, {e.block.data(), samples});
    if (!EncodeBlock(e)) {
        stop = true;
        return noErr;
    }
    e.chunkFrames += e.blockFrames;
    e.totalFrames += e.blockFrames;
    ++e.audioChunkCount;
    if (!e.flushing && e.chunkFrames >= e.chunkLength) return WriteChunk(e, sink, context);
    return noErr;
}

OSStatus AddBlocks(SoundEncoder& e, const uint8_t* frames, uint32_t frameCount, SoundChunkSink sink,
                   void* context) {
    const uint32_t frameBytes = e.inputFrameBytes;
    if (e.pendingFrames + frameCount < e.blockFrames) {
        std::memcpy(e.pending.data() + e.pendingFrames * frameBytes, frames,
                    size_t{frameCount} * frameBytes);
        e.pendingFrames += frameCount;
        return noErr;
    }
    bool stop = false;
    const uint32_t fill = e.blockFrames - e.pendingFrames;
    const uint8_t* input = frames;
    uint32_t left = frameCount;
    if (e.pendingFrames > 0) {
        std::memcpy(e.pending.data() + e.pendingFrames * frameBytes, input,
                    size_t{fill} * frameBytes);
        e.pendingFrames = 0;
        input += size_t{fill} * frameBytes;
        left -= fill;
        const OSStatus status = AddBlock(e, e.pending.data(), sink, context, stop);
        if (status != noErr || stop) return status;
    }
    while (left >= e.blockFrames) {
        const OSStatus status = AddBlock(e, input, sink, context, stop);
        if (status != noErr || stop) return status;
        input += size_t{e.blockFrames} * frameBytes;
        left -= e.blockFrames;
    }
    std::memcpy(e.pending.data(), input, size_t{left} * frameBytes);
    e.pendingFrames = left;
    return noErr;
}

OSStatus AddPcm(SoundEncoder& e, const uint8_t* frames, uint32_t frameCount, SoundChunkSink sink,
                void* context) {
    const uint32_t frameBytes = e.inputFrameBytes;
    while (frameCount > 0) {
        const uint32_t n = std::min(frameCount, e.chunkLength - e.chunkFrames);
        std::memcpy(e.chunk.data() + kSoundChunkHeaderBytes + e.chunkBytesUsed, frames,
                    size_t{n} * frameBytes);
        e.chunkBytesUsed += n * frameBytes;
        e.chunkFrames += n;
        e.totalFrames += n;
        frames += size_t{n} * frameBytes;
        frameCount -= n;
        if (e.chunkFrames == e.chunkLength) {
            ++e.audioChunkCount;
            const OSStatus status = WriteChunk(e, sink, context);
            if (status != noErr) return status;
        }
    }
    return noErr;
}

OSStatus Allocate(SoundEncoder& e, const SoundSettings& s) {
    if (e.format == kAudioFormatAtrac3) {
        const OSStatus status = PrepareAtrac3(e, s);
        if (status != noErr) return status;
    } else {
        e.outputChannels = e.inputChannels;
    }
    if (BlockAdpcmBits(e.format) != 0 && e.inputChannels == 2) {
        e.halves.assign(2 * kAdpcmBlockFrames, 0);
    }
    const uint64_t capacity = ChunkCapacity(e);
    if (capacity + kSoundChunkHeaderBytes + 1 > kMaxChunkBytes) return kStatusParamError;
    e.chunk.assign(kSoundChunkHeaderBytes + capacity + 1, 0);
    if (e.blockFrames > 0) {
        e.block.assign(size_t{e.blockFrames} * e.inputChannels, 0);
        e.pending.assign(size_t{e.blockFrames} * e.inputFrameBytes, 0);
    }
    return noErr;
}

}  // namespace

OSStatus SoundEncoderPrepare(SoundEncoder& e, const SoundSettings& s) {
    if (!IsAudioFormat(s.format)) return kStatusParamError;
    if (s.inputChannels < 1 || s.inputChannels > 2 || s.chunkLength == 0) return kStatusParamError;
    // Format 627 carries 8-bit samples, every other one 16-bit; the copy and
    // the coders rely on that.
    if (s.inputBits != (s.format == kAudioFormatPcm8 ? 8 : 16)) return kStatusParamError;

    e.format = s.format;
    e.inputChannels = s.inputChannels;
    e.inputFrameBytes = s.inputChannels * (s.inputBits / 8u);
    e.chunkLength = s.chunkLength;
    e.gain = s.gain;
    switch (s.format) {
        case kAudioFormatAtrac3:
            e.blockFrames = kAtrac3BlockFrames;
            break;
        case kAudioFormatAdpcm4:
        case kAudioFormatAdpcm2:
            e.blockFrames = kAdpcmBlockFrames;
            break;
        case kAudioFormatYamaha:
            e.blockFrames = kYamahaBlockFrames;
            break;
        default:
            e.blockFrames = 0;
            break;
    }
    try {
        return Allocate(e, s);
    } catch (const std::bad_alloc&) {
        return kStatusOutOfMemory;
    }
}

OSStatus SoundEncoderAdd(SoundEncoder& e, const uint8_t* frames, uint32_t byteCount,
                         uint32_t frameCount, SoundChunkSink sink, void* context) {
    if (frames == nullptr || byteCount == 0 || frameCount == 0 || sink == nullptr ||
        e.inputFrameBytes == 0 || e.chunk.empty()) {
        return kStatusParamError;
    }
    if (uint64_t{frameCount} * e.inputFrameBytes > byteCount) return kStatusParamError;
    if (e.blockFrames == 0) return AddPcm(e, frames, frameCount, sink, context);
    return AddBlocks(e, frames, frameCount, sink, context);
}

OSStatus SoundEncoderFlush(SoundEncoder& e, SoundChunkSink sink, void* context) {
    if (e.chunk.empty() || sink == nullptr) return kStatusParamError;
    e.flushing = true;
    OSStatus status = noErr;
    const bool padded = e.format != kAudioFormatYamaha && e.blockFrames > 0;
    if (padded && e.pendingFrames > 0) {
        // The tail becomes one whole block, the rest of it silence.
        std::fill(e.pending.begin() + e.pendingFrames * e.inputFrameBytes, e.pending.end(),
                  uint8_t{0});
        e.pendingFrames = 0;
        bool stop = false;
        status = AddBlock(e, e.pending.data(), sink, context, stop);
    }
    e.pendingFrames = 0;
    if (status == noErr && e.chunkFrames > 0) {
        if (e.blockFrames == 0) ++e.audioChunkCount;
        status = WriteChunk(e, sink, context);
    }
    e.flushing = false;
    return status;
}

void SoundEncoderRelease(SoundEncoder& e) {
    if (!e.encoderState.empty()) e.atrac3->close(e.encoderState.data());
    const Atrac3EntryPoints* atrac3 = e.atrac3;
    e = SoundEncoder{};
    e.atrac3 = atrac3;
}
