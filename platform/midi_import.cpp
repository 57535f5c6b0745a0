#include "platform/midi_import.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <new>

#include "platform/midi_file.h"
#include "platform/files.h"
#include "platform/movie_internal.h"

namespace {

constexpr TimeScale kMovieTimeScale = 600;
constexpr TimeScale kMusicTimeScale = 1000;

// Reads at most `limit` bytes of a file; false when it cannot be read or
// is larger than that.
bool ReadFileBytes(const std::string& path, size_t limit, std::vector<uint8_t>* out) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && size_t(st.st_size) <= limit;
    if (ok) {
        try {
            out->resize(size_t(st.st_size));
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    }
    size_t got = 0;
    while (ok && got < out->size()) {
        const ssize_t n = read(fd, out->data() + got, out->size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        got += size_t(n);
    }
    close(fd);
    return ok;
}

}  // namespace

bool IsMidiSource(const ByteSource& bytes) {
    if (bytes.memory) return LooksLikeMidiFile(*bytes.memory);
    const int fd = open(bytes.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    uint8_t head[12];
    ssize_t n;
    do {
        n = pread(fd, head, sizeof head, 0);
    } while (n < 0 && errno == EINTR);
    close(fd);
    return n > 0 && LooksLikeMidiFile({head, size_t(n)});
}

OSStatus NewMovieFromMidi(const ByteSource& bytes, Movie* movie) {
    if (movie == nullptr) return kStatusParamError;
    *movie = nullptr;
    std::vector<uint8_t> fileBytes;
    std::span<const uint8_t> data;
    if (bytes.memory) {
        if (bytes.memory->size() > kMaxMidiFileBytes) return kStatusNoMovieFound;
        data = *bytes.memory;
    } else {
        if (!ReadFileBytes(bytes.path, kMaxMidiFileBytes, &fileBytes)) {
            return FileExists(bytes.path) ? kStatusNoMovieFound : kStatusFileNotFound;
        }
        data = fileBytes;
    }
    auto song = std::make_shared<MidiSong>();
    if (OSStatus err = ParseMidiFile(data, song.get()); err != noErr) return err;
    if (song->duration <= 0) return kStatusNoMovieFound;

    auto m = std::unique_ptr<MovieRecord>(new (std::nothrow) MovieRecord);
    auto t = std::unique_ptr<TrackRecord>(new (std::nothrow) TrackRecord);
    if (!m || !t) return kStatusOutOfMemory;
    m->timeScale = kMovieTimeScale;
    m->bytes = bytes;
    if (!song->name.empty()) m->userData[kUserDataTextFullName].push_back(song->name);
    if (!song->copyright.empty()) m->userData[kUserDataTextCopyright].push_back(song->copyright);
    t->movie = m.get();
    t->trackID = m->nextTrackID++;
    t->mediaType = kMusicMediaType;
    t->bytes = bytes;
    t->mediaScale = kMusicTimeScale;
    t->mediaDuration = (song->duration + 999) / 1000;
    SampleDescription d;
    d.descType = kMusicMediaType;
    d.dataFormat = kMidiDataFormat;
    t->descriptions.push_back(d);
    t->music = std::move(song);
    m->tracks.push_back(std::move(t));
    *movie = m.release();
    return noErr;
}
