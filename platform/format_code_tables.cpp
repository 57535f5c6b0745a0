#include "platform/format_code_tables.h"

// The first entry of a codec is the name it gets; later ones are aliases
// that are still recognised when asking for a decoder.
constexpr std::array<FormatCodeEntry, 33> kVideoFormatCodesInit{{
    {AV_CODEC_ID_H264, MakeOSType("avc1")},
    {AV_CODEC_ID_HEVC, MakeOSType("hvc1")},
    {AV_CODEC_ID_MPEG4, MakeOSType("mp4v")},
    {AV_CODEC_ID_MJPEG, MakeOSType("jpeg")},
    {AV_CODEC_ID_MJPEGB, MakeOSType("mjpb")},
    {AV_CODEC_ID_PNG, MakeOSType("png ")},
    {AV_CODEC_ID_GIF, MakeOSType("gif ")},
    {AV_CODEC_ID_TIFF, MakeOSType("tiff")},
    {AV_CODEC_ID_BMP, MakeOSType("BMP ")},
    {AV_CODEC_ID_MPEG1VIDEO, MakeOSType("mp1v")},
    {AV_CODEC_ID_MPEG2VIDEO, MakeOSType("mp2v")},
    {AV_CODEC_ID_DVVIDEO, MakeOSType("dvc ")},
    {AV_CODEC_ID_VP8, MakeOSType("VP80")},
    {AV_CODEC_ID_VP9, MakeOSType("vp09")},
    {AV_CODEC_ID_AV1, MakeOSType("av01")},
    {AV_CODEC_ID_FLV1, MakeOSType("FLV1")},
    {AV_CODEC_ID_H263, MakeOSType("h263")},
    {AV_CODEC_ID_SVQ1, MakeOSType("SVQ1")},
    {AV_CODEC_ID_SVQ3, MakeOSType("SVQ3")},
    {AV_CODEC_ID_CINEPAK, MakeOSType("cvid")},
    {AV_CODEC_ID_RAWVIDEO, MakeOSType("raw ")},
    {AV_CODEC_ID_MSMPEG4V3, MakeOSType("DIV3")},
    {AV_CODEC_ID_MSMPEG4V2, MakeOSType("MP42")},
    {AV_CODEC_ID_MSMPEG4V1, MakeOSType("MPG4")},
    {AV_CODEC_ID_THEORA, MakeOSType("XiTh")},
    {AV_CODEC_ID_PRORES, MakeOSType("apcn")},
    {AV_CODEC_ID_QTRLE, MakeOSType("rle ")},
    {AV_CODEC_ID_RPZA, MakeOSType("rpza")},
    {AV_CODEC_ID_SMC, MakeOSType("smc ")},
    {AV_CODEC_ID_VP6F, MakeOSType("VP6F")},
    {AV_CODEC_ID_WMV2, MakeOSType("WMV2")},
    // The toolbox's own name for Microsoft MPEG-4 version 1, which AVI
    // stores as MPG4: descriptions renamed to it reach this decoder.
    {AV_CODEC_ID_MSMPEG4V1, MakeOSType("mpg4")},
    {AV_CODEC_ID_MPEG4, MakeOSType("XVID")},
}};
const std::array<FormatCodeEntry, 33> kVideoFormatCodes = kVideoFormatCodesInit;

constexpr std::array<FormatCodeEntry, 26> kSoundFormatCodesInit{{
    {AV_CODEC_ID_PCM_U8, MakeOSType("raw ")},
    {AV_CODEC_ID_PCM_S16BE, MakeOSType("twos")},
    {AV_CODEC_ID_PCM_S8, MakeOSType("twos")},
    {AV_CODEC_ID_PCM_S16LE, MakeOSType("sowt")},
    {AV_CODEC_ID_PCM_S24BE, MakeOSType("in24")},
    {AV_CODEC_ID_PCM_S32BE, MakeOSType("in32")},
    {AV_CODEC_ID_PCM_F32BE, MakeOSType("fl32")},
    {AV_CODEC_ID_PCM_F64BE, MakeOSType("fl64")},
    {AV_CODEC_ID_MP3, MakeOSType(".mp3")},
    {AV_CODEC_ID_MP2, MakeOSType(".mp2")},
    {AV_CODEC_ID_MP1, MakeOSType(".mp1")},
    {AV_CODEC_ID_AAC, MakeOSType("mp4a")},
    {AV_CODEC_ID_AC3, MakeOSType("ac-3")},
    {AV_CODEC_ID_EAC3, MakeOSType("ec-3")},
    {AV_CODEC_ID_ALAC, MakeOSType("alac")},
    {AV_CODEC_ID_FLAC, MakeOSType("fLaC")},
    {AV_CODEC_ID_OPUS, MakeOSType("Opus")},
    {AV_CODEC_ID_VORBIS, MakeOSType("vorb")},
    {AV_CODEC_ID_ADPCM_IMA_QT, MakeOSType("ima4")},
    {AV_CODEC_ID_PCM_ALAW, MakeOSType("alaw")},
    {AV_CODEC_ID_PCM_MULAW, MakeOSType("ulaw")},
    {AV_CODEC_ID_AMR_NB, MakeOSType("samr")},
    {AV_CODEC_ID_QDM2, MakeOSType("QDM2")},
    {AV_CODEC_ID_MACE3, MakeOSType("MAC3")},
    {AV_CODEC_ID_MACE6, MakeOSType("MAC6")},
    // Uncompressed 8-bit sound under its other name.
    {AV_CODEC_ID_PCM_U8, MakeOSType("NONE")},
}};
const std::array<FormatCodeEntry, 26> kSoundFormatCodes = kSoundFormatCodesInit;
