// MPEG audio decoding speed: 60 s of 48 kHz stereo Layer II at 192 kbit/s in
// an MPEG-1 system stream, demultiplexed and decoded by our reader, beside
// FFmpeg's mp2 decoders (fixed and floating point) reading the same file in
// the same run, in this process. One thread; prints processor seconds and
// real-time ratios.
#include <stdlib.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "export/mpeg_audio.h"
#include "resources/resources.h"

namespace {

constexpr double kSeconds = 60;

// Processor time of this process: on a shared machine the wall clock also
// counts other programs' turns.
double cpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Decoded sample frames, or -1.
long ours(const std::vector<uint8_t>& file, const MpegRateTables& tables,
          MpegAudioDecoder& decoder) {
    MpegDemuxer demux(
        [&file](int64_t at, std::span<uint8_t> d) {
            if (at < 0 || uint64_t(at) + d.size() > file.size()) return kStatusEndOfData;
            std::memcpy(d.data(), file.data() + at, d.size());
            return noErr;
        },
        int64_t(file.size()), tables);
    MpegFrameHeader h;
    if (demux.findAudioStream(&h) != noErr) return -1;
    std::vector<int16_t> pcm(kMpegMaxSamplesPerFrame * 2);
    std::span<const uint8_t> frame;
    long total = 0;
    while (demux.nextFrame(&frame, &h) == noErr) {
        int n = 0;
        if (decoder.decodeFrame(frame, h, pcm.data(), &n) == noErr) total += n;
    }
    return total;
}

// FFmpeg reading and decoding the first audio stream with the named decoder.
long ffmpeg(const std::string& path, const char* name) {
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) return -1;
    avformat_find_stream_info(fmt, nullptr);
    const int index = av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    const AVCodec* codec = avcodec_find_decoder_by_name(name);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(ctx, fmt->streams[index]->codecpar);
    ctx->thread_count = 1;
    avcodec_open2(ctx, codec, nullptr);
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    long total = 0;
    while (av_read_frame(fmt, pkt) >= 0) {
        if (pkt->stream_index == index && avcodec_send_packet(ctx, pkt) >= 0)
            while (avcodec_receive_frame(ctx, frame) >= 0) total += frame->nb_samples;
        av_packet_unref(pkt);
    }
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&ctx);
    avformat_close_input(&fmt);
    return total;
}

}  // namespace

int main() {
    const auto dir =
        std::filesystem::temp_directory_path() / ("mpeg-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "bench.mpg").string();
    const std::string cmd =
        "ffmpeg -nostdin -v error -y -f lavfi -i \"aevalsrc='0.4*sin(2*PI*440*t)+0.2*sin(2*PI*"
        "3000*t)+0.05*(random(0)-0.5)|0.4*sin(2*PI*660*t)+0.05*(random(1)-0.5)':s=48000:d=60\" "
        "-f lavfi -i testsrc=size=160x120:rate=25:d=60 -c:v mpeg1video -c:a mp2 -b:a 192k "
        "-f mpeg '" +
        path + "'";
    if (std::system(cmd.c_str()) != 0) return 1;
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    MpegRateTables tables;
    std::unique_ptr<MpegAudioDecoder> decoder;
    if (LoadMpegRateTables(moviepackerResources(), &tables) != noErr ||
        MpegAudioDecoder::create(moviepackerResources(), &decoder) != noErr)
        return 1;

    constexpr int kRuns = 3;
    double best[3] = {1e9, 1e9, 1e9};
    long frames[3] = {};
    for (int r = 0; r < kRuns; ++r) {
        double t = cpuSeconds();
        frames[0] = ours(file, tables, *decoder);
        best[0] = std::min(best[0], cpuSeconds() - t);
        t = cpuSeconds();
        frames[1] = ffmpeg(path, "mp2");
        best[1] = std::min(best[1], cpuSeconds() - t);
        t = cpuSeconds();
        frames[2] = ffmpeg(path, "mp2float");
        best[2] = std::min(best[2], cpuSeconds() - t);
    }
    const char* names[3] = {"ours (demux + decode)", "FFmpeg mp2", "FFmpeg mp2float"};
    std::printf("60 s of 48 kHz stereo Layer II, 192 kbit/s, processor time, best of %d runs:\n",
                kRuns);
    for (int i = 0; i < 3; ++i)
        std::printf("  %-22s %8.3f s  %7.0fx real time  %ld sample frames\n", names[i], best[i],
                    kSeconds / best[i], frames[i]);
    std::printf("ours / FFmpeg mp2: %.2fx the speed; ours / mp2float: %.2fx\n", best[1] / best[0],
                best[2] / best[0]);
    std::filesystem::remove_all(dir);
    return 0;
}
