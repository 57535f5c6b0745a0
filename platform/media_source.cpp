#include "platform/media_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

namespace {

// The largest single block FFmpeg may allocate for us.
constexpr size_t kMaxLibraryAllocation = size_t{512} << 20;

// Every demuxer FFmpeg has reads sources, except those that open other
// files or the network by names found inside the input or by their own I/O:
// playlists and manifests, concatenation lists, image sequences by pattern,
// streaming session descriptions, and script-driven sources. Demuxers that
// do their own I/O (no byte stream at all) are left out by their flag.
constexpr const char* kRefusedDemuxers[] = {
    "concat", "hls", "dash", "imf", "image2", "sdp", "rtsp", "rtp", "sap",
    "webm_dash_manifest", "avisynth", "vapoursynth", "lavfi"};

bool DemuxerAllowed(const AVInputFormat* f) {
    if (f == nullptr || (f->flags & AVFMT_NOFILE) != 0) return false;
    for (const char* name : kRefusedDemuxers)
        if (std::strcmp(f->name, name) == 0) return false;
    return true;
}

// The same rule as FFmpeg's own whitelist, which checks it once more.
const char* FormatWhitelist() {
    static const std::string list = [] {
        std::string names;
        void* it = nullptr;
        while (const AVInputFormat* f = av_demuxer_iterate(&it)) {
            if (!DemuxerAllowed(f)) continue;
            if (!names.empty()) names += ',';
            names += f->name;
        }
        return names;
    }();
    return list.c_str();
}

constexpr int kIoBufferSize = 64 * 1024;
constexpr int kMaxStreams = 64;

// Nested inputs are never opened: a movie is exactly the bytes it was given.
int RefuseNestedOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
    return AVERROR(EPERM);
}

ContainerFamily FamilyOf(const AVInputFormat* f) {
    const char* name = f->name;
    if (std::strncmp(name, "mov", 3) == 0) return ContainerFamily::kQuickTime;
    if (std::strcmp(name, "avi") == 0 || std::strcmp(name, "wav") == 0) {
        return ContainerFamily::kRiff;
    }
    return ContainerFamily::kOther;
}

}  // namespace

MediaSource::~MediaSource() {
    if (m_format != nullptr) avformat_close_input(&m_format);
    if (m_io != nullptr) {
        av_freep(&m_io->buffer);
        avio_context_free(&m_io);
    }
    if (m_fd >= 0) close(m_fd);
}

void MediaSource::ArmDeadline(double seconds) {
    m_deadline = std::chrono::steady_clock::now() +
                 std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                     std::chrono::duration<double>(seconds));
}

int MediaSource::ReadPacket(void* opaque, uint8_t* buf, int size) {
    auto* self = static_cast<MediaSource*>(opaque);
    if (size <= 0) return AVERROR(EINVAL);
    if (self->m_bytes.memory) {
        const int64_t left = self->m_size - self->m_position;
        if (left <= 0) return AVERROR_EOF;
        const int n = static_cast<int>(std::min<int64_t>(left, size));
        std::memcpy(buf, self->m_bytes.memory->data() + self->m_position, static_cast<size_t>(n));
        self->m_position += n;
        return n;
    }
    for (;;) {
        const ssize_t n = pread(self->m_fd, buf, static_cast<size_t>(size), self->m_position);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return AVERROR(EIO);
        if (n == 0) return AVERROR_EOF;
        self->m_position += n;
        return static_cast<int>(n);
    }
}

int64_t MediaSource::Seek(void* opaque, int64_t offset, int whence) {
    auto* self = static_cast<MediaSource*>(opaque);
    whence &= ~AVSEEK_FORCE;
    int64_t target;
    switch (whence) {
        case AVSEEK_SIZE:
            return self->m_size;
        case SEEK_SET:
            target = offset;
            break;
        case SEEK_CUR:
            target = self->m_position + offset;
            break;
        case SEEK_END:
            target = self->m_size + offset;
            break;
        default:
            return AVERROR(EINVAL);
    }
    if (target < 0) return AVERROR(EINVAL);
    self->m_position = target;
    return target;
}

int MediaSource::Interrupt(void* opaque) {
    return static_cast<const MediaSource*>(opaque)->Expired() ? 1 : 0;
}

OSStatus MediaSource::Open(const ByteSource& bytes, std::unique_ptr<MediaSource>* out) {
    if (out == nullptr) return kStatusParamError;
    out->reset();
    av_log_set_level(AV_LOG_QUIET);  // decoding errors are reported as statuses, not on stderr
    // A few hundred bytes can declare a table of gigabytes that a demuxer
    // allocates and clears before reading a byte of it; no block a real
    // source needs comes near this size (an 8K frame is about 200 MB).
    av_max_alloc(kMaxLibraryAllocation);
    std::unique_ptr<MediaSource> src(new (std::nothrow) MediaSource);
    if (!src) return kStatusOutOfMemory;
    src->m_bytes = bytes;
    if (bytes.memory) {
        src->m_size = static_cast<int64_t>(bytes.memory->size());
    } else {
        src->m_fd = open(bytes.path.c_str(), O_RDONLY | O_CLOEXEC);
        if (src->m_fd < 0) return errno == ENOENT ? kStatusFileNotFound : kStatusNoMovieFound;
        struct stat st;
        if (fstat(src->m_fd, &st) != 0 || !S_ISREG(st.st_mode)) return kStatusNoMovieFound;
        src->m_size = st.st_size;
    }
    if (src->m_size == 0) return kStatusNoMovieFound;

    auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferSize));
    if (buffer == nullptr) return kStatusOutOfMemory;
    src->m_io = avio_alloc_context(buffer, kIoBufferSize, 0, src.get(), &MediaSource::ReadPacket,
                                   nullptr, &MediaSource::Seek);
    if (src->m_io == nullptr) {
        av_free(buffer);
        return kStatusOutOfMemory;
    }
    AVFormatContext* fmt = avformat_alloc_context();
    if (fmt == nullptr) return kStatusOutOfMemory;
    fmt->pb = src->m_io;
    fmt->flags |= AVFMT_FLAG_CUSTOM_IO;
    fmt->io_open = RefuseNestedOpen;
    fmt->interrupt_callback.callback = &MediaSource::Interrupt;
    fmt->interrupt_callback.opaque = src.get();
    fmt->max_streams = kMaxStreams;
    fmt->format_whitelist = av_strdup(FormatWhitelist());
    fmt->protocol_whitelist = av_strdup("none");
    src->ArmDeadline(kOpenDeadlineSeconds);
    // The name only helps the probe by its extension; the bytes come from
    // our reader. When the extension points at a demuxer we refuse (a
    // picture named .jpg looks like the start of an image sequence), the
    // bytes alone decide.
    const std::string hint = bytes.memory ? std::string() : bytes.path;
    const AVInputFormat* chosen = nullptr;
    int score = av_probe_input_buffer2(src->m_io, &chosen, hint.c_str(), nullptr, 0, 0);
    if (score >= 0 && !DemuxerAllowed(chosen) && !hint.empty()) {
        chosen = nullptr;
        score = av_probe_input_buffer2(src->m_io, &chosen, "", nullptr, 0, 0);
    }
    // A weak guess is not a movie: random bytes can look like a few audio frames.
    if (score <= AVPROBE_SCORE_RETRY || !DemuxerAllowed(chosen) || src->Expired()) {
        avformat_free_context(fmt);
        return kStatusNoMovieFound;
    }
    if (avformat_open_input(&fmt, hint.c_str(), chosen, nullptr) < 0) {
        return kStatusNoMovieFound;  // fmt is freed by a failing open
    }
    src->m_format = fmt;
    if (avformat_find_stream_info(fmt, nullptr) < 0 || src->Expired()) return kStatusNoMovieFound;
    src->m_family = FamilyOf(fmt->iformat);
    *out = std::move(src);
    return noErr;
}
