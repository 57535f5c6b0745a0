// Feeds arbitrary bytes to the "au" chunk parser and the sound decoders.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/movie_writer.h"
#include "engine/sound_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static constexpr uint32_t kFormats[] = {kAudioFormatAtrac3, kAudioFormatAdpcm4,
                                            kAudioFormatPcm8,   kAudioFormatAdpcm2,
                                            kAudioFormatYamaha, kAudioFormatPcm16};
    SoundDecoder decoder;
    decoder.format = kFormats[data[0] % 6];
    decoder.channels = static_cast<uint16_t>(1 + (data[0] >> 7));
    SoundChunkView view;
    if (ParseSoundChunk({data + 1, size - 1}, view) != noErr) return 0;
    // Keep the output bounded; a real chunk never holds more than this.
    if (view.frames > 65536) return 0;
    std::vector<int16_t> out(size_t{view.frames} * decoder.channels);
    SoundDecodeChunk(decoder, view.body, view.frames, out);
    return 0;
}
