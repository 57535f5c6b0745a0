// The writer's lifecycle, configuration setters and state checks. Encoding
// work is delegated to the encoder hooks of writer_record.h.
#include "engine/movie_writer.h"

#include <cstring>
#include <new>

#include "engine/spool_file.h"
#include "engine/writer_record.h"
#include "platform/status.h"

namespace {

bool valid(const MovieWriter* w) {
    return w && w->signature == kWriterSignature;
}

bool configurable(const MovieWriter* w) {
    return valid(w) && w->state == kWriterConfiguring;
}

bool encoding(const MovieWriter* w) {
    return valid(w) && w->state == kWriterEncoding && w->startComplete;
}

bool blank(const char* text) {
    for (; *text; ++text)
        if (*text != ' ') return false;
    return true;
}

bool soundFormat(uint32_t format) {
    return format == kAudioFormatAtrac3 ||
           (format >= kAudioFormatAdpcm4 && format <= kAudioFormatPcm16);
}

uint16_t readLe16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t readLe32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// The six rates the handheld's ATRAC3 decoder knows, highest first.
constexpr uint32_t kAtrac3BitRates[] = {66000, 47000, 33000, 23500, 16500, 11750};

uint32_t settleAtrac3BitRate(uint32_t rate, bool hasVideo) {
    if (rate == 0) return hasVideo ? 33000 : 66000;
    for (uint32_t allowed : kAtrac3BitRates)
        if (rate >= allowed) return allowed;
    return 11750;
}

void releaseEncodingState(MovieWriter* w) {
    BlockFree(w->header);
    w->header = nullptr;
    BlockFree(w->videoIndex);
    w->videoIndex = nullptr;
    BlockFree(w->soundIndex);
    w->soundIndex = nullptr;
    SpoolClose(w);
}

}  // namespace

void writerProgress(MovieWriter* w, int32_t percent) {
    if (w->progressProc) w->progressProc(percent, w->progressRefCon);
}

int32_t MovieWriterCreate(MovieWriter** outWriter) {
    if (!outWriter) return kStatusParamError;
    *outWriter = new (std::nothrow) MovieWriter;
    return *outWriter ? noErr : kStatusOutOfMemory;
}

int32_t MovieWriterDispose(MovieWriter* w) {
    if (!valid(w)) return kStatusParamError;
    writerVideoRelease(w);
    writerSoundRelease(w);
    releaseEncodingState(w);
    BlockFree(w->chapterList);
    for (PictureItem* item = w->pictureItems; item;) {
        PictureItem* next = item->next;
        BlockFree(item->chunk);
        delete item;
        item = next;
    }
    for (BlockHandle record : w->memoryRecords) BlockFree(record);
    BlockFree(w->spoolMap);
    BlockFree(w->image);
    w->signature = 0;
    delete w;
    return noErr;
}

int32_t MovieWriterSetName(MovieWriter* w, const char* name) {
    if (!configurable(w) || !name) return kStatusParamError;
    try {
        w->name = name;
    } catch (const std::bad_alloc&) {
        return kStatusOutOfMemory;
    }
    return noErr;
}

int32_t MovieWriterSetInfoString(MovieWriter* w, int32_t key, const char* text) {
    if (!configurable(w) || !text) return kStatusParamError;
    std::string* field = key == kMovieInfoTitle         ? &w->title
                         : key == kMovieInfoInformation ? &w->information
                         : key == kMovieInfoRights      ? &w->rights
                                                        : nullptr;
    if (!field) return kStatusParamError;
    if (blank(text)) return noErr;
    try {
        *field = text;
    } catch (const std::bad_alloc&) {
        return kStatusOutOfMemory;
    }
    return noErr;
}

int32_t MovieWriterSetFrameSize(MovieWriter* w, uint16_t width, uint16_t height) {
    if (!configurable(w)) return kStatusParamError;
    // (value - 1) / 4 truncates toward zero, so 0 rounds to 4 as well.
    auto roundUp = [](uint16_t v) {
        return static_cast<uint16_t>((static_cast<int32_t>(v) - 1) / 4 * 4 + 4);
    };
    w->sourceWidth = width;
    w->sourceHeight = height;
    w->encodedWidth = roundUp(width);
    w->encodedHeight = roundUp(height);
    return noErr;
}

int32_t MovieWriterSetVideoMode(MovieWriter* w, int32_t mode) {
    if (!configurable(w) || mode < kVideoModeGrey2 || mode > kVideoModeMpeg4)
        return kStatusParamError;
    w->videoMode = mode;
    return noErr;
}

int32_t MovieWriterSetAudioFormat(MovieWriter* w, uint32_t format) {
    if (!configurable(w) || !soundFormat(format)) return kStatusParamError;
    w->audioFormat = format;
    return noErr;
}

int32_t MovieWriterSetSoundInput(MovieWriter* w, int32_t kind, const void* waveFormat,
                                 uint32_t waveFormatSize) {
    if (!configurable(w) || kind != kSoundInputWaveFormat || !waveFormat ||
        waveFormatSize != kWaveFormatSize)
        return kStatusParamError;
    const uint8_t* bytes = static_cast<const uint8_t*>(waveFormat);
    uint16_t channels = readLe16(bytes + 2);
    uint32_t rate = readLe32(bytes + 4);
    uint16_t bits = readLe16(bytes + 14);
    // Durations divide by the rate and buffers by the frame size: refuse
    // a format that would make either zero.
    if (channels == 0 || rate == 0 || bits == 0) return kStatusParamError;
    std::memcpy(w->waveFormat.data(), bytes, kWaveFormatSize);
    w->hasWaveFormat = true;
    w->waveFormatTag = static_cast<int16_t>(readLe16(bytes));
    w->channels = channels;
    w->sampleRate = rate;
    w->bitsPerSample = bits;
    return noErr;
}

int32_t MovieWriterSetProgress(MovieWriter* w, MovieWriterProgressProc proc, int32_t refCon) {
    if (!valid(w)) return kStatusParamError;
    w->progressProc = proc;
    w->progressRefCon = refCon;
    return noErr;
}

int32_t MovieWriterForceKeyFrame(MovieWriter* w) {
    if (!encoding(w)) return kStatusParamError;
    w->forceKeyFrame = 1;
    return noErr;
}

int32_t MovieWriterStart(MovieWriter* w) {
    if (!configurable(w)) return kStatusParamError;
    bool video = w->videoMode >= kVideoModeGrey2 && w->videoMode <= kVideoModeMpeg4 &&
                 w->encodedWidth != 0 && w->encodedHeight != 0;
    bool sound = soundFormat(w->audioFormat);
    if (!video && !sound && !w->pictureItems) return kStatusParamError;
    if (!w->name) return kStatusParamError;
    if (w->audioFormat == kAudioFormatAtrac3)
        w->audioBitRate = settleAtrac3BitRate(w->audioBitRate, video);
    w->state = kWriterEncoding;
    w->hasVideo = video;
    w->hasSound = sound;

    int32_t status = video ? writerVideoStart(w) : noErr;
    if (status == noErr && sound) status = writerSoundStart(w);
    if (status == noErr) status = writerBuildHeader(w);
    if (status == noErr) {
        SpoolClose(w);
        status = SpoolOpen(w);
    }
    if (status != noErr) {
        // Stay in state 1 as a failed start does, but hold on to nothing
        // beyond what the encoder hooks release at dispose.
        releaseEncodingState(w);
        w->hasVideo = w->hasSound = false;
        return status;
    }
    w->startComplete = true;
    return noErr;
}

int32_t MovieWriterAddFrame(MovieWriter* w, const uint8_t* pixels, int32_t rowBytes,
                            int32_t duration, bool* outKeyFrame) {
    if (!encoding(w) || !w->hasVideo || !pixels) return kStatusParamError;
    return writerAddFrame(w, pixels, rowBytes, duration, outKeyFrame);
}

int32_t MovieWriterAddSound(MovieWriter* w, const void* frames, uint32_t byteCount,
                            uint32_t frameCount) {
    if (!encoding(w) || !w->hasSound || !frames || byteCount == 0 || frameCount == 0)
        return kStatusParamError;
    return writerAddSound(w, frames, byteCount, frameCount);
}

int32_t MovieWriterFinish(MovieWriter* w) {
    if (!encoding(w)) return kStatusParamError;
    writerProgress(w, 0);
    int32_t status = w->hasSound ? writerSoundFlush(w) : noErr;
    w->state = kWriterFinished;
    if (status != noErr) return status;
    return writerFinishImage(w);
}

int32_t MovieWriterGetSize(MovieWriter* w, uint32_t* outSize) {
    if (!valid(w) || w->state != kWriterFinished || !w->imageComplete || !outSize)
        return kStatusParamError;
    *outSize = writerImageSize(w);
    return noErr;
}

int32_t MovieWriterRead(MovieWriter* w, void* destination, uint32_t offset, uint32_t count) {
    if (!valid(w) || w->state != kWriterFinished || !w->imageComplete) return kStatusParamError;
    uint32_t size = writerImageSize(w);
    if (offset > size || count > size - offset) return kStatusParamError;
    if (count == 0) return noErr;
    if (!destination) return kStatusParamError;
    return writerReadImage(w, static_cast<uint8_t*>(destination), offset, count);
}
