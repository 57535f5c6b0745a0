#include "export/mpeg_own_sound.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "resources/resources.h"

namespace {

void putBE32(std::vector<uint8_t>* out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out->push_back(uint8_t(v >> s));
}

OSType missingFormat(const MpegFrameHeader& h) {
    if (h.layer == 1) return MakeOSType(".mp1");
    if (h.layer == 2) return MakeOSType(".mp2");
    return MakeOSType(".mp3");
}

}  // namespace

MpegOwnSound::~MpegOwnSound() {
    m_demuxer.reset();
    DataHandlerClose(m_handler);
}

OSStatus MpegOwnSound::prepare(Movie movie, const MpegRateTables& tables,
                               std::unique_ptr<MpegOwnSound>* out, OSType* missingCodec) {
    if (out == nullptr) return kStatusParamError;
    out->reset();
    std::unique_ptr<MpegOwnSound> s(new (std::nothrow) MpegOwnSound);
    if (!s) return kStatusOutOfMemory;
    DataReference ref;
    if (OSStatus err = GetMovieDefaultDataReference(movie, &ref); err != noErr) return err;
    if (OSStatus err = DataHandlerOpen(ref, &s->m_handler); err != noErr) return err;
    if (OSStatus err = DataHandlerOpenForRead(s->m_handler); err != noErr) return err;
    int64_t size = 0;
    if (OSStatus err = DataHandlerGetFileSize(s->m_handler, &size); err != noErr) return err;
    DataHandler dh = s->m_handler;
    s->m_demuxer.reset(new (std::nothrow) MpegDemuxer(
        [dh](int64_t at, std::span<uint8_t> data) { return DataHandlerRead(dh, at, data); }, size,
        tables));
    if (!s->m_demuxer) return kStatusOutOfMemory;
    if (s->m_demuxer->findAudioStream(&s->m_first) != noErr) return kStatusParamError;
    if (!MpegAudioDecoder::canDecode(s->m_first)) {
        if (missingCodec != nullptr) *missingCodec = missingFormat(s->m_first);
        return kStatusNoCodec;
    }
    if (OSStatus err = MpegAudioDecoder::create(moviepackerResources(), &s->m_decoder);
        err != noErr)
        return err;

    const MpegFrameHeader& h = s->m_first;
    SampleDescription& d = s->m_desc;
    d.descType = kSoundDescriptionType;
    d.dataFormat = kLittleEndianFormat;
    d.channels = int16_t(h.channels);
    d.sampleSize = 16;
    d.sampleRate = h.sampleRate;
    d.bytesPerFrame = h.channels * 2;
    putBE32(&d.extension, uint32_t(h.samplesPerFrame));
    putBE32(&d.extension, uint32_t(h.samplesPerFrame * h.channels * 2));
    if (Track t = GetMovieIndTrackType(movie, 1, kMPEGMediaType,
                                       kMovieTrackMediaType | kMovieTrackEnabledOnly);
        t != nullptr && GetMediaTimeScale(t) > 0)
        s->m_duration =
            TimeValue(double(GetMediaDuration(t)) * h.sampleRate / GetMediaTimeScale(t));
    try {
        s->m_decoded.resize(size_t(kMpegMaxSamplesPerFrame) * 2);
    } catch (const std::bad_alloc&) {
        return kStatusOutOfMemory;
    }
    *out = std::move(s);
    return noErr;
}

OSStatus MpegOwnSound::fill(int32_t want, int32_t* got) {
    const int ch = m_first.channels;
    int32_t have = 0;
    while (have < want) {
        if (m_leftFrames > 0) {
            const int32_t n = std::min(want - have, m_leftFrames);
            std::memcpy(m_chunk.data() + size_t(have) * ch,
                        m_decoded.data() + size_t(m_leftStart) * ch,
                        size_t(n) * ch * sizeof(int16_t));
            have += n;
            m_leftStart += n;
            m_leftFrames -= n;
            continue;
        }
        if (m_ended) break;
        std::span<const uint8_t> frame;
        MpegFrameHeader h;
        const OSStatus err = m_demuxer->nextFrame(&frame, &h);
        if (err == kStatusEndOfData) {
            m_ended = true;
            break;
        }
        if (err != noErr) return err;
        // The stream's format is the first frame's; a frame that changes it
        // (or that this decoder cannot take) is left out.
        int frames = 0;
        if (h.sampleRate != m_first.sampleRate || h.channels != m_first.channels ||
            m_decoder->decodeFrame(frame, h, m_decoded.data(), &frames) != noErr) {
            ++m_droppedFrames;
            continue;
        }
        m_leftStart = 0;
        m_leftFrames = frames;
    }
    *got = have;
    return noErr;
}

OSStatus MpegOwnSound::getData(void* refCon, MovieExportGetDataParams* params) {
    auto* s = static_cast<MpegOwnSound*>(refCon);
    if (s == nullptr || params == nullptr) return kStatusParamError;
    const int32_t want = std::clamp(params->requestedSampleCount, 1, 1 << 20);
    try {
        s->m_chunk.resize(size_t(want) * size_t(s->m_first.channels));
    } catch (const std::bad_alloc&) {
        return kStatusOutOfMemory;
    }
    int32_t got = 0;
    if (OSStatus err = s->fill(want, &got); err != noErr) return err;
    if (got == 0) return kStatusEndOfData;
    params->actualTime = params->requestedTime;
    params->dataPtr = reinterpret_cast<const uint8_t*>(s->m_chunk.data());
    params->dataSize = got * s->m_desc.bytesPerFrame;
    params->desc = &s->m_desc;
    params->descType = kSoundDescriptionType;
    params->descSeed = s->m_seed;
    params->actualSampleCount = got;
    params->durationPerSample = 1;
    params->sampleFlags = 0;
    return noErr;
}

OSStatus MpegOwnSound::getProperty(void* refCon, int32_t, OSType property, void* value) {
    auto* s = static_cast<MpegOwnSound*>(refCon);
    if (s == nullptr || value == nullptr) return kStatusParamError;
    if (property != kMovieExportDuration) return kStatusParamError;
    *static_cast<TimeRecord*>(value) = TimeRecord{s->m_duration, s->timeScale()};
    return noErr;
}
