// Sound encoding speed per audio format, in multiples of real time, with the
// plain PCM copy as the baseline measured in the same run.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "engine/movie_writer.h"
#include "engine/sound_encoder.h"

namespace {

struct Case {
    const char* name;
    uint32_t format;
    uint16_t channels;
    uint32_t rate;
};

uint64_t g_bytes = 0;  // keeps the output observable

OSStatus CountChunk(void*, std::span<const uint8_t> chunk, uint32_t) {
    g_bytes += chunk.size();
    return noErr;
}

std::vector<uint8_t> Signal(const Case& c, double seconds) {
    const size_t frames = static_cast<size_t>(seconds * c.rate);
    const size_t bytesPerSample = c.format == kAudioFormatPcm8 ? 1 : 2;
    std::vector<uint8_t> out(frames * c.channels * bytesPerSample);
    uint32_t noise = 1;
    for (size_t i = 0; i < frames * c.channels; ++i) {
        noise = noise * 1664525u + 1013904223u;
        const double t = static_cast<double>(i / c.channels) / c.rate;
        const double v = 9000.0 * std::sin(2.0 * 3.14159265358979 * 440.0 * t) +
                         static_cast<double>((noise >> 16) % 2001) - 1000.0;
        const auto s = static_cast<int16_t>(v);
        if (bytesPerSample == 1) {
            out[i] = static_cast<uint8_t>((s >> 8) + 128);
        } else {
            out[2 * i] = static_cast<uint8_t>(s & 0xFF);
            out[2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8);
        }
    }
    return out;
}

// Seconds of sound encoded per second of time, or a negative number when the
// format could not be prepared.
double RealTimeMultiple(const Case& c, double seconds) {
    SoundSettings s;
    s.format = c.format;
    s.inputChannels = c.channels;
    s.inputBits = c.format == kAudioFormatPcm8 ? 8 : 16;
    s.chunkLength = c.format == kAudioFormatAtrac3 ? 7350 : c.rate / 5;
    s.channelMode = c.channels == 2 ? 18 : 1;
    SoundEncoder e;
    if (SoundEncoderPrepare(e, s) != noErr) {
        SoundEncoderRelease(e);
        return -1.0;
    }
    const auto input = Signal(c, seconds);
    const uint32_t frameBytes = static_cast<uint32_t>(input.size() / (seconds * c.rate));
    // Hand the input over in pieces of a tenth of a second, as the exporter does.
    const uint32_t piece = c.rate / 10;
    const auto start = std::chrono::steady_clock::now();
    for (size_t at = 0; at < input.size(); at += size_t{piece} * frameBytes) {
        const uint32_t frames =
            static_cast<uint32_t>(std::min<size_t>(piece, (input.size() - at) / frameBytes));
        SoundEncoderAdd(e, input.data() + at, frames * frameBytes, frames, CountChunk, nullptr);
    }
    SoundEncoderFlush(e, CountChunk, nullptr);
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    SoundEncoderRelease(e);
    return seconds / elapsed;
}

}  // namespace

int main() {
    const double seconds = 120.0;
    const Case cases[] = {
        {"630 PCM 16-bit stereo 22050 Hz (baseline)", kAudioFormatPcm16, 2, 22050},
        {"627 PCM 8-bit mono 8192 Hz", kAudioFormatPcm8, 1, 8192},
        {"626 ADPCM 4-bit mono 22050 Hz", kAudioFormatAdpcm4, 1, 22050},
        {"626 ADPCM 4-bit stereo 22050 Hz", kAudioFormatAdpcm4, 2, 22050},
        {"628 ADPCM 2-bit stereo 22050 Hz", kAudioFormatAdpcm2, 2, 22050},
        {"629 ADPCM 4-bit mono 8000 Hz", kAudioFormatYamaha, 1, 8000},
        {"624 ATRAC3 stereo 44100 Hz", kAudioFormatAtrac3, 2, 44100},
    };
    const double baseline = RealTimeMultiple(cases[0], seconds);
    std::printf("%-44s %14s %12s\n", "format", "x real time", "vs baseline");
    for (const Case& c : cases) {
        const double multiple = &c == &cases[0] ? baseline : RealTimeMultiple(c, seconds);
        if (multiple < 0) {
            std::printf("%-44s %14s %12s\n", c.name, "not available", "-");
            continue;
        }
        std::printf("%-44s %14.0f %12.3f\n", c.name, multiple, multiple / baseline);
    }
    std::printf("(%llu bytes of chunks)\n", static_cast<unsigned long long>(g_bytes));
    return 0;
}
