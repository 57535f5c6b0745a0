// The bridge's per-frame cost: 320 x 240 DivX frames decoded through the
// component decoder (begin band, draw band, end band into 24BG and into
// 32-bit destinations) beside FFmpeg's own decode of the same packets on one
// thread, in the same run. Prints the ratios of the thread's CPU time (what
// the work costs, steady on a shared machine) and of wall time. Both sides
// are timed from the second frame on: the first one opens the decoder (the
// bridge's begin band does it lazily, FFmpeg's is opened beforehand), and
// the figure is the cost of a frame.
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "export/codec_bridge.h"
#include "platform/codec_component.h"
#include "platform/movies.h"

namespace {

using Clock = std::chrono::steady_clock;
// Rounds alternate between the three decodes, so other work on a shared
// machine weighs on all of them alike.
constexpr int kRounds = 21;

// CPU seconds of this thread, and wall seconds.
struct Cost {
    double cpu = 1e9, wall = 1e9;
    void KeepBest(const Cost& c) {
        cpu = std::min(cpu, c.cpu);
        wall = std::min(wall, c.wall);
    }
};

double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

struct Stopwatch {
    double cpu0 = threadSeconds();
    Clock::time_point wall0 = Clock::now();
    Cost Read() const {
        return {threadSeconds() - cpu0, std::chrono::duration<double>(Clock::now() - wall0).count()};
    }
};

struct Packet {
    std::vector<uint8_t> data;
    bool key;
};

Cost ffmpegDecode(const std::vector<Packet>& packets, const AVCodecParameters* par) {
    const AVCodec* c = avcodec_find_decoder(par->codec_id);
    AVCodecContext* ctx = avcodec_alloc_context3(c);
    avcodec_parameters_to_context(ctx, par);
    ctx->thread_count = 1;
    avcodec_open2(ctx, c, nullptr);
    AVPacket* p = av_packet_alloc();
    AVFrame* f = av_frame_alloc();
    auto decode = [&](const Packet& k) {
        av_new_packet(p, int(k.data.size()));
        std::copy(k.data.begin(), k.data.end(), p->data);
        if (k.key) p->flags |= AV_PKT_FLAG_KEY;
        avcodec_send_packet(ctx, p);
        while (avcodec_receive_frame(ctx, f) == 0) av_frame_unref(f);
        av_packet_unref(p);
    };
    decode(packets.front());
    const Stopwatch t;
    for (size_t i = 1; i < packets.size(); ++i) decode(packets[i]);
    const Cost s = t.Read();
    av_frame_free(&f);
    av_packet_free(&p);
    avcodec_free_context(&ctx);
    return s;
}

Cost bridgeDecode(const std::vector<Packet>& packets, const SampleDescription& d, OSType dest) {
    std::unique_ptr<ComponentFrameDecoder> dec;
    if (ComponentFrameDecoder::Open(d, dest, &dec) != noErr) std::exit(1);
    auto decode = [&](const Packet& k) {
        if (dec->Decode(k.data.data(), int32_t(k.data.size()), k.key, false) != noErr) std::exit(1);
    };
    decode(packets.front());
    const Stopwatch t;
    for (size_t i = 1; i < packets.size(); ++i) decode(packets[i]);
    return t.Read();
}

}  // namespace

int main() {
    char dirTemplate[] = "/tmp/bench_bridge_XXXXXX";
    const char* dir = mkdtemp(dirTemplate);
    if (dir == nullptr) return 1;
    const std::string path = std::string(dir) + "/divx.avi";
    const std::string cmd = "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=320x240:"
                            "rate=25:duration=20 -c:v mpeg4 -vtag DIVX -q:v 3 '" + path + "'";
    if (std::system(cmd.c_str()) != 0) return 1;

    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) return 1;
    avformat_find_stream_info(fmt, nullptr);
    std::vector<Packet> packets;
    AVPacket* p = av_packet_alloc();
    while (av_read_frame(fmt, p) >= 0) {
        packets.push_back({{p->data, p->data + p->size}, (p->flags & AV_PKT_FLAG_KEY) != 0});
        av_packet_unref(p);
    }
    av_packet_free(&p);
    Movie m = nullptr;
    SampleDescription d;
    if (NewMovieFromFile(path, &m) != noErr) return 1;
    GetMediaSampleDescription(GetMovieIndTrackType(m, 1, kVideoMediaType, kMovieTrackMediaType), 1,
                              &d);
    DisposeMovie(m);
    RegisterCodecBridge(d.dataFormat, nullptr);

    Cost ff, b24, b32;
    // Each round's bridge time over the same round's FFmpeg time: rounds
    // slowed by other work cancel out, and the median of them is reported
    // beside the ratio of the best times.
    std::vector<double> r24, r32;
    for (int round = 0; round < kRounds; ++round) {
        const Cost f = ffmpegDecode(packets, fmt->streams[0]->codecpar);
        const Cost c24 = bridgeDecode(packets, d, k24BGPixelFormat);
        const Cost c32 = bridgeDecode(packets, d, k32RGBPixelFormat);
        ff.KeepBest(f);
        b24.KeepBest(c24);
        b32.KeepBest(c32);
        r24.push_back(c24.cpu / f.cpu);
        r32.push_back(c32.cpu / f.cpu);
    }
    avformat_close_input(&fmt);
    std::filesystem::remove_all(dir);
    const double n = double(packets.size() - 1);
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf("%zu frames of 320x240 DivX, %d rounds (CPU time of the thread; wall)\n",
                packets.size(), kRounds);
    std::printf("ffmpeg decode        %8.1f us/frame (best)                       (wall %8.1f)\n",
                ff.cpu / n * 1e6, ff.wall / n * 1e6);
    for (const auto& [name, c, r] : {std::tuple{"bridge to 24BG   ", b24, &r24},
                                     std::tuple{"bridge to 32-bit ", b32, &r32}})
        std::printf("%s    %8.1f us/frame  ratio %.2f  median %.2f  (wall %8.1f  ratio %.2f)\n", name,
                    c.cpu / n * 1e6, c.cpu / ff.cpu, median(*r), c.wall / n * 1e6, c.wall / ff.wall);
    return 0;
}
