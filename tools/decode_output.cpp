#include "tools/decode_output.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace decode {
namespace {

std::string lowerExtension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

std::string avError(int err) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, text, sizeof text);
    return text;
}

// ---- PNG frames and a WAV file -------------------------------------------------

class FolderOutput final : public Output {
public:
    bool open(const std::string& dir, const OutputFormat& f) {
        format_ = f;
        dir_ = dir;
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        if (ec) {
            error_ = "cannot create folder " + dir + ": " + ec.message();
            return false;
        }
        if (f.width) {
            const AVCodec* png = avcodec_find_encoder(AV_CODEC_ID_PNG);
            png_ = avcodec_alloc_context3(png);
            png_->width = f.width;
            png_->height = f.height;
            png_->pix_fmt = AV_PIX_FMT_RGB24;
            png_->time_base = {1, 100};
            if (avcodec_open2(png_, png, nullptr) < 0) {
                error_ = "cannot open the PNG encoder";
                return false;
            }
            frame_ = av_frame_alloc();
            packet_ = av_packet_alloc();
        }
        return true;
    }
    ~FolderOutput() override {
        avcodec_free_context(&png_);
        av_frame_free(&frame_);
        av_packet_free(&packet_);
    }
    bool addFrame(const uint8_t* rgb, uint32_t time) override {
        frame_->format = AV_PIX_FMT_RGB24;
        frame_->width = format_.width;
        frame_->height = format_.height;
        frame_->data[0] = const_cast<uint8_t*>(rgb);
        frame_->linesize[0] = format_.width * 3;
        frame_->pts = time;
        int err = avcodec_send_frame(png_, frame_);
        if (err >= 0) err = avcodec_receive_packet(png_, packet_);
        if (err < 0) {
            error_ = "PNG encoding failed: " + avError(err);
            return false;
        }
        char name[32];
        std::snprintf(name, sizeof name, "frame_%05zu.png", times_.size() + 1);
        std::ofstream out(std::filesystem::path(dir_) / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(packet_->data), packet_->size);
        av_packet_unref(packet_);
        times_.push_back(time);
        if (!out) {
            error_ = std::string("cannot write ") + name;
            return false;
        }
        return true;
    }
    bool addSound(const int16_t* s, uint32_t frames) override {
        sound_.insert(sound_.end(), s, s + size_t(frames) * format_.channels);
        return true;
    }
    bool finish(uint32_t end) override {
        if (format_.width) {
            std::ofstream list(std::filesystem::path(dir_) / "frames.txt");
            list << "# frame  shown-from-seconds  duration-seconds\n";
            for (size_t i = 0; i < times_.size(); ++i) {
                const uint32_t next = i + 1 < times_.size() ? times_[i + 1] : std::max(end, times_[i]);
                char line[80];
                std::snprintf(line, sizeof line, "frame_%05zu.png %.2f %.2f\n", i + 1, times_[i] / 100.0,
                              (next - times_[i]) / 100.0);
                list << line;
            }
            if (!list) {
                error_ = "cannot write frames.txt";
                return false;
            }
        }
        if (format_.sampleRate) return writeWav();
        return true;
    }

private:
    bool writeWav() {
        std::vector<uint8_t> h;
        auto le32 = [&](uint32_t v) {
            for (int i = 0; i < 4; ++i) h.push_back(uint8_t(v >> (8 * i)));
        };
        auto le16 = [&](uint32_t v) {
            h.push_back(uint8_t(v));
            h.push_back(uint8_t(v >> 8));
        };
        const uint32_t dataBytes = uint32_t(sound_.size() * 2);
        h.insert(h.end(), {'R', 'I', 'F', 'F'});
        le32(36 + dataBytes);
        h.insert(h.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
        le32(16);
        le16(1);
        le16(format_.channels);
        le32(format_.sampleRate);
        le32(format_.sampleRate * format_.channels * 2);
        le16(format_.channels * 2);
        le16(16);
        h.insert(h.end(), {'d', 'a', 't', 'a'});
        le32(dataBytes);
        for (int16_t s : sound_) le16(uint16_t(s));
        std::ofstream out(std::filesystem::path(dir_) / "sound.wav", std::ios::binary);
        out.write(reinterpret_cast<const char*>(h.data()), h.size());
        if (!out) {
            error_ = "cannot write sound.wav";
            return false;
        }
        return true;
    }

    OutputFormat format_;
    std::string dir_;
    AVCodecContext* png_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    std::vector<uint32_t> times_;
    std::vector<int16_t> sound_;
};

// ---- A movie file through FFmpeg's muxers -----------------------------------

class MovieOutput final : public Output {
public:
    ~MovieOutput() override {
        avcodec_free_context(&video_);
        avcodec_free_context(&audio_);
        av_frame_free(&frame_);
        av_frame_free(&audioFrame_);
        av_packet_free(&packet_);
        sws_freeContext(sws_);
        swr_free(&swr_);
        if (fifo_) av_audio_fifo_free(fifo_);
        if (fmt_) {
            if (fmt_->pb && !(fmt_->oformat->flags & AVFMT_NOFILE)) avio_closep(&fmt_->pb);
            avformat_free_context(fmt_);
        }
        if (!finished_ && !path_.empty()) std::remove(path_.c_str());  // no partial files
    }

    bool open(const std::string& path, const OutputFormat& f) {
        format_ = f;
        path_ = path;
        const std::string ext = lowerExtension(path);
        const bool h264 = ext == ".mp4" || ext == ".mov";
        const bool webm = ext == ".webm";
        av_log_set_level(AV_LOG_QUIET);  // failures are reported as messages; no encoder statistics
        int err = avformat_alloc_output_context2(&fmt_, nullptr, nullptr, path.c_str());
        if (err < 0 || !fmt_) return fail("no muxer for " + path);
        packet_ = av_packet_alloc();
        if (f.width) {
            const AVCodec* codec =
                avcodec_find_encoder_by_name(webm ? "libvpx-vp9" : h264 ? "libx264" : "ffv1");
            if (!codec && !webm)
                codec = avcodec_find_encoder(h264 ? AV_CODEC_ID_MPEG4 : AV_CODEC_ID_FFV1);
            if (!codec) return fail("no video encoder");
            videoStream_ = avformat_new_stream(fmt_, nullptr);
            video_ = avcodec_alloc_context3(codec);
            video_->width = f.width;
            video_->height = f.height;
            video_->time_base = {1, 100};
            video_->framerate = {100, 1};
            video_->pix_fmt = pickPixelFormat(codec);
            video_->gop_size = 100;
            if (fmt_->oformat->flags & AVFMT_GLOBALHEADER) video_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
            AVDictionary* opts = nullptr;
            if (std::strcmp(codec->name, "libx264") == 0) av_dict_set(&opts, "crf", "12", 0);
            if (webm) {
                av_dict_set(&opts, "crf", "15", 0);
                av_dict_set(&opts, "deadline", "realtime", 0);
                av_dict_set(&opts, "cpu-used", "8", 0);
                video_->bit_rate = 0;
            }
            if (codec->id == AV_CODEC_ID_MPEG4) {
                video_->flags |= AV_CODEC_FLAG_QSCALE;
                video_->global_quality = FF_QP2LAMBDA * 2;
            }
            err = avcodec_open2(video_, codec, &opts);
            av_dict_free(&opts);
            if (err < 0) return fail("cannot open the video encoder: " + avError(err));
            avcodec_parameters_from_context(videoStream_->codecpar, video_);
            videoStream_->time_base = video_->time_base;
            sws_ = sws_getContext(f.width, f.height, AV_PIX_FMT_RGB24, f.width, f.height, video_->pix_fmt,
                                  SWS_POINT, nullptr, nullptr, nullptr);
            frame_ = av_frame_alloc();
            frame_->format = video_->pix_fmt;
            frame_->width = f.width;
            frame_->height = f.height;
            if (!sws_ || av_frame_get_buffer(frame_, 0) < 0) return fail("cannot set up the video frames");
        }
        if (f.sampleRate) {
            const AVCodec* codec =
                webm ? avcodec_find_encoder_by_name("libopus")
                     : avcodec_find_encoder(ext == ".mp4" ? AV_CODEC_ID_AAC : AV_CODEC_ID_PCM_S16LE);
            if (!codec) return fail("no sound encoder");
            audioStream_ = avformat_new_stream(fmt_, nullptr);
            audio_ = avcodec_alloc_context3(codec);
            av_channel_layout_default(&audio_->ch_layout, f.channels);
            // The handheld's rates (8192 Hz, 4096 Hz) are not all rates every
            // encoder takes: the sound is resampled to the nearest one above.
            outRate_ = pickSampleRate(codec, f.sampleRate);
            audio_->sample_rate = outRate_;
            audio_->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
            audio_->time_base = {1, outRate_};
            if (codec->id == AV_CODEC_ID_AAC || codec->id == AV_CODEC_ID_OPUS) audio_->bit_rate = 192000;
            if (fmt_->oformat->flags & AVFMT_GLOBALHEADER) audio_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
            err = avcodec_open2(audio_, codec, nullptr);
            if (err < 0) return fail("cannot open the sound encoder: " + avError(err));
            avcodec_parameters_from_context(audioStream_->codecpar, audio_);
            audioStream_->time_base = audio_->time_base;
            AVChannelLayout in;
            av_channel_layout_default(&in, f.channels);
            err = swr_alloc_set_opts2(&swr_, &audio_->ch_layout, audio_->sample_fmt, outRate_, &in,
                                      AV_SAMPLE_FMT_S16, f.sampleRate, 0, nullptr);
            if (err < 0 || swr_init(swr_) < 0) return fail("cannot set up the sound conversion");
            fifo_ = av_audio_fifo_alloc(audio_->sample_fmt, f.channels, 4096);
            audioFrame_ = av_frame_alloc();
            chunk_ = audio_->frame_size ? audio_->frame_size : 1024;
        }
        if (!(fmt_->oformat->flags & AVFMT_NOFILE)) {
            err = avio_open(&fmt_->pb, path.c_str(), AVIO_FLAG_WRITE);
            if (err < 0) return fail("cannot create " + path + ": " + avError(err));
        }
        if (!addMetadata(f)) return fail("out of memory");
        err = avformat_write_header(fmt_, nullptr);
        if (err < 0) return fail("cannot write the movie header: " + avError(err));
        return true;
    }

    bool addMetadata(const OutputFormat& f) {
        const std::pair<const char*, const std::string*> texts[] = {
            {"title", &f.title}, {"comment", &f.information}, {"copyright", &f.rights}};
        for (const auto& [key, text] : texts)
            if (!text->empty() && av_dict_set(&fmt_->metadata, key, text->c_str(), 0) < 0)
                return false;
        for (size_t i = 0; i < f.chapters.size(); ++i) {
            auto** grown = static_cast<AVChapter**>(
                av_realloc_array(fmt_->chapters, fmt_->nb_chapters + 1, sizeof(AVChapter*)));
            if (!grown) return false;
            fmt_->chapters = grown;
            auto* ch = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
            if (!ch) return false;
            fmt_->chapters[fmt_->nb_chapters++] = ch;  // freed with the context
            ch->id = int64_t(i + 1);
            ch->time_base = {1, 100};
            ch->start = f.chapters[i].first;
            const uint32_t end =
                i + 1 < f.chapters.size() ? f.chapters[i + 1].first : f.durationHundredths;
            ch->end = std::max<int64_t>(ch->start, end);
            if (av_dict_set(&ch->metadata, "title", f.chapters[i].second.c_str(), 0) < 0)
                return false;
        }
        return true;
    }

    bool addFrame(const uint8_t* rgb, uint32_t time) override {
        if (haveLast_ && time <= lastTime_) time = lastTime_ + 1;  // muxers need rising times
        if (haveLast_) durations_[lastTime_] = time - lastTime_;
        if (av_frame_make_writable(frame_) < 0) return fail("out of memory");
        const uint8_t* src[1] = {rgb};
        const int stride[1] = {format_.width * 3};
        sws_scale(sws_, src, stride, 0, format_.height, frame_->data, frame_->linesize);
        frame_->pts = time;
        lastTime_ = time;
        haveLast_ = true;
        return encode(video_, videoStream_, frame_);
    }

    bool addSound(const int16_t* s, uint32_t frames) override {
        const uint8_t* in[1] = {reinterpret_cast<const uint8_t*>(s)};
        return convertSound(in, int(frames)) && drainFifo(false);
    }

    // Resamples and queues; null input drains the resampler.
    bool convertSound(const uint8_t** in, int frames) {
        const int room = int(swr_get_out_samples(swr_, frames)) + 16;
        AVFrame* tmp = av_frame_alloc();
        tmp->format = audio_->sample_fmt;
        tmp->nb_samples = room;
        av_channel_layout_copy(&tmp->ch_layout, &audio_->ch_layout);
        tmp->sample_rate = outRate_;
        int made = -1;
        bool ok = av_frame_get_buffer(tmp, 0) >= 0 &&
                  (made = swr_convert(swr_, tmp->data, room, in, frames)) >= 0 &&
                  av_audio_fifo_write(fifo_, reinterpret_cast<void**>(tmp->data), made) == made;
        av_frame_free(&tmp);
        if (!ok) return fail("sound conversion failed");
        return true;
    }

    bool finish(uint32_t end) override {
        // The last picture lasts until the stream's end; without a duration
        // some muxers' edit lists would leave it out.
        if (video_ && haveLast_) durations_[lastTime_] = end > lastTime_ ? end - lastTime_ : 1;
        if (audio_ && (!convertSound(nullptr, 0) || !drainFifo(true))) return false;
        if (video_ && !encode(video_, videoStream_, nullptr)) return false;
        if (audio_ && !encode(audio_, audioStream_, nullptr)) return false;
        const int err = av_write_trailer(fmt_);
        if (err < 0) return fail("cannot finish the movie: " + avError(err));
        finished_ = true;
        return true;
    }

private:
    bool fail(const std::string& text) {
        error_ = text;
        return false;
    }

    static int pickSampleRate(const AVCodec* codec, int rate) {
        if (!codec->supported_samplerates) return rate;
        int best = 0, highest = 0;
        for (const int* r = codec->supported_samplerates; *r; ++r) {
            if (*r == rate) return rate;
            highest = std::max(highest, *r);
            if (*r > rate && (best == 0 || *r < best)) best = *r;
        }
        return best ? best : highest;
    }

    static AVPixelFormat pickPixelFormat(const AVCodec* codec) {
        static constexpr AVPixelFormat kWanted[] = {AV_PIX_FMT_BGR0, AV_PIX_FMT_GBRP, AV_PIX_FMT_YUV420P,
                                                    AV_PIX_FMT_YUV444P};
        if (!codec->pix_fmts) return AV_PIX_FMT_YUV420P;
        const bool h264 = std::strcmp(codec->name, "libx264") == 0;
        for (AVPixelFormat want : kWanted) {
            if (h264 && want != AV_PIX_FMT_YUV420P) continue;  // the most playable profile
            for (const AVPixelFormat* p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p)
                if (*p == want) return want;
        }
        return codec->pix_fmts[0];
    }

    bool drainFifo(bool all) {
        while (av_audio_fifo_size(fifo_) >= chunk_ || (all && av_audio_fifo_size(fifo_) > 0)) {
            const int n = std::min(chunk_, av_audio_fifo_size(fifo_));
            av_frame_unref(audioFrame_);
            audioFrame_->nb_samples = n;
            audioFrame_->format = audio_->sample_fmt;
            av_channel_layout_copy(&audioFrame_->ch_layout, &audio_->ch_layout);
            audioFrame_->sample_rate = outRate_;
            if (av_frame_get_buffer(audioFrame_, 0) < 0) return fail("out of memory");
            av_audio_fifo_read(fifo_, reinterpret_cast<void**>(audioFrame_->data), n);
            audioFrame_->pts = samplesOut_;
            samplesOut_ += n;
            if (!encode(audio_, audioStream_, audioFrame_)) return false;
        }
        return true;
    }

    bool encode(AVCodecContext* c, AVStream* st, AVFrame* f) {
        int err = avcodec_send_frame(c, f);
        if (err < 0 && err != AVERROR_EOF) return fail("encoding failed: " + avError(err));
        while ((err = avcodec_receive_packet(c, packet_)) >= 0) {
            if (c == video_) {
                const auto d = durations_.find(packet_->pts);
                if (d != durations_.end()) {
                    packet_->duration = d->second;
                    durations_.erase(d);
                }
            }
            av_packet_rescale_ts(packet_, c->time_base, st->time_base);
            packet_->stream_index = st->index;
            err = av_interleaved_write_frame(fmt_, packet_);
            if (err < 0) return fail("cannot write the movie: " + avError(err));
        }
        return err == AVERROR(EAGAIN) || err == AVERROR_EOF ? true : fail("encoding failed: " + avError(err));
    }

    OutputFormat format_;
    std::string path_;
    AVFormatContext* fmt_ = nullptr;
    AVCodecContext *video_ = nullptr, *audio_ = nullptr;
    AVStream *videoStream_ = nullptr, *audioStream_ = nullptr;
    AVFrame *frame_ = nullptr, *audioFrame_ = nullptr;
    AVPacket* packet_ = nullptr;
    SwsContext* sws_ = nullptr;
    SwrContext* swr_ = nullptr;
    AVAudioFifo* fifo_ = nullptr;
    int chunk_ = 1024;
    int outRate_ = 0;
    std::map<int64_t, int64_t> durations_;  // frame time -> how long it shows
    int64_t samplesOut_ = 0;
    uint32_t lastTime_ = 0;
    bool haveLast_ = false;
    bool finished_ = false;
};

}  // namespace

bool isMovieFile(const std::string& path) {
    const std::string ext = lowerExtension(path);
    return ext == ".mkv" || ext == ".mp4" || ext == ".avi" || ext == ".mov" || ext == ".webm";
}

bool isFolderOutput(const std::string& path) {
    if (path.empty()) return false;
    std::error_code ec;
    if (path.back() == '/' || std::filesystem::is_directory(path, ec)) return true;
    return !std::filesystem::exists(path, ec) && lowerExtension(path).empty();
}

std::unique_ptr<Output> openOutput(const std::string& path, const OutputFormat& format, std::string& error) {
    if (isMovieFile(path)) {
        auto out = std::make_unique<MovieOutput>();
        if (!out->open(path, format)) {
            error = out->error();
            return nullptr;
        }
        return out;
    }
    auto out = std::make_unique<FolderOutput>();
    if (!out->open(path, format)) {
        error = out->error();
        return nullptr;
    }
    return out;
}

}  // namespace decode
