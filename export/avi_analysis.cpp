#include "export/avi_analysis.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "export/codec_bridge.h"
#include "platform/data_handler.h"
#include "platform/decompress.h"
#include "platform/vfw.h"

namespace {

constexpr size_t kWindow = 16 * 1024;
constexpr uint32_t kSmallChunk = 16;
constexpr OSType kMsMpeg4v1 = MakeOSType("MPG4");

}  // namespace

void renameMpg4Descriptions(Movie movie) {
    const uint32_t flags = kMovieTrackMediaType | kMovieTrackEnabledOnly;
    for (int32_t i = 1;; ++i) {
        Track t = GetMovieIndTrackType(movie, i, kVideoMediaType, flags);
        if (t == nullptr) return;
        const int32_t n = GetMediaSampleDescriptionCount(t);
        for (int32_t d = 1; d <= n; ++d) {
            SampleDescription desc;
            if (GetMediaSampleDescription(t, d, &desc) != noErr) continue;
            if (desc.dataFormat == kMsMpeg4v1 || desc.dataFormat == kMPEG4VisualFormat) {
                desc.dataFormat = MakeOSType("mpg4");
                SetMediaSampleDescription(t, d, desc);
            }
        }
    }
}

namespace {

class FdCloser {
  public:
    explicit FdCloser(int fd) : m_fd(fd) {}
    ~FdCloser() {
        if (m_fd >= 0) close(m_fd);
    }
    int get() const { return m_fd; }
    int release() {
        const int f = m_fd;
        m_fd = -1;
        return f;
    }

  private:
    int m_fd;
};

bool writeAll(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
        const ssize_t w = write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= size_t(w);
    }
    return true;
}

// Copies the payloads of the '01wb' chunks of `in` to `out`; *copied counts
// the bytes.
OSStatus extractAudioChunks(int in, int out, int64_t fileSize, const Mp3FixProgress& progress,
                            int64_t* copied) {
    *copied = 0;
    std::vector<uint8_t> buf(kWindow);
    size_t have = 0;         // bytes in buf
    int64_t consumed = 0;    // file bytes read into buf so far
    uint64_t payloadLeft = 0;  // of the chunk being copied
    bool pad = false;
    uint64_t skip = 0;  // bytes still to pass over
    for (;;) {
        const ssize_t r = read(in, buf.data() + have, buf.size() - have);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return kStatusReadError;
        const bool atEnd = r == 0;
        have += size_t(r);
        consumed += r;
        if (progress && fileSize > 0) {
            const double f = 0.05 * double(consumed) / double(fileSize);
            if (OSStatus answer = progress(Fixed(f * 65536)); answer != noErr) return answer;
        }
        size_t i = 0;
        while (i < have) {
            if (payloadLeft > 0) {
                const size_t n = size_t(std::min<uint64_t>(payloadLeft, have - i));
                if (!writeAll(out, buf.data() + i, n)) return kStatusWriteError;
                *copied += int64_t(n);
                payloadLeft -= n;
                i += n;
                if (payloadLeft == 0 && pad) skip = 1;
                continue;
            }
            if (skip > 0) {
                const size_t n = size_t(std::min<uint64_t>(skip, have - i));
                skip -= n;
                i += n;
                continue;
            }
            if (have - i < 8) {
                if (atEnd) return noErr;
                break;  // keep the tail for the next window
            }
            if (std::memcmp(buf.data() + i, "01wb", 4) != 0) {
                ++i;
                continue;
            }
            const uint8_t* s = buf.data() + i + 4;
            const uint32_t size = uint32_t(s[0]) | (uint32_t(s[1]) << 8) | (uint32_t(s[2]) << 16) |
                                  (uint32_t(s[3]) << 24);
            if (size <= kSmallChunk) {
                i += 4;  // too small to be sound: go on looking after the code
                continue;
            }
            i += 8;
            payloadLeft = size;
            pad = (size & 1) != 0;
        }
        if (atEnd) return noErr;
        std::memmove(buf.data(), buf.data() + i, have - i);
        have -= i;
    }
}

}  // namespace

OSStatus inspectAviSource(Movie movie, bool* mp3FixNeeded, AviSourceState* state) {
    DataReference ref;
    std::string path;
    if (GetMovieDefaultDataReference(movie, &ref) != noErr ||
        ResolveAliasDataReference(ref, &path) != noErr || !FileExists(path) ||
        !HasAviExtension(path))
        return noErr;
    FileSpec spec;
    if (FileSpecFromPath(path, &spec) != noErr) return noErr;
    state->isAvi = true;
    state->path = path;
    // A header that cannot be read leaves the movie to the toolbox.
    if (ReadAviHeaders(spec, &state->headers) != noErr) return noErr;
    if (state->headers.audioTag == 0x0055) *mp3FixNeeded = true;
    const OSType code = state->headers.videoCode;
    if (code == 0) return noErr;
    if (!VfwCanDecode(spec)) {
        state->reader = DirectAviReaderOpen(spec);
        if (state->reader != nullptr) {
            state->road = VideoRoad::kDirect;
            Track v = GetMovieIndTrackType(movie, 1, kVideoMediaType,
                                           kMovieTrackMediaType | kMovieTrackEnabledOnly);
            if (v != nullptr) GetMediaSampleDescription(v, 1, &state->readerDesc);
        }
        return noErr;
    }
    if (code == kMsMpeg4v1) renameMpg4Descriptions(movie);
    if (!HasImageDecompressor(code)) {
        const OSStatus err = RegisterCodecBridge(code, nullptr);
        if (err != noErr) return err;
    }
    // The pictures go through the bridge when the toolbox still lacks the
    // format of the first video description.
    Track v = GetMovieIndTrackType(movie, 1, kVideoMediaType,
                                   kMovieTrackMediaType | kMovieTrackEnabledOnly);
    SampleDescription d;
    if (v != nullptr && GetMediaSampleDescription(v, 1, &d) == noErr && ToolboxLacks(d))
        state->road = VideoRoad::kBridge;
    return noErr;
}

OSStatus applyMp3Fix(Movie movie, Track mp3Track, const Mp3FixProgress& progress,
                     AviSourceState* state) {
    // Only an AVI holds '01wb' chunks; any other file keeps its own track.
    if (!state->isAvi) return noErr;
    OSStatus err = TemporaryFileSpec("blah.mp3", &state->temporary);
    if (err != noErr) return err;
    const std::string temp = FileSpecPath(state->temporary);
    if ((err = DeleteFile(temp)) != noErr) return err;
    FdCloser out(open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (out.get() < 0) return kStatusCreateError;
    state->temporaryMade = true;
    FdCloser in(open(state->path.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) return kStatusReadError;
    struct stat st;
    if (fstat(in.get(), &st) != 0) return kStatusReadError;
    int64_t copied = 0;
    err = extractAudioChunks(in.get(), out.get(), int64_t(st.st_size), progress, &copied);
    if (err != noErr) return err;
    if (close(out.release()) != 0) return kStatusWriteError;
    if (copied == 0) return noErr;  // nothing to rebuild from: keep the track

    Movie rebuilt = nullptr;
    if ((err = NewMovieFromFile(temp, &rebuilt)) != noErr) return err;
    Track sound = GetMovieIndTrackType(rebuilt, 1, kSoundMediaType,
                                       kMovieTrackMediaType | kMovieTrackEnabledOnly);
    if (sound == nullptr) {
        DisposeMovie(rebuilt);
        return kStatusNoMovieFound;
    }
    err = AddMovieTrackCopy(movie, sound, &state->added);
    DisposeMovie(rebuilt);
    if (err != noErr) return err;
    if (mp3Track != nullptr) {
        SetTrackEnabled(mp3Track, false);
        state->replaced = mp3Track;
    }
    return noErr;
}

void releaseAviSource(AviSourceState* state) {
    DirectAviReaderClose(state->reader);
    state->reader = nullptr;
    if (state->added != nullptr) DisposeMovieTrack(state->added);
    if (state->replaced != nullptr) SetTrackEnabled(state->replaced, true);
    state->added = state->replaced = nullptr;
    if (state->temporaryMade) DeleteFile(state->temporary);
    state->temporaryMade = false;
}
