#include "platform/format_codes.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "platform/format_code_tables.h"

std::string OSTypeToString(OSType t) {
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((t >> shift) & 0xFF);
        s += (c >= 32 && c < 127) ? c : '?';
    }
    return s;
}

OSType OSTypeFromCodecTag(uint32_t tag) {
    return ((tag & 0xFF) << 24) | (((tag >> 8) & 0xFF) << 16) | (((tag >> 16) & 0xFF) << 8) |
           (tag >> 24);
}

namespace {

template <size_t N>
OSType Lookup(const std::array<FormatCodeEntry, N>& table, AVCodecID id) {
    for (const auto& e : table) {
        if (e.codec == id) return e.format;
    }
    return 0;
}

template <size_t N>
AVCodecID Lookup(const std::array<FormatCodeEntry, N>& table, OSType format) {
    for (const auto& e : table) {
        if (e.format == format) return e.codec;
    }
    return AV_CODEC_ID_NONE;
}

bool IsPcm(AVCodecID id) {
    switch (id) {
        case AV_CODEC_ID_PCM_U8:
        case AV_CODEC_ID_PCM_S8:
        case AV_CODEC_ID_PCM_S16LE:
        case AV_CODEC_ID_PCM_S16BE:
            return true;
        default:
            return false;
    }
}

bool PrintableTag(uint32_t tag) {
    for (int i = 0; i < 4; ++i) {
        const uint8_t c = static_cast<uint8_t>(tag >> (8 * i));
        if (c < 32 || c > 126) return false;
    }
    return true;
}

}  // namespace

OSType SampleFormatForStream(const AVCodecParameters& par, ContainerFamily family) {
    if (par.codec_type == AVMEDIA_TYPE_AUDIO) {
        // Plain PCM is named by its layout whatever the container calls it.
        if (IsPcm(par.codec_id)) return Lookup(kSoundFormatCodes, par.codec_id);
        if (family == ContainerFamily::kRiff && par.codec_tag != 0 && par.codec_tag <= 0xFFFF) {
            return MakeWaveFormatType(static_cast<uint16_t>(par.codec_tag));
        }
        if (family == ContainerFamily::kQuickTime && PrintableTag(par.codec_tag)) {
            return OSTypeFromCodecTag(par.codec_tag);
        }
        return Lookup(kSoundFormatCodes, par.codec_id);
    }
    if (par.codec_type == AVMEDIA_TYPE_VIDEO) {
        if (family != ContainerFamily::kOther && PrintableTag(par.codec_tag)) {
            return OSTypeFromCodecTag(par.codec_tag);
        }
        return Lookup(kVideoFormatCodes, par.codec_id);
    }
    if (par.codec_type == AVMEDIA_TYPE_SUBTITLE) {
        if (family == ContainerFamily::kQuickTime && PrintableTag(par.codec_tag)) {
            return OSTypeFromCodecTag(par.codec_tag);
        }
        return kTextFormat;
    }
    return 0;
}

AVCodecID CodecForVideoFormat(OSType format) {
    if (format == 0) return AV_CODEC_ID_NONE;
    AVCodecID id = Lookup(kVideoFormatCodes, format);
    if (id != AV_CODEC_ID_NONE) return id;
    // Formats named by a container tag: ask FFmpeg's own tag lists.
    const uint32_t tag = OSTypeFromCodecTag(format);  // the swap is its own inverse
    const AVCodecTag* const lists[] = {avformat_get_riff_video_tags(),
                                       avformat_get_mov_video_tags(), nullptr};
    id = av_codec_get_id(lists, tag);
    return id;
}

AVCodecID CodecForSoundFormat(OSType format) {
    if (format == 0) return AV_CODEC_ID_PCM_S16LE;
    AVCodecID id = Lookup(kSoundFormatCodes, format);
    if (id != AV_CODEC_ID_NONE) return id;
    if ((format >> 16) == ((static_cast<OSType>('m') << 8) | 's')) {
        const AVCodecTag* const lists[] = {avformat_get_riff_audio_tags(), nullptr};
        return av_codec_get_id(lists, format & 0xFFFF);
    }
    const AVCodecTag* const lists[] = {avformat_get_mov_audio_tags(), nullptr};
    return av_codec_get_id(lists, OSTypeFromCodecTag(format));
}
