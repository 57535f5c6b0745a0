#pragma once
// Four-character sample formats for FFmpeg's streams, and back.
// Platform-private: callers outside platform/ see only the OSType codes.
#include <cstdint>  // before FFmpeg headers, which need the C99 constant macros

extern "C" {
#include <libavcodec/codec_id.h>
#include <libavcodec/codec_par.h>
}

#include "platform/media_types.h"

enum class ContainerFamily { kOther, kQuickTime, kRiff };

// The data format a source stream's sample descriptions carry. QuickTime and
// RIFF containers name their own formats (the stored tag wins); elsewhere
// the codec decides.
OSType SampleFormatForStream(const AVCodecParameters& par, ContainerFamily family);
// The codec that decodes a data format, AV_CODEC_ID_NONE when none is known.
AVCodecID CodecForVideoFormat(OSType format);
AVCodecID CodecForSoundFormat(OSType format);
// An FFmpeg codec tag (first character in the low byte) as a four-character code.
OSType OSTypeFromCodecTag(uint32_t tag);
