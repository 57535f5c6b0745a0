#pragma once
// MPEG-1 system streams made at test time (by FFmpeg, or with twolame's
// audio), FFmpeg's decoding of them and ours, and how to compare the two.
#include <cstdint>
#include <string>
#include <vector>

#include "export/mpeg_audio.h"

// Two loud tones per channel and a little noise, as ffmpeg input options.
std::string MpegTestSource(int rate, int channels, double seconds = 1.0);
std::string Quoted(const std::string& path);

// A system stream with small MPEG-1 video and one Layer II audio stream made
// by FFmpeg, in the scratch folder under `name`.
std::string MakeStream(const std::string& name, int rate, int channels, int kbps,
                       const std::string& extra = "");
// The same with audio made by twolame (mode s, j, d or m; CRC on request).
std::string MakeTwolameStream(const std::string& name, int rate, int channels, int kbps, char mode,
                              bool crc);

// FFmpeg's decoding of the first audio stream: "mp2float" is its floating
// point implementation of the mp2 decoder, "mp2" the fixed-point one.
std::vector<int16_t> FfmpegDecode(const std::string& path, const char* decoder = "mp2float");

const MpegRateTables& TestRateTables();

// A demultiplexer over bytes in memory (kept alive by the caller).
MpegDemuxer MemoryDemuxer(const std::vector<uint8_t>& file);

struct Decoded {
    std::vector<int16_t> pcm;
    int channels = 0, rate = 0, frames = 0, layer = 0, droppedPackets = 0;
    OSStatus end = noErr;  // what ended the walk
};
// Our decoding of a whole file: the chosen stream, every frame.
Decoded OurDecode(const std::vector<uint8_t>& file);

// SNR in dB of ours against ref over ref's first `count` values, ours moved
// by `offset` values.
double Snr(const std::vector<int16_t>& ref, const std::vector<int16_t>& ours, long offset = 0,
           size_t count = SIZE_MAX);
// The offset in sample frames (within one frame either way) at which ours
// lines up best with ref, judged on the start.
long BestOffset(const std::vector<int16_t>& ref, const std::vector<int16_t>& ours, int channels);

// A minimal MPEG-1 system stream around one audio stream's bytes: one pack
// with (or without) a system header, then packets of up to packetBytes of
// payload for streamID.
std::vector<uint8_t> MuxAudio(const std::vector<uint8_t>& audio, int streamID = 0xC0,
                              size_t packetBytes = 2000, bool systemHeader = true);
// Raw MPEG audio frames made by FFmpeg's encoder.
std::vector<uint8_t> MakeRawMp2(const std::string& name, int rate, int channels, int kbps);
