// Keyed writer settings, chapters and picture items.
#include <array>
#include <cstring>
#include <new>

#include "engine/big_endian.h"
#include "engine/chunk_append.h"
#include "engine/chunk_tags.h"
#include "engine/record_layout.h"
#include "engine/writer_record.h"
#include "platform/status.h"

namespace {

// Gain selector -> multiplier; index 0 is every selector outside 1..3.
constexpr std::array<float, 4> kSoundGains = {1.0f, 1.5f, 2.5f, 4.0f};

constexpr uint32_t kItemHeaderBytes = 22;  // "ho": four 32-bit values and one 16-bit value
constexpr uint32_t kChapterListStart = 6;  // length, tag, count

template <typename T>
const T* pointerArgument(intptr_t value) {
    return reinterpret_cast<const T*>(value);
}

// Builds the "bi" chunk of a picture item; -50 when the pieces do not form a
// chunk that fits its 16-bit length.
int32_t buildPictureItem(const MovieWriterPictureItem& item, BlockHandle& out) {
    uint32_t nested = 0;
    if (item.nestedChunk) {
        uint16_t length;
        be::get16(std::span(item.nestedChunk, 2), 0, length);
        nested = length;
        if (nested < 2) return kStatusParamError;
    }
    uint32_t picture = 0;
    if (item.pictureData) {
        be::get32(std::span(item.pictureData, 4), 0, picture);
        // The "px" length holds the total in 16 bits: a larger picture would
        // corrupt every chunk after it.
        if (picture < 4 || picture > kMaxChunkBytes) return kStatusParamError;
    }
    uint32_t total = kChunkHeaderBytes + kItemHeaderBytes + nested + picture;
    // A larger item would make a record the handheld cannot hold.
    if (total > kMaxHeaderChunkBytes) return kStatusParamError;

    BlockHandle chunk = nullptr;
    appendChunkHeader(chunk, static_cast<uint16_t>(total), kTagPictureItem);
    appendChunkHeader(chunk, kItemHeaderBytes, kTagItemHeader);
    for (uint32_t value : item.values) appendU32(chunk, value);
    appendU16(chunk, item.flags);
    if (nested) BlockAppend(chunk, item.nestedChunk, nested);
    if (item.pictureData) {
        appendChunkHeader(chunk, static_cast<uint16_t>(picture), kTagPixels);
        BlockAppend(chunk, item.pictureData + 4, picture - 4);
    }
    if (!chunk) return kStatusOutOfMemory;
    out = chunk;
    return noErr;
}

int32_t addPictureItem(MovieWriter* w, const MovieWriterPictureItem* description) {
    if (!description) return kStatusParamError;
    BlockHandle chunk = nullptr;
    int32_t status = buildPictureItem(*description, chunk);
    if (status != noErr) return status;
    PictureItem* item = new (std::nothrow) PictureItem;
    if (!item) {
        BlockFree(chunk);
        return kStatusOutOfMemory;
    }
    item->chunk = chunk;
    if (w->lastPictureItem)
        w->lastPictureItem->next = item;
    else
        w->pictureItems = item;
    w->lastPictureItem = item;
    return noErr;
}

}  // namespace

int32_t MovieWriterSetProperty(MovieWriter* w, int32_t key, intptr_t value) {
    if (!w || w->signature != kWriterSignature || w->state != kWriterConfiguring)
        return kStatusParamError;
    const int32_t number = static_cast<int32_t>(value);
    switch (key) {
        case kPropAudioBitRate:
            w->audioBitRate = static_cast<uint32_t>(number);
            return noErr;
        case kPropChannelMode:
            w->channelMode = static_cast<uint16_t>(number);
            return noErr;
        case kPropVideoDataRate:
            // Kilobits to bytes per second; the modulo keeps the product in range
            // (and, taken as a mask, non-negative).
            w->videoDataRate =
                static_cast<int32_t>((static_cast<uint32_t>(number) & 0x3FFFFFu) * 128);
            return noErr;
        case kPropAudioPreload:
            w->audioPreload = static_cast<uint32_t>(number);
            return noErr;
        case kPropAudioInterleave: {
            const int32_t* pair = pointerArgument<int32_t>(value);
            if (!pair) return kStatusParamError;
            w->audioInterleaveScale = static_cast<uint32_t>(pair[0]);
            w->audioInterleaveStep = static_cast<uint32_t>(pair[1]);
            return noErr;
        }
        case kPropAudioChunkLength:
            w->audioChunkLength = static_cast<uint32_t>(number);
            return noErr;
        case kPropSoundGain:
            w->soundGain = kSoundGains[number >= 1 && number <= 3 ? number : 0];
            return noErr;
        case kPropPictureItem:
            return addPictureItem(w, pointerArgument<MovieWriterPictureItem>(value));
        case kPropScreenRect: {
            const int16_t* rect = pointerArgument<int16_t>(value);
            if (!rect) return kStatusParamError;
            std::memcpy(w->screenRect.data(), rect, sizeof(int16_t) * 4);
            return noErr;
        }
        case kPropControlSwitch:
            w->controlsSet = true;
            w->controlsValue = value != 0;
            return noErr;
        case kPropBackgroundColour: {
            const uint8_t* rgb = pointerArgument<uint8_t>(value);
            if (!rgb) return kStatusParamError;
            for (int i = 0; i < 3; ++i) w->background[i] = rgb[i];
            w->backgroundSet = true;
            return noErr;
        }
        case kPropDisplaySize: {
            const uint16_t* size = pointerArgument<uint16_t>(value);
            if (!size) return kStatusParamError;
            w->displayWidth = size[0];
            w->displayHeight = size[1];
            return noErr;
        }
        case kPropFullScreen:
            w->fullScreenSet = true;
            w->fullScreenValue = value != 0;
            return noErr;
        case kPropVideoTimeScale:
            // Frame durations are divided by the scale.
            if (number <= 0) return kStatusParamError;
            w->videoTimeScale = static_cast<uint32_t>(number);
            return noErr;
        case kPropRotation:
            w->rotation = static_cast<int16_t>(number & 0xFFFF);
            return noErr;
        default:
            return kStatusParamError;
    }
}

int32_t MovieWriterAddChapter(MovieWriter* w, uint32_t timeMs, const char* title,
                              uint32_t titleLength) {
    if (!w || w->signature != kWriterSignature || (!title && titleLength > 0))
        return kStatusParamError;
    if (titleLength > 0 && title[titleLength - 1] == '\r') --titleLength;
    uint32_t entry = 4 + titleLength + 2 + (titleLength & 1);
    uint32_t current = w->chapterList ? BlockLength(w->chapterList) : kChapterListStart;
    // The list becomes one chunk that must fit a record of its own; refuse
    // what would pass that, and the caller tells the user.
    if (entry > kMaxChapterListBytes - current || w->chapterCount == UINT16_MAX)
        return kStatusParamError;
    if (!w->chapterList) {
        w->chapterList = BlockNewCleared(kChapterListStart);
        if (!w->chapterList) return kStatusOutOfMemory;
    }
    appendU32(w->chapterList, timeMs / 10);
    if (titleLength > 0) BlockAppend(w->chapterList, title, titleLength);
    const uint8_t zeros[3] = {0, 0, 0};
    BlockAppend(w->chapterList, zeros, 2 + (titleLength & 1));
    if (!w->chapterList) {
        w->chapterCount = 0;
        return kStatusOutOfMemory;
    }
    ++w->chapterCount;
    return noErr;
}
