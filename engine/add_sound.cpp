// The writer's sound hooks: settle the sound set-up at start, feed the sound
// encoder and spool the chunks it hands out.
#include "engine/sound_encoder.h"
#include "engine/writer_record.h"
#include "platform/status.h"

namespace {

OSStatus spoolSoundChunk(void* context, std::span<const uint8_t> chunk, uint32_t frames) {
    auto* w = static_cast<MovieWriter*>(context);
    return writerAppendSampleChunk(w, SampleStream::Sound, chunk.data(),
                                   static_cast<uint32_t>(chunk.size()), frames, 0);
}

// The shared counters follow the encoder's after every call, whatever its outcome.
void mirrorCounters(MovieWriter* w) {
    w->totalSampleFrames = w->sound.totalFrames;
    w->audioChunkCount = w->sound.audioChunkCount;
}

}  // namespace

int32_t writerSoundStart(MovieWriter* w) {
    SoundSettings settings;
    settings.format = w->audioFormat;
    settings.inputChannels = w->channels;
    settings.inputBits = w->bitsPerSample;
    settings.chunkLength = w->audioChunkLength;
    settings.gain = w->soundGain;
    settings.bitRate = w->audioBitRate;
    settings.channelMode = w->channelMode;
    const OSStatus status = SoundEncoderPrepare(w->sound, settings);
    if (status != noErr) return status;
    w->outputChannels = w->sound.outputChannels;
    if (w->audioFormat == kAudioFormatAtrac3) {
        w->channelMode = w->sound.channelMode;
        w->audioBitRate = w->sound.bitRate;
    }
    return noErr;
}

int32_t writerAddSound(MovieWriter* w, const void* frames, uint32_t byteCount,
                       uint32_t frameCount) {
    const OSStatus status = SoundEncoderAdd(w->sound, static_cast<const uint8_t*>(frames),
                                            byteCount, frameCount, spoolSoundChunk, w);
    mirrorCounters(w);
    return status;
}

int32_t writerSoundFlush(MovieWriter* w) {
    const OSStatus status = SoundEncoderFlush(w->sound, spoolSoundChunk, w);
    mirrorCounters(w);
    return status;
}

void writerSoundRelease(MovieWriter* w) {
    SoundEncoderRelease(w->sound);
}
