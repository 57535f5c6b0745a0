#include "export/music_sound.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "platform/aiff_export.h"

namespace {

constexpr size_t kHeaderProbeBytes = 64 * 1024;  // chunks before the sound data
constexpr int32_t kMaxRequestFrames = 1 << 16;
constexpr OSType kMusicCreator = MakeOSType("Rer1");

uint32_t be32(std::span<const uint8_t> b, size_t at) {
    return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) |
           b[at + 3];
}
uint16_t be16(std::span<const uint8_t> b, size_t at) {
    return uint16_t((b[at] << 8) | b[at + 1]);
}
bool tagAt(std::span<const uint8_t> b, size_t at, const char (&tag)[5]) {
    return std::memcmp(b.data() + at, tag, 4) == 0;
}

// An 80-bit IEEE extended number; 0 for anything that is not a plain positive value.
double extended(std::span<const uint8_t> b, size_t at) {
    const int exponent = ((b[at] & 0x7F) << 8) | b[at + 1];
    if ((b[at] & 0x80) != 0 || exponent == 0 || exponent == 0x7FFF) return 0;
    uint64_t mantissa = 0;
    for (int i = 0; i < 8; ++i) mantissa = (mantissa << 8) | b[at + 2 + i];
    return std::ldexp(double(mantissa), exponent - 16383 - 63);
}

}  // namespace

OSStatus parseAiffHeader(std::span<const uint8_t> head, AiffInfo* info) {
    if (info == nullptr) return kStatusParamError;
    if (head.size() < 12 || !tagAt(head, 0, "FORM")) return kStatusBadData;
    const bool aifc = tagAt(head, 8, "AIFC");
    if (!aifc && !tagAt(head, 8, "AIFF")) return kStatusBadData;
    const uint64_t formEnd = 8 + uint64_t(be32(head, 4));
    AiffInfo out;
    bool haveComm = false;
    uint64_t at = 12;
    while (at + 8 <= head.size() && at + 8 <= formEnd) {
        const uint32_t size = be32(head, size_t(at) + 4);
        const size_t body = size_t(at) + 8;
        if (tagAt(head, size_t(at), "COMM")) {
            if (size < 18 || body + 18 > head.size()) return kStatusBadData;
            out.channels = int16_t(be16(head, body));
            out.frames = be32(head, body + 2);
            out.sampleSize = int16_t(be16(head, body + 6));
            out.sampleRate = extended(head, body + 8);
            if (aifc) {
                // Only uncompressed AIFC: 'NONE' (big-endian) or 'twos'.
                if (size < 22 || body + 22 > head.size()) return kStatusBadData;
                const uint32_t c = be32(head, body + 18);
                if (c != kSoundNotCompressed && c != kTwosComplementFormat) return kStatusBadData;
            }
            if (out.channels < 1 || out.channels > 8 ||
                (out.sampleSize != 8 && out.sampleSize != 16) || !(out.sampleRate >= 1) ||
                out.sampleRate > 768000)
                return kStatusBadData;
            haveComm = true;
        } else if (tagAt(head, size_t(at), "SSND")) {
            if (!haveComm || size < 8 || body + 8 > head.size()) return kStatusBadData;
            const uint32_t offset = be32(head, body);
            if (uint64_t(offset) + 8 > size) return kStatusBadData;
            out.dataOffset = body + 8 + uint64_t(offset);
            // Frames beyond the chunk are not there, whatever COMM says.
            const uint64_t bytes = size - 8 - uint64_t(offset);
            const uint64_t frameBytes = uint64_t(out.channels) * uint64_t(out.sampleSize / 8);
            out.frames = uint32_t(std::min<uint64_t>(out.frames, bytes / frameBytes));
            *info = out;
            return noErr;
        }
        at = body + uint64_t(size) + (size & 1);
    }
    return kStatusBadData;
}

MusicSound::~MusicSound() {
    if (m_file != nullptr) std::fclose(m_file);
    CloseComponent(m_exporter);
    if (m_made) DeleteFile(m_spec);
}

OSStatus MusicSound::prepare(const ExportSettings& s, Movie movie,
                             std::unique_ptr<MusicSound>* out) {
    if (movie == nullptr || out == nullptr) return kStatusParamError;
    std::unique_ptr<MusicSound> m(new (std::nothrow) MusicSound);
    if (!m) return kStatusOutOfMemory;
    m->m_movie = movie;
    SampleDescription& d = m->m_desc;
    d.descType = kSoundDescriptionType;
    const bool eightBit = s.soundCodec == kSoundPcmMono;
    d.dataFormat = eightBit ? kSoundNotCompressed : kTwosComplementFormat;
    d.sampleSize = eightBit ? 8 : 16;
    d.channels = s.channels == 2 ? 2 : 1;
    d.sampleRate = std::floor(double(s.sampleRate) / 65536.0);
    d.bytesPerFrame = d.channels * d.sampleSize / 8;

    OSStatus err = TemporaryFileSpec(kMusicTemporaryName, &m->m_spec);
    if (err != noErr) return err;
    const std::string path = FileSpecPath(m->m_spec);
    if ((err = DeleteFile(path)) != noErr) return err;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return kStatusCreateError;
    close(fd);
    m->m_made = true;
    if ((err = RegisterBuiltInExporters()) != noErr) return err;
    if ((err = OpenDefaultComponent(kMovieExportType, kAiffExportSubType, &m->m_exporter)) != noErr)
        return err;
    MovieExportSampleDescriptionParams sp{&d, kSoundMediaType};
    if ((err = CallComponent(m->m_exporter, kMovieExportSetSampleDescriptionSelect, &sp)) != noErr)
        return err;
    *out = std::move(m);
    return noErr;
}

OSStatus MusicSound::renderProgress(Movie, int16_t message, int16_t, Fixed fraction,
                                    intptr_t refcon) {
    auto* m = reinterpret_cast<MusicSound*>(refcon);
    if (message != kMovieProgressUpdatePercent || m->m_forward == nullptr) return noErr;
    return m->m_forward(m->m_forwardContext, double(fraction) / 65536.0);
}

OSStatus MusicSound::render() {
    OSStatus err = ConvertMovieToFile(m_movie, nullptr, m_spec, kAiffFileType, kMusicCreator,
                                      m_exporter, renderProgress, reinterpret_cast<intptr_t>(this));
    if (err != noErr) return err;
    m_file = std::fopen(FileSpecPath(m_spec).c_str(), "rb");
    if (m_file == nullptr) return kStatusReadError;
    std::vector<uint8_t> head(kHeaderProbeBytes);
    head.resize(std::fread(head.data(), 1, head.size(), m_file));
    AiffInfo info;
    if ((err = parseAiffHeader(head, &info)) != noErr) return err;
    if (std::fseek(m_file, long(info.dataOffset), SEEK_SET) != 0) return kStatusReadError;
    m_desc.dataFormat = kTwosComplementFormat;  // AIFF samples are signed big-endian
    m_desc.channels = info.channels;
    m_desc.sampleSize = info.sampleSize;
    m_desc.sampleRate = info.sampleRate;
    m_desc.bytesPerFrame = info.channels * info.sampleSize / 8;
    m_frames = info.frames;
    ++m_seed;
    m_rendered = true;
    return noErr;
}

OSStatus MusicSound::read(MovieExportGetDataParams* p) {
    if (!m_rendered) {
        if (OSStatus err = render(); err != noErr) return err;
    }
    if (m_position >= m_frames) return kStatusEndOfData;
    const int32_t want = std::clamp<int32_t>(p->requestedSampleCount, 1, kMaxRequestFrames);
    const uint32_t frames = std::min<uint32_t>(uint32_t(want), m_frames - m_position);
    m_buffer.resize(size_t(frames) * size_t(m_desc.bytesPerFrame));
    const size_t got = std::fread(m_buffer.data(), size_t(m_desc.bytesPerFrame), frames, m_file);
    if (got == 0) return kStatusReadError;
    p->actualTime = m_position;
    p->dataPtr = m_buffer.data();
    p->dataSize = int32_t(got * size_t(m_desc.bytesPerFrame));
    p->desc = &m_desc;
    p->descType = kSoundDescriptionType;
    p->descSeed = m_seed;
    p->actualSampleCount = int32_t(got);
    p->durationPerSample = 1;
    p->sampleFlags = 0;
    m_position += uint32_t(got);
    return noErr;
}

OSStatus MusicSound::getData(void* refCon, MovieExportGetDataParams* params) {
    if (refCon == nullptr || params == nullptr) return kStatusParamError;
    return static_cast<MusicSound*>(refCon)->read(params);
}

OSStatus MusicSound::getProperty(void* refCon, int32_t, OSType property, void* value) {
    auto* m = static_cast<MusicSound*>(refCon);
    if (m == nullptr || value == nullptr || property != kMovieExportDuration)
        return kStatusParamError;
    const TimeScale scale = m->timeScale();
    TimeValue frames = m->m_frames;
    if (!m->m_rendered) {
        Track t = GetMovieIndTrackType(m->m_movie, 1, kMusicMediaType,
                                       kMovieTrackMediaType | kMovieTrackEnabledOnly);
        const TimeScale movieScale = GetMovieTimeScale(m->m_movie);
        frames = movieScale > 0 ? TimeValue(std::llround(double(GetTrackDuration(t)) * scale /
                                                         movieScale))
                                : 0;
    }
    *static_cast<TimeRecord*>(value) = TimeRecord{frames, scale};
    return noErr;
}
