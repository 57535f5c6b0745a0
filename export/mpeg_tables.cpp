// The rate tables of MPEG audio and frame headers read with them.
#include "export/mpeg_audio.h"

#include "resources/resources.h"

namespace {

uint32_t be32(std::span<const uint8_t> d, size_t at) {
    return (uint32_t(d[at]) << 24) | (uint32_t(d[at + 1]) << 16) | (uint32_t(d[at + 2]) << 8) |
           uint32_t(d[at + 3]);
}

template <size_t N>
OSStatus loadValues(const ResourceFile& file, FourCC type, std::array<uint32_t, N>* out) {
    std::span<const uint8_t> data;
    if (OSStatus err = file.get(type, kMpegRateTablesID, &data); err != noErr) return err;
    if (data.size() != N * 4) return kStatusBadResourceMap;
    for (size_t i = 0; i < N; ++i) (*out)[i] = be32(data, i * 4);
    return noErr;
}

MpegRateTables g_tables;
int g_users = 0;

}  // namespace

OSStatus LoadMpegRateTables(const ResourceFile& file, MpegRateTables* out) {
    if (out == nullptr) return kStatusParamError;
    MpegRateTables t;
    if (OSStatus err = loadValues(file, kResTypeMpegBitRates, &t.bitRates); err != noErr)
        return err;
    if (OSStatus err = loadValues(file, kResTypeMpegSampleRates, &t.sampleRates); err != noErr)
        return err;
    *out = t;
    return noErr;
}

OSStatus AcquireMpegRateTables(const MpegRateTables** out) {
    if (g_users == 0) {
        if (OSStatus err = LoadMpegRateTables(moviepackerResources(), &g_tables); err != noErr)
            return err;
    }
    ++g_users;
    if (out != nullptr) *out = &g_tables;
    return noErr;
}

void ReleaseMpegRateTables() {
    if (g_users > 0 && --g_users == 0) g_tables = {};
}

bool ParseMpegFrameHeader(uint32_t word, const MpegRateTables& tables, MpegFrameHeader* out) {
    if ((word >> 21) != 0x7FF) return false;
    static constexpr int kVersionRow[4] = {2, -1, 1, 0};  // by the two version bits
    const int version = kVersionRow[(word >> 19) & 3];
    const int layerBits = (word >> 17) & 3;
    if (version < 0 || layerBits == 0) return false;
    MpegFrameHeader h;
    h.version = version;
    h.layer = 4 - layerBits;
    h.crc = ((word >> 16) & 1) == 0;
    h.bitRateIndex = int((word >> 12) & 15);
    h.sampleRateIndex = int((word >> 10) & 3);
    h.bitRate = tables.bitRate(version, h.layer - 1, h.bitRateIndex);
    h.sampleRate = tables.sampleRate(version, h.sampleRateIndex);
    if (h.bitRate == 0 || h.sampleRate == 0) return false;
    h.padding = ((word >> 9) & 1) != 0;
    h.mode = int((word >> 6) & 3);
    h.modeExtension = int((word >> 4) & 3);
    h.channels = h.mode == 3 ? 1 : 2;
    // Layer I counts in 4-byte slots; Layer III of the low rates halves the frame.
    if (h.layer == 1) {
        h.samplesPerFrame = 384;
        h.frameBytes = int((12 * h.bitRate / h.sampleRate + (h.padding ? 1 : 0)) * 4);
    } else {
        h.samplesPerFrame = (h.layer == 3 && version != 0) ? 576 : 1152;
        h.frameBytes =
            int(uint64_t(h.samplesPerFrame) / 8 * h.bitRate / h.sampleRate + (h.padding ? 1 : 0));
    }
    if (out != nullptr) *out = h;
    return true;
}
