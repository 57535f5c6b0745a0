#include "export/tests/support/mpeg_streams.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "platform/tests/support/corpus.h"
#include "resources/resources.h"

// Two loud tones per channel and a little noise: every sub-band carries
// something, and the level keeps 16-bit rounding far below the error bound.
std::string MpegTestSource(int rate, int channels, double seconds) {
    std::ostringstream s;
    s << "-f lavfi -i \"aevalsrc='0.45*sin(2*PI*440*t)+0.3*sin(2*PI*5100*t)+0.02*(random(0)-0.5)";
    if (channels == 2) s << "|0.4*sin(2*PI*660*t)+0.3*sin(2*PI*9300*t)+0.02*(random(1)-0.5)";
    s << "':s=" << rate << ":d=" << seconds << "\"";
    return s.str();
}

std::string Quoted(const std::string& p) {
    return "'" + p + "'";
}

// An MPEG-1 system stream with small video and one Layer II audio stream.
std::string MakeStream(const std::string& name, int rate, int channels, int kbps,
                       const std::string& extra) {
    const std::string path = ScratchPath(name);
    std::ostringstream cmd;
    cmd << "ffmpeg -nostdin -y -v error " << MpegTestSource(rate, channels)
        << " -f lavfi -i testsrc=size=64x48:rate=25:d=1 -c:v mpeg1video -c:a mp2 -b:a " << kbps
        << "k -ac " << channels << " " << extra << " -f mpeg " << Quoted(path);
    EXPECT_EQ(RunCommand(cmd.str()), 0) << cmd.str();
    return path;
}

// The same with audio made by twolame (mode s, j, d or m; CRC on request),
// muxed as it is.
std::string MakeTwolameStream(const std::string& name, int rate, int channels, int kbps, char mode,
                              bool crc) {
    const std::string wav = ScratchPath(name + ".wav"), mp2 = ScratchPath(name + ".mp2");
    const std::string path = ScratchPath(name);
    std::ostringstream a, b, c;
    a << "ffmpeg -nostdin -y -v error " << MpegTestSource(rate, channels) << " -ac " << channels
      << " -c:a pcm_s16le " << Quoted(wav);
    b << "twolame --quiet -b " << kbps << " -m " << mode << (crc ? " -p " : " ") << Quoted(wav)
      << " " << Quoted(mp2);
    c << "ffmpeg -nostdin -y -v error -f lavfi -i testsrc=size=64x48:rate=25:d=1 -i " << Quoted(mp2)
      << " -c:v mpeg1video -c:a copy -f mpeg " << Quoted(path);
    for (const auto& s : {a.str(), b.str(), c.str()}) EXPECT_EQ(RunCommand(s), 0) << s;
    return path;
}

// FFmpeg's decoding of the first audio stream: "mp2float" is its floating
// point implementation of the mp2 decoder, "mp2" the fixed-point one.
std::vector<int16_t> FfmpegDecode(const std::string& path, const char* decoder) {
    std::vector<int16_t> out;
    const std::string cmd = std::string("ffmpeg -nostdin -v error -c:a ") + decoder + " -i " +
                            Quoted(path) + " -map 0:a:0 -f s16le -";
    FILE* p = popen(cmd.c_str(), "r");
    if (p == nullptr) return out;
    int16_t buf[4096];
    size_t n;
    while ((n = fread(buf, 2, 4096, p)) > 0) out.insert(out.end(), buf, buf + n);
    pclose(p);
    return out;
}

const MpegRateTables& TestRateTables() {
    static MpegRateTables t;
    static bool loaded = LoadMpegRateTables(moviepackerResources(), &t) == noErr;
    EXPECT_TRUE(loaded);
    return t;
}

MpegDemuxer MemoryDemuxer(const std::vector<uint8_t>& file) {
    return MpegDemuxer(
        [&file](int64_t at, std::span<uint8_t> d) {
            if (at < 0 || uint64_t(at) + d.size() > file.size()) return kStatusEndOfData;
            std::memcpy(d.data(), file.data() + at, d.size());
            return noErr;
        },
        int64_t(file.size()), TestRateTables());
}

Decoded OurDecode(const std::vector<uint8_t>& file) {
    Decoded r;
    MpegDemuxer demux = MemoryDemuxer(file);
    MpegFrameHeader first;
    r.end = demux.findAudioStream(&first);
    if (r.end != noErr) return r;
    std::unique_ptr<MpegAudioDecoder> dec;
    EXPECT_EQ(MpegAudioDecoder::create(moviepackerResources(), &dec), noErr);
    if (!dec) return r;
    r.channels = first.channels;
    r.rate = int(first.sampleRate);
    r.layer = first.layer;
    std::vector<int16_t> pcm(kMpegMaxSamplesPerFrame * 2);
    std::span<const uint8_t> frame;
    MpegFrameHeader h;
    while ((r.end = demux.nextFrame(&frame, &h)) == noErr) {
        int n = 0;
        if (dec->decodeFrame(frame, h, pcm.data(), &n) != noErr) continue;
        r.pcm.insert(r.pcm.end(), pcm.begin(), pcm.begin() + n * h.channels);
        ++r.frames;
    }
    r.droppedPackets = demux.droppedPackets();
    return r;
}

double Snr(const std::vector<int16_t>& ref, const std::vector<int16_t>& ours, long offset,
           size_t count) {
    double signal = 0, noise = 0;
    for (size_t i = 0; i < std::min(count, ref.size()); ++i) {
        const long j = long(i) + offset;
        const double o = j >= 0 && size_t(j) < ours.size() ? ours[size_t(j)] : 0;
        signal += double(ref[i]) * ref[i];
        noise += (o - ref[i]) * (o - ref[i]);
    }
    return noise == 0 ? 200 : 10 * std::log10(signal / noise);
}

// The offset (in sample frames) at which ours lines up best.
long BestOffset(const std::vector<int16_t>& ref, const std::vector<int16_t>& ours, int channels) {
    long best = 0;
    double bestSnr = -1e9;
    for (long f = -1152; f <= 1152; f += 1) {
        const double s = Snr(ref, ours, f * channels, 4096);
        if (s > bestSnr) {
            bestSnr = s;
            best = f;
        }
    }
    return best;
}

std::vector<uint8_t> MuxAudio(const std::vector<uint8_t>& audio, int streamID, size_t packetBytes,
                              bool systemHeader) {
    // SCR 0 and mux rate 1 with their marker bits.
    std::vector<uint8_t> out = {0, 0, 1, 0xBA, 0x21, 0x00, 0x01, 0x00, 0x01, 0x80, 0x00, 0x01};
    if (systemHeader) {
        const uint8_t h[] = {
            0, 0, 1, 0xBB, 0, 9, 0x80, 0x00, 0x01, 0x04, 0xE1, 0xFF, uint8_t(streamID), 0xC0, 0x20};
        out.insert(out.end(), std::begin(h), std::end(h));
    }
    for (size_t at = 0; at < audio.size(); at += packetBytes) {
        const size_t n = std::min(packetBytes, audio.size() - at);
        const size_t len = n + 1;  // the "no time stamps" byte
        const uint8_t h[] = {0, 0, 1, uint8_t(streamID), uint8_t(len >> 8), uint8_t(len), 0x0F};
        out.insert(out.end(), std::begin(h), std::end(h));
        out.insert(out.end(), audio.begin() + long(at), audio.begin() + long(at + n));
    }
    const uint8_t end[] = {0, 0, 1, 0xB9};
    out.insert(out.end(), std::begin(end), std::end(end));
    return out;
}

std::vector<uint8_t> MakeRawMp2(const std::string& name, int rate, int channels, int kbps) {
    const std::string path = ScratchPath(name);
    std::ostringstream cmd;
    cmd << "ffmpeg -nostdin -y -v error " << MpegTestSource(rate, channels) << " -c:a mp2 -b:a "
        << kbps << "k -ac " << channels << " -f mp2 " << Quoted(path);
    EXPECT_EQ(RunCommand(cmd.str()), 0) << cmd.str();
    return ReadWholeFile(path);
}
