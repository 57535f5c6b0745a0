// The codec bridge through the toolbox's component decoder: registration,
// codec information, the row bytes of odd widths, every pixel conversion,
// frames not to be displayed; and the AVI header reader on hostile bytes.
#include <gtest/gtest.h>

#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
}

#include "export/avi_support.h"
#include "export/codec_bridge.h"
#include "platform/codec_component.h"
#include "platform/movie_preview.h"
#include "platform/movies.h"
#include "platform/tests/support/corpus.h"
#include "platform/vfw.h"

namespace {

struct Packet {
    std::vector<uint8_t> data;
    bool key = false;
};

// The video packets of a file and its first video description.
std::vector<Packet> VideoPackets(const std::string& path, SampleDescription* desc) {
    Movie m = nullptr;
    EXPECT_EQ(NewMovieFromFile(path, &m), noErr);
    Track v = GetMovieIndTrackType(m, 1, kVideoMediaType, kMovieTrackMediaType);
    EXPECT_EQ(GetMediaSampleDescription(v, 1, desc), noErr);
    DisposeMovie(m);
    std::vector<Packet> out;
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) return out;
    avformat_find_stream_info(fmt, nullptr);
    const int video = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    AVPacket* p = av_packet_alloc();
    while (av_read_frame(fmt, p) >= 0) {
        if (p->stream_index == video)
            out.push_back({{p->data, p->data + p->size}, (p->flags & AV_PKT_FLAG_KEY) != 0});
        av_packet_unref(p);
    }
    av_packet_free(&p);
    avformat_close_input(&fmt);
    return out;
}

std::string DivxFile(int w, int h) {
    const std::string path = ScratchPath("divx" + std::to_string(w) + ".avi");
    if (!FileExists(path)) {
        EXPECT_EQ(RunCommand("ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=" +
                             std::to_string(w) + "x" + std::to_string(h) +
                             ":rate=10:duration=1 -c:v mpeg4 -vtag DIVX -q:v 2 '" + path + "'"),
                  0);
    }
    return path;
}

void EnsureBridge(OSType code) {
    ComponentDescription want{kImageDecompressorType, code, kCodecBridgeManufacturer, 0, 0};
    if (CountComponents(want) == 0) {
        ASSERT_EQ(RegisterCodecBridge(code, nullptr), noErr);
    }
}

// Decodes the first `n` frames; returns the last picture.
std::vector<uint8_t> DecodeFrames(const SampleDescription& d, const std::vector<Packet>& packets,
                                  size_t n, OSType format, OSType* got = nullptr) {
    std::unique_ptr<ComponentFrameDecoder> dec;
    EXPECT_EQ(ComponentFrameDecoder::Open(d, format, &dec), noErr);
    if (!dec) return {};
    for (size_t i = 0; i < n && i < packets.size(); ++i)
        EXPECT_EQ(dec->Decode(packets[i].data.data(), int32_t(packets[i].data.size()),
                              packets[i].key, false),
                  noErr);
    if (got) *got = dec->destFormat();
    const int bpp = dec->destFormat() == k24BGPixelFormat ? 3 : 4;
    std::vector<uint8_t> out;
    for (int y = 0; y < d.height; ++y) {
        const uint8_t* row = dec->pixels() + size_t(y) * size_t(dec->rowBytes());
        out.insert(out.end(), row, row + d.width * bpp);
    }
    return out;
}

// The description with its AVI header changed to claim another depth.
SampleDescription WithBitCount(SampleDescription d, uint16_t bits, bool withTable) {
    BitmapInfoHeader h;
    EXPECT_TRUE(ReadBitmapInfoHeader(d.strf, &h));
    std::vector<uint8_t> codec(d.strf.begin() + 40, d.strf.end());
    h.bitCount = bits;
    h.clrUsed = withTable ? 256 : 0;
    d.strf.assign(40, 0);
    WriteBitmapInfoHeader(h, std::span<uint8_t, 40>(d.strf.data(), 40));
    if (withTable) {
        // A 3-3-2 colour cube.
        for (int i = 0; i < 256; ++i) {
            const uint8_t r = uint8_t((i >> 5) * 255 / 7), g = uint8_t(((i >> 2) & 7) * 255 / 7),
                          b = uint8_t((i & 3) * 255 / 3);
            d.strf.insert(d.strf.end(), {b, g, r, 0});
        }
    }
    d.strf.insert(d.strf.end(), codec.begin(), codec.end());
    return d;
}

TEST(CodecBridge, RegistrationAndCodecInfo) {
    Component c = nullptr;
    const OSType code = MakeOSType("DX50");
    EXPECT_FALSE(HasImageDecompressor(code));
    ASSERT_EQ(RegisterCodecBridge(code, &c), noErr);
    EXPECT_TRUE(HasImageDecompressor(code));
    ComponentDescription want{kImageDecompressorType, code, 0, 0, 0};
    Component found = FindNextComponent(nullptr, want);
    ASSERT_NE(found, nullptr);
    ComponentDescription d;
    std::string name;
    ASSERT_EQ(GetComponentInfo(found, &d, &name), noErr);
    EXPECT_EQ(name, "Tavelle QT/VfW Bridge");
    EXPECT_EQ(d.componentManufacturer, MakeOSType("TvlO"));
    EXPECT_EQ(d.componentFlags, 0x38u);

    ComponentInstance ci = nullptr;
    ASSERT_EQ(OpenComponent(found, &ci), noErr);
    EXPECT_EQ(GetComponentVersion(ci), 0x00020001);
    uint8_t info[72];
    ASSERT_EQ(CallComponent(ci, kImageCodecGetCodecInfoSelect, info), noErr);
    EXPECT_EQ(CallComponent(ci, kImageCodecGetCodecInfoSelect, nullptr), kStatusParamError);
    const uint8_t want72[72] = {21,  'T', 'a', 'v', 'e', 'l', 'l', 'e', ' ', 'Q', 'T', '/', 'V',
                                'f', 'W', ' ', 'B', 'r', 'i', 'd', 'g', 'e', 0,   0,   0,   0,
                                0,   0,   0,   0,   0,   0,   0,   1,   0,   1,   'T', 'v', 'l',
                                'O', 0,   0,   0,   0x38, 0,  0,   4,   0x20, 0,  0,   0x20, 0x38,
                                128, 128, 0,   200, 0,   200, 128, 0,   0,   4,   0,   4,   0,
                                0,   0,   0,   0,   0,   0,   0};
    EXPECT_EQ(std::memcmp(info, want72, 72), 0);
    // Can-do: its own selectors, the base decompressor's for the rest.
    for (int16_t sel : {kImageCodecPreflightSelect, kImageCodecDrawBandSelect,
                        kComponentTargetSelect})
        EXPECT_EQ(CallComponent(ci, kComponentCanDoSelect, &sel), 1) << sel;
    int16_t unknown = 0x0300;
    EXPECT_EQ(CallComponent(ci, kComponentCanDoSelect, &unknown), 0);
    CloseComponent(ci);
    // Registering again adds a second component.
    ASSERT_EQ(RegisterCodecBridge(code, nullptr), noErr);
    EXPECT_EQ(CountComponents(want), 2);
}

TEST(CodecBridge, RowBytesOfOddWidths) {
    EXPECT_EQ(BridgeRowBytes(161), 484);
    for (int w = 1; w < 400; ++w) {
        EXPECT_EQ(BridgeRowBytes(w) % 4, 0) << w;
        EXPECT_GE(BridgeRowBytes(w), 3 * w) << w;
        EXPECT_LT(BridgeRowBytes(w), 3 * w + 4) << w;
    }
    // A 161-pixel frame decodes whole through the bridge (MPEG-4 needs even
    // sizes, so the frames are 162 wide and the description asks for 161).
    SampleDescription d;
    const auto packets = VideoPackets(DivxFile(162, 120), &d);
    ASSERT_FALSE(packets.empty());
    d.width = 161;
    EnsureBridge(d.dataFormat);
    const auto bgr = DecodeFrames(d, packets, 1, k24BGPixelFormat);
    ASSERT_EQ(bgr.size(), size_t(161 * 120 * 3));
    // The last column is picture, not padding: testsrc2 is not black there.
    int lit = 0;
    for (int y = 0; y < 120; ++y) lit += bgr[size_t(y * 161 + 160) * 3 + 1] > 16;
    EXPECT_GT(lit, 30);
}

TEST(CodecBridge, EveryPixelConversion) {
    SampleDescription d;
    const auto packets = VideoPackets(DivxFile(160, 120), &d);
    ASSERT_FALSE(packets.empty());
    EnsureBridge(d.dataFormat);
    OSType got = 0;
    const auto bgr = DecodeFrames(d, packets, 3, k24BGPixelFormat, &got);
    ASSERT_EQ(got, k24BGPixelFormat);
    const auto argb = DecodeFrames(d, packets, 3, k32RGBPixelFormat, &got);
    ASSERT_EQ(got, k32RGBPixelFormat);
    ASSERT_EQ(argb.size(), bgr.size() / 3 * 4);
    for (size_t i = 0; i < bgr.size() / 3; ++i) {
        ASSERT_EQ(argb[4 * i], 0);
        ASSERT_EQ(argb[4 * i + 1], bgr[3 * i + 2]);
        ASSERT_EQ(argb[4 * i + 2], bgr[3 * i + 1]);
        ASSERT_EQ(argb[4 * i + 3], bgr[3 * i]);
    }
    // Against ffmpeg's own decode: the bridge's top-down picture is the
    // source, not flipped.
    const std::string raw = ScratchPath("divx160.bgr");
    ASSERT_EQ(RunCommand("ffmpeg -nostdin -loglevel error -y -i '" + DivxFile(160, 120) +
                         "' -frames:v 3 -pix_fmt bgr24 -f rawvideo '" + raw + "'"),
              0);
    const auto ref = ReadWholeFile(raw);
    ASSERT_EQ(ref.size(), bgr.size() * 3);
    double err = 0;
    for (size_t i = 0; i < bgr.size(); ++i) err += std::abs(bgr[i] - ref[2 * bgr.size() + i]);
    EXPECT_LT(err / double(bgr.size()), 3.0);

    // 5-5-5 output, both destinations: every channel is a widened 5-bit
    // value, (v << 3) | (v >> 2), and near the 24-bit picture.
    const SampleDescription d16 = WithBitCount(d, 16, false);
    const auto bgr16 = DecodeFrames(d16, packets, 3, k24BGPixelFormat);
    const auto argb16 = DecodeFrames(d16, packets, 3, k32RGBPixelFormat);
    ASSERT_EQ(bgr16.size(), bgr.size());
    double diff = 0;
    for (size_t i = 0; i < bgr16.size(); ++i) {
        const int v = bgr16[i];
        ASSERT_EQ(v, ((v >> 3) << 3) | (v >> 5)) << i;
        diff += std::abs(v - bgr[i]);
    }
    EXPECT_LT(diff / double(bgr.size()), 6.0);
    for (size_t i = 0; i < bgr16.size() / 3; ++i) {
        ASSERT_EQ(argb16[4 * i], 0);
        ASSERT_EQ(argb16[4 * i + 1], bgr16[3 * i + 2]);
        ASSERT_EQ(argb16[4 * i + 3], bgr16[3 * i]);
    }

    // 8-bit output through the colour table: every pixel is a table entry.
    const SampleDescription d8 = WithBitCount(d, 8, true);
    const auto bgr8 = DecodeFrames(d8, packets, 3, k24BGPixelFormat);
    const auto argb8 = DecodeFrames(d8, packets, 3, k32RGBPixelFormat);
    ASSERT_EQ(bgr8.size(), bgr.size());
    diff = 0;
    for (size_t i = 0; i < bgr8.size() / 3; ++i) {
        const int b = bgr8[3 * i], g = bgr8[3 * i + 1], r = bgr8[3 * i + 2];
        const int ri = (r * 7 + 127) / 255, gi = (g * 7 + 127) / 255, bi = (b * 3 + 127) / 255;
        ASSERT_EQ(r, ri * 255 / 7) << i;
        ASSERT_EQ(g, gi * 255 / 7) << i;
        ASSERT_EQ(b, bi * 255 / 3) << i;
        ASSERT_EQ(argb8[4 * i + 1], r);
        ASSERT_EQ(argb8[4 * i + 3], b);
        diff += std::abs(g - bgr[3 * i + 1]);
    }
    EXPECT_LT(diff / double(bgr.size() / 3), 30.0);
}

TEST(CodecBridge, HiddenFrameIsDecodedButNotDrawn) {
    SampleDescription d;
    const auto packets = VideoPackets(DivxFile(160, 120), &d);
    ASSERT_GE(packets.size(), 4u);
    EnsureBridge(d.dataFormat);
    std::unique_ptr<ComponentFrameDecoder> dec;
    ASSERT_EQ(ComponentFrameDecoder::Open(d, k24BGPixelFormat, &dec), noErr);
    auto decode = [&](size_t i, bool hidden) {
        return dec->Decode(packets[i].data.data(), int32_t(packets[i].data.size()), packets[i].key,
                           hidden);
    };
    ASSERT_EQ(decode(0, false), noErr);
    const size_t bytes = size_t(dec->rowBytes()) * 120;
    const std::vector<uint8_t> first(dec->pixels(), dec->pixels() + bytes);
    ASSERT_EQ(decode(1, true), noErr);
    EXPECT_EQ(std::vector<uint8_t>(dec->pixels(), dec->pixels() + bytes), first);
    ASSERT_EQ(decode(2, false), noErr);
    EXPECT_NE(std::vector<uint8_t>(dec->pixels(), dec->pixels() + bytes), first);
    // The same frame decoded in full order matches: the hidden one still
    // served as reference.
    const auto straight = DecodeFrames(d, packets, 3, k24BGPixelFormat);
    EXPECT_EQ(std::vector<uint8_t>(dec->pixels(), dec->pixels() + bytes), straight);
}

// The driver's own bottom-up pictures of a sequence, decoded straight
// through Video for Windows: what the bridge must show, byte for byte.
std::vector<std::vector<uint8_t>> DriverPictures(const SampleDescription& d,
                                                 const std::vector<Packet>& packets, size_t n) {
    BitmapFormat in, out;
    EXPECT_TRUE(ReadBitmapInfoHeader(d.strf, &in.header));
    in.codecData.assign(d.strf.begin() + 40, d.strf.end());
    in.header.width = d.width;
    out.header.width = d.width;
    out.header.height = d.height;
    out.header.planes = 1;
    out.header.bitCount = 24;
    HIC ic = ICLocate(kICTypeVideo, d.dataFormat, in, &out);
    EXPECT_NE(ic, nullptr);
    if (ic == nullptr) return {};
    EXPECT_EQ(ICSendMessage(ic, kICMDecompressBegin, &in, &out), kICErrOK);
    const int32_t row = DibRowBytes(d.width, 24);
    std::vector<std::vector<uint8_t>> pictures;
    std::vector<uint8_t> dib(size_t(row) * size_t(d.height));
    for (size_t i = 0; i < n; ++i) {
        EXPECT_EQ(ICDecompress(ic, packets[i].key ? 0 : kICDecompressNotKeyFrame, in,
                               packets[i].data.data(), int32_t(packets[i].data.size()), out,
                               dib.data()),
                  kICErrOK);
        std::vector<uint8_t> topDown;
        for (int y = d.height - 1; y >= 0; --y)
            topDown.insert(topDown.end(), dib.begin() + ptrdiff_t(y) * row,
                           dib.begin() + ptrdiff_t(y) * row + d.width * 3);
        pictures.push_back(std::move(topDown));
    }
    ICSendMessage(ic, kICMDecompressEnd, nullptr, nullptr);
    ICClose(ic);
    return pictures;
}

TEST(CodecBridge, DrawsTheDriversPicturesExactly) {
    // 160 wide: the driver draws straight into a 24BG destination; 161: its
    // rows are padded, so the picture goes through the frame buffer; and
    // both widths through the 32-bit conversion (161 has a ragged tail).
    for (const int width : {160, 161}) {
        SCOPED_TRACE(width);
        SampleDescription d;
        const auto packets = VideoPackets(DivxFile(width + (width & 1), 120), &d);
        ASSERT_GE(packets.size(), 6u);
        d.width = width;
        EnsureBridge(d.dataFormat);
        const auto want = DriverPictures(d, packets, 6);
        ASSERT_EQ(want.size(), 6u);
        for (const OSType format : {k24BGPixelFormat, k32RGBPixelFormat}) {
            std::unique_ptr<ComponentFrameDecoder> dec;
            ASSERT_EQ(ComponentFrameDecoder::Open(d, format, &dec), noErr);
            const int bpp = format == k24BGPixelFormat ? 3 : 4;
            auto shown = [&] {
                std::vector<uint8_t> bgr;
                for (int y = 0; y < d.height; ++y) {
                    const uint8_t* row = dec->pixels() + ptrdiff_t(y) * dec->rowBytes();
                    for (int x = 0; x < width; ++x, row += bpp) {
                        if (bpp == 4) {
                            EXPECT_EQ(row[0], 0);
                            bgr.push_back(row[3]);
                            bgr.push_back(row[2]);
                            bgr.push_back(row[1]);
                        } else {
                            bgr.push_back(row[0]);
                            bgr.push_back(row[1]);
                            bgr.push_back(row[2]);
                        }
                    }
                }
                return bgr;
            };
            // Frames 0-2 shown, 3 decoded but hidden, then a dropped frame
            // (no data) that shows the last picture again, then 4 and 5.
            for (size_t i = 0; i < 3; ++i) {
                ASSERT_EQ(dec->Decode(packets[i].data.data(), int32_t(packets[i].data.size()),
                                      packets[i].key, false),
                          noErr);
                ASSERT_EQ(shown(), want[i]) << "frame " << i;
            }
            ASSERT_EQ(dec->Decode(packets[3].data.data(), int32_t(packets[3].data.size()),
                                  packets[3].key, true),
                      noErr);
            ASSERT_EQ(shown(), want[2]);
            ASSERT_EQ(dec->Decode(packets[3].data.data(), 0, false, false), noErr);
            ASSERT_EQ(shown(), want[2]);
            for (size_t i = 4; i < 6; ++i) {
                ASSERT_EQ(dec->Decode(packets[i].data.data(), int32_t(packets[i].data.size()),
                                      packets[i].key, false),
                          noErr);
                ASSERT_EQ(shown(), want[i]) << "frame " << i;
            }
        }
    }
}

TEST(CodecBridge, NoDriverForTheCode) {
    // A bridge registered for a code Video for Windows lacks fails preflight.
    const OSType code = MakeOSType("ZZZZ");
    ASSERT_EQ(RegisterCodecBridge(code, nullptr), noErr);
    SampleDescription d;
    d.descType = kImageDescriptionType;
    d.dataFormat = code;
    d.width = 16;
    d.height = 16;
    std::unique_ptr<ComponentFrameDecoder> dec;
    ASSERT_EQ(ComponentFrameDecoder::Open(d, k24BGPixelFormat, &dec), noErr);
    const uint8_t junk[32] = {};
    EXPECT_EQ(dec->Decode(junk, sizeof junk, true, false), kStatusNoCodecDriver);
}

TEST(AviPreview, RegistersTheBridgeAndPassesOn) {
    Component c = nullptr;
    ASSERT_EQ(RegisterAviPreviewComponent(&c), noErr);
    ComponentDescription d;
    std::string name;
    ASSERT_EQ(GetComponentInfo(c, &d, &name), noErr);
    EXPECT_EQ(name, "Vezada ZER");
    EXPECT_EQ(d.componentFlags, 1u);
    ComponentInstance ci = nullptr;
    ASSERT_EQ(OpenComponent(c, &ci), noErr);
    EXPECT_EQ(GetComponentVersion(ci), 0x00020001);
    for (int16_t sel : {-4, -1, 1, 4}) EXPECT_EQ(CallComponent(ci, kComponentCanDoSelect, &sel), 1);
    for (int16_t sel : {-5, 0, 5}) EXPECT_EQ(CallComponent(ci, kComponentCanDoSelect, &sel), 0);
    EXPECT_EQ(CallComponent(ci, 7, nullptr), -4);

    // A DIV3 file: no bridge for its code yet; showing its preview adds one.
    const std::string path = ScratchPath("preview.avi");
    ASSERT_EQ(RunCommand("ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=64x48:"
                         "rate=10:duration=1 -c:v msmpeg4 -vtag DIV4 '" +
                         path + "'"),
              0);
    const OSType code = MakeOSType("DIV4");
    ComponentDescription want{kImageDecompressorType, code, 0, 0, 0};
    ASSERT_EQ(CountComponents(want), 0);
    DataReference ref;
    ASSERT_EQ(NewAliasDataReference(path, &ref), noErr);
    std::vector<uint8_t> px(32 * 24 * 4);
    PreviewShowDataParams p{kAliasDataReferenceType, &ref, {px.data(), 32, 24, 128, k32BGRAPixelFormat}};
    EXPECT_EQ(CallComponent(ci, kPreviewShowDataSelect, &p), noErr);
    EXPECT_EQ(CountComponents(want), 1);
    size_t lit = 0;
    for (uint8_t v : px) lit += v > 16;
    EXPECT_GT(lit, px.size() / 4);  // the delegate drew the picture through the bridge
    p.dataType = MakeOSType("hndl");
    EXPECT_EQ(CallComponent(ci, kPreviewShowDataSelect, &p), kStatusParamError);
    CloseComponent(ci);
}

// --- The header reader on hostile bytes ------------------------------------------

void Put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
void PutCode(std::vector<uint8_t>& b, const char* c) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(c[i]));
}

// RIFF AVI headers with the given streams: {type, format bytes}.
std::vector<uint8_t> Headers(uint32_t streamCount,
                             const std::vector<std::pair<const char*, std::vector<uint8_t>>>& s) {
    std::vector<uint8_t> b;
    PutCode(b, "RIFF");
    Put32(b, 0);
    PutCode(b, "AVI ");
    PutCode(b, "LIST");
    Put32(b, 0);
    PutCode(b, "hdrl");
    PutCode(b, "avih");
    Put32(b, 56);
    std::vector<uint8_t> avih(56, 0);
    for (int i = 0; i < 4; ++i) avih[24 + i] = uint8_t(streamCount >> (8 * i));
    b.insert(b.end(), avih.begin(), avih.end());
    for (const auto& [type, fmt] : s) {
        std::vector<uint8_t> l;
        PutCode(l, "strl");
        PutCode(l, "strh");
        Put32(l, 56);
        PutCode(l, type);
        l.resize(l.size() + 52, 0);
        PutCode(l, "strf");
        Put32(l, uint32_t(fmt.size()));
        l.insert(l.end(), fmt.begin(), fmt.end());
        if (fmt.size() & 1) l.push_back(0);
        PutCode(b, "LIST");
        Put32(b, uint32_t(l.size()));
        b.insert(b.end(), l.begin(), l.end());
    }
    return b;
}

std::vector<uint8_t> VideoFormat(const char* code) {
    std::vector<uint8_t> f(40, 0);
    std::memcpy(f.data() + 16, code, 4);
    return f;
}

TEST(AviHeaders, WellFormedAndHostile) {
    AviHeaderInfo info;
    const std::vector<uint8_t> mp3 = {0x55, 0, 2, 0};
    ParseAviHeaders(Headers(3, {{"vids", VideoFormat("DIVX")},
                                {"vids", VideoFormat("XVID")},
                                {"auds", mp3}}),
                    &info);
    EXPECT_EQ(info.videoCode, MakeOSType("DIVX"));  // the first of two
    EXPECT_EQ(info.audioTag, 0x55);

    // The walk stops after the stream count.
    ParseAviHeaders(Headers(1, {{"vids", VideoFormat("DIVX")}, {"auds", mp3}}), &info);
    EXPECT_EQ(info.audioTag, 0);

    // A count of a million with two streams present reads those two only.
    ParseAviHeaders(Headers(1000000, {{"auds", mp3}, {"vids", VideoFormat("DIV3")}}), &info);
    EXPECT_EQ(info.videoCode, MakeOSType("DIV3"));
    EXPECT_EQ(info.audioTag, 0x55);

    // A video format too short for its code is ignored, and so is an empty audio one.
    ParseAviHeaders(Headers(2, {{"vids", std::vector<uint8_t>(18, 'x')}, {"auds", {}}}), &info);
    EXPECT_EQ(info.videoCode, 0u);
    EXPECT_EQ(info.audioTag, 0);

    // Sizes past the end of the bytes: every prefix of a good header parses safely.
    const auto good = Headers(2, {{"vids", VideoFormat("DIVX")}, {"auds", mp3}});
    for (size_t n = 0; n < good.size(); ++n) {
        const std::vector<uint8_t> cut(good.begin(), good.begin() + long(n));
        ParseAviHeaders(cut, &info);
        if (n < good.size() - 8) {
            EXPECT_EQ(info.audioTag, 0) << n;
        }
    }
    // A main header claiming 4 GB, a stream list claiming more than is there.
    auto big = good;
    big[28] = big[29] = big[30] = big[31] = 0xFF;
    ParseAviHeaders(big, &info);
    EXPECT_EQ(info.videoCode, 0u);
    auto longList = good;
    longList[32 + 56 + 4] = 0xFF;
    longList[32 + 56 + 7] = 0x7F;
    ParseAviHeaders(longList, &info);
    EXPECT_EQ(info.videoCode, MakeOSType("DIVX"));  // read as far as the bytes go
    // Not AVI at all.
    auto wave = good;
    std::memcpy(wave.data() + 8, "WAVE", 4);
    ParseAviHeaders(wave, &info);
    EXPECT_EQ(info.videoCode, 0u);
}

}  // namespace
