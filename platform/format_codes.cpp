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

// Codecs that have no four-character name of their own here or in FFmpeg's
// container tag lists get one from their codec number behind a '~', so
// every decoder FFmpeg has can be asked for by format.
constexpr OSType kCodecNumberPrefix = OSType('~') << 24;

OSType NamedByNumber(AVCodecID id) {
    return id == AV_CODEC_ID_NONE ? 0 : (kCodecNumberPrefix | (static_cast<OSType>(id) & 0xFFFFFF));
}

AVCodecID NumberedCodec(OSType format, AVMediaType type) {
    if ((format & 0xFF000000u) != kCodecNumberPrefix) return AV_CODEC_ID_NONE;
    const auto id = static_cast<AVCodecID>(format & 0xFFFFFF);
    const AVCodecDescriptor* d = avcodec_descriptor_get(id);
    return d != nullptr && d->type == type ? id : AV_CODEC_ID_NONE;
}

// A container tag FFmpeg knows for the codec, when it names it back.
OSType TagFor(AVCodecID id, const AVCodecTag* const* lists) {
    unsigned tag = 0;
    if (av_codec_get_tag2(lists, id, &tag) == 0 || !PrintableTag(tag)) return 0;
    return av_codec_get_id(lists, tag) == id ? OSTypeFromCodecTag(tag) : 0;
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
        if (const OSType known = Lookup(kSoundFormatCodes, par.codec_id); known != 0) return known;
        const AVCodecTag* const mov[] = {avformat_get_mov_audio_tags(), nullptr};
        if (const OSType tag = TagFor(par.codec_id, mov); tag != 0) return tag;
        return NamedByNumber(par.codec_id);
    }
    if (par.codec_type == AVMEDIA_TYPE_VIDEO) {
        if (family != ContainerFamily::kOther && PrintableTag(par.codec_tag)) {
            return OSTypeFromCodecTag(par.codec_tag);
        }
        if (const OSType known = Lookup(kVideoFormatCodes, par.codec_id); known != 0) return known;
        const AVCodecTag* const lists[] = {avformat_get_riff_video_tags(),
                                           avformat_get_mov_video_tags(), nullptr};
        if (const OSType tag = TagFor(par.codec_id, lists); tag != 0) return tag;
        return NamedByNumber(par.codec_id);
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
    if ((id = NumberedCodec(format, AVMEDIA_TYPE_VIDEO)) != AV_CODEC_ID_NONE) return id;
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
    if ((id = NumberedCodec(format, AVMEDIA_TYPE_AUDIO)) != AV_CODEC_ID_NONE) return id;
    if ((format >> 16) == ((static_cast<OSType>('m') << 8) | 's')) {
        const AVCodecTag* const lists[] = {avformat_get_riff_audio_tags(), nullptr};
        return av_codec_get_id(lists, format & 0xFFFF);
    }
    const AVCodecTag* const lists[] = {avformat_get_mov_audio_tags(), nullptr};
    return av_codec_get_id(lists, OSTypeFromCodecTag(format));
}
