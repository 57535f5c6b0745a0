// The header block built at start: movie, stream and presentation chunks in
// the order the player reads them.
#include <algorithm>
#include <array>

#include "engine/chunk_append.h"
#include "engine/chunk_tags.h"
#include "engine/record_layout.h"
#include "engine/writer_record.h"
#include "platform/status.h"

namespace {

// Depth class written in "mv", by video mode 1..8.
constexpr std::array<uint8_t, 9> kDepthClass = {0, 2, 8, 1, 4, 4, 8, 16, 16};
constexpr uint8_t kDepthClassPicturesOnly = 16;

constexpr uint32_t kPaletteBytes = 768;
constexpr uint32_t kInverseMapBytes = 8192;

// ATRAC3 bit rate -> the code "ax" carries.
constexpr std::array<std::array<uint32_t, 2>, 6> kBitRateCodes = {
    {{66000, 66}, {47000, 47}, {33000, 33}, {23500, 24}, {16500, 16}, {11750, 12}}};

uint16_t bitRateCode(uint32_t rate) {
    for (const auto& entry : kBitRateCodes)
        if (entry[0] == rate) return static_cast<uint16_t>(entry[1]);
    return 33;
}

bool hasPalette(int32_t mode) {
    return mode == kVideoModeColour8 || (mode >= kVideoModeRle && mode <= kVideoModeMpeg4);
}

int32_t offset(BlockHandle block) {
    return static_cast<int32_t>(BlockLength(block));
}

void appendStreamPair(BlockHandle& h, uint16_t stream, int32_t& shOffset, int32_t& sxOffset) {
    shOffset = offset(h);
    appendChunkHeader(h, 10, kTagStreamHeader);
    appendU16(h, stream);
    appendU16(h, 0);
    appendU16(h, 0);  // duration, patched when finishing
    sxOffset = offset(h);
    appendChunkHeader(h, 14, kTagStreamExtent);
    appendU16(h, stream);
    appendU32(h, 0);
    appendU32(h, 0);  // duration, patched when finishing
}

void appendSwitch(BlockHandle& h, uint16_t tag, uint8_t value) {
    appendChunkHeader(h, 6, tag);
    appendU8(h, 0);
    appendU8(h, value);
}

void appendZeros(BlockHandle& h, uint32_t count) {
    uint32_t at = BlockLength(h);
    if (!BlockGrow(h, count)) return;
    std::fill_n(BlockData(h) + at, count, uint8_t{0});
}

int32_t appendMetadata(MovieWriter* w, BlockHandle& h) {
    if (w->title.empty() && w->information.empty() && w->rights.empty()) return noErr;
    size_t strings = w->title.size() + w->information.size() + w->rights.size() + 3;
    size_t length = kChunkHeaderBytes + strings + (strings & 1);
    if (length > kMaxChunkBytes) return kStatusParamError;
    appendChunkHeader(h, static_cast<uint16_t>(length), kTagMetadata);
    for (const std::string* text : {&w->title, &w->information, &w->rights}) {
        BlockAppendString(h, text->c_str());
        appendU8(h, 0);
    }
    if (strings & 1) appendU8(h, 0);
    return noErr;
}

void appendChapters(MovieWriter* w, BlockHandle& h) {
    if (!w->chapterList || w->chapterCount == 0) return;
    uint8_t* list = BlockData(w->chapterList);
    uint32_t length = BlockLength(w->chapterList);
    list[0] = static_cast<uint8_t>(length >> 8);
    list[1] = static_cast<uint8_t>(length);
    list[2] = static_cast<uint8_t>(kTagChapters >> 8);
    list[3] = static_cast<uint8_t>(kTagChapters);
    list[4] = static_cast<uint8_t>(w->chapterCount >> 8);
    list[5] = static_cast<uint8_t>(w->chapterCount);
    BlockAppendBlock(h, w->chapterList);
}

}  // namespace

int32_t writerBuildHeader(MovieWriter* w) {
    BlockHandle h = nullptr;
    appendChunkHeader(h, 10, kTagMovie);
    if (w->encodedWidth == 0 || w->encodedHeight == 0) {
        appendU16(h, w->displayWidth);
        appendU16(h, w->displayHeight);
        appendU8(h, 1);
    } else {
        appendU16(h, w->encodedWidth);
        appendU16(h, w->encodedHeight);
        appendU8(h, 0);
    }
    appendU8(h, w->hasVideo       ? kDepthClass[w->videoMode]
                : w->pictureItems ? kDepthClassPicturesOnly
                                  : 0);

    w->movieKindOffset = offset(h);
    appendChunkHeader(h, 6, kTagMovieKind);
    appendU16(h, 0);  // patched when finishing

    if (w->hasVideo) appendStreamPair(h, kStreamVideo, w->videoShOffset, w->videoSxOffset);
    if (w->hasSound) {
        appendStreamPair(h, kStreamSound, w->soundShOffset, w->soundSxOffset);
        w->audioHeaderOffset = offset(h);
        appendChunkHeader(h, 18, kTagAudioHeader);
        appendU32(h, w->audioFormat);
        appendU16(h, w->outputChannels);
        appendU32(h, w->sampleRate);
        appendU32(h, w->audioPreload);  // patched with what was preloaded
        if (w->audioFormat == kAudioFormatAtrac3) {
            appendChunkHeader(h, 8, kTagAudioExtra);
            appendU16(h, w->channelMode);
            appendU16(h, bitRateCode(w->audioBitRate));
        }
    }
    if (w->rotation != 0) {
        appendChunkHeader(h, 6, kTagAngle);
        appendU16(h, static_cast<uint16_t>(w->rotation));
    }
    if (int32_t status = appendMetadata(w, h); status != noErr) {
        BlockFree(h);
        return status;
    }
    const auto& r = w->screenRect;  // top, left, bottom, right
    if (r[0] != r[2] && r[1] != r[3]) {
        appendChunkHeader(h, 12, kTagScreenRect);
        for (int16_t v : r) appendU16(h, static_cast<uint16_t>(v));
    }
    if (w->controlsSet) appendSwitch(h, kTagControls, w->controlsValue);
    if (w->backgroundSet) {
        appendChunkHeader(h, 8, kTagBackground);
        for (int32_t c : w->background) appendU8(h, static_cast<uint8_t>(c));
        appendU8(h, 0);
    }
    if (w->fullScreenSet) appendSwitch(h, kTagFullScreen, w->fullScreenValue);
    appendChunkHeader(h, 4, kTagBeginTracks);
    if (w->hasVideo && hasPalette(w->videoMode)) {
        appendChunkHeader(h, kChunkHeaderBytes + kPaletteBytes, kTagPalette);
        w->paletteOffset = offset(h);
        appendZeros(h, kPaletteBytes);
        appendChunkHeader(h, kChunkHeaderBytes + kInverseMapBytes, kTagInverseMap);
        w->inverseMapOffset = offset(h);
        appendZeros(h, kInverseMapBytes);
    }
    if (!h) return kStatusOutOfMemory;
    // Everything before the chapter list stays in the first record, where
    // finishing patches it; only texts far longer than any source's could
    // push it past a record.
    if (BlockLength(h) > kMaxHeaderChunkBytes) {
        BlockFree(h);
        return kStatusParamError;
    }
    w->chapterListOffset = w->chapterList && w->chapterCount ? offset(h) : -1;
    appendChapters(w, h);
    if (!h) return kStatusOutOfMemory;
    w->header = h;
    return noErr;
}
