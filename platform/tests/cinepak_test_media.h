#pragma once
// Test pictures, FFmpeg's Cinepak decoder and PSNR for the Cinepak tests and benchmark.
extern "C" {
#include <libavcodec/avcodec.h>
}

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace cinepak_test {

// A BGRA picture with no row padding.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bgra;
    size_t rowBytes() const { return static_cast<size_t>(width) * 4; }
};

inline uint32_t hash(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

// A scene with what hurts a vector quantiser: smooth colour ramps, hard edges, fine texture,
// saturated discs and a little noise. Time t moves the discs, pans the texture and drifts
// the ramp; t = 0 for every frame gives a still picture.
inline Picture scene(int width, int height, double t) {
    Picture p;
    p.width = width;
    p.height = height;
    p.bgra.resize(static_cast<size_t>(width) * height * 4);
    const double sx = width / 320.0;
    const double sy = height / 240.0;
    struct Disc {
        double x, y, r, dx, dy;
        uint8_t b, g, r8;
    };
    const Disc discs[] = {{80, 60, 30, 2.5, 1.2, 40, 60, 230},
                          {220, 150, 40, -1.8, 0.9, 220, 90, 30},
                          {160, 200, 24, 1.1, -2.2, 60, 210, 240}};
    double centre[3][2];
    for (int i = 0; i < 3; ++i) {
        centre[i][0] = std::fmod(std::fmod(discs[i].x + discs[i].dx * t, 320.0) + 320.0, 320.0);
        centre[i][1] = std::fmod(std::fmod(discs[i].y + discs[i].dy * t, 240.0) + 240.0, 240.0);
    }
    const double drift = 20 * std::sin(t * 0.05);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double fx = x / sx;
            const double fy = y / sy;
            double r = 40 + 150 * (fx / 320.0) + drift;
            double g = 60 + 120 * (fy / 240.0);
            double b = 200 - 120 * ((fx + fy) / 560.0);
            // A panning texture band: stripes and a checker.
            if (fy > 100 && fy < 150) {
                const double px = fx + t * 3.0;
                const double stripe = std::sin(px * 0.35) * 50;
                const bool check = (static_cast<int>(px / 8) + static_cast<int>(fy / 8)) & 1;
                r = 128 + stripe + (check ? 40 : -40);
                g = 110 + stripe * 0.5;
                b = 90 - stripe * 0.7 + (check ? 30 : -30);
            }
            // A frame of hard lines like text or a border.
            if ((static_cast<int>(fy) % 40 == 5 && fx > 20 && fx < 300) ||
                (static_cast<int>(fx) % 64 == 7 && fy > 160 && fy < 230)) {
                r = g = b = 250;
            }
            for (int i = 0; i < 3; ++i) {
                const Disc& d = discs[i];
                const double wx = centre[i][0];
                const double wy = centre[i][1];
                const double dist2 = (fx - wx) * (fx - wx) + (fy - wy) * (fy - wy);
                if (dist2 < d.r * d.r) {
                    const double shade = 1.0 - 0.4 * dist2 / (d.r * d.r);
                    r = d.r8 * shade;
                    g = d.g * shade;
                    b = d.b * shade;
                }
            }
            const double noise = static_cast<double>(hash(x * 7919u + y * 104729u) % 9) - 4.0;
            uint8_t* px = &p.bgra[(static_cast<size_t>(y) * width + x) * 4];
            auto clip = [](double v) {
                return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : std::lround(v)));
            };
            px[0] = clip(b + noise);
            px[1] = clip(g + noise);
            px[2] = clip(r + noise);
            px[3] = 255;
        }
    }
    return p;
}

// PSNR over the three colour channels of two pictures of one size (BGRA against RGB24
// rows of rgbStride bytes).
inline double psnrAgainstRgb(const Picture& src, const uint8_t* rgb, int rgbStride) {
    double sum = 0;
    for (int y = 0; y < src.height; ++y) {
        const uint8_t* s = &src.bgra[static_cast<size_t>(y) * src.rowBytes()];
        const uint8_t* d = rgb + static_cast<size_t>(y) * rgbStride;
        for (int x = 0; x < src.width; ++x) {
            for (int c = 0; c < 3; ++c) {
                const double e = static_cast<double>(s[x * 4 + 2 - c]) - d[x * 3 + c];
                sum += e * e;
            }
        }
    }
    const double mse = sum / (3.0 * src.width * src.height);
    return mse <= 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

inline double psnrToDb(double mse) {
    return mse <= 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// FFmpeg's Cinepak decoder producing RGB24 (grey streams come out with r = g = b).
class Decoder {
  public:
    Decoder(int width, int height) {
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_CINEPAK);
        m_ctx = avcodec_alloc_context3(codec);
        m_ctx->width = width;
        m_ctx->height = height;
        m_ctx->bits_per_coded_sample = 24;
        m_ok = codec && avcodec_open2(m_ctx, codec, nullptr) == 0;
        m_frame = av_frame_alloc();
        m_packet = av_packet_alloc();
    }
    ~Decoder() {
        av_packet_free(&m_packet);
        av_frame_free(&m_frame);
        avcodec_free_context(&m_ctx);
    }
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    bool ok() const { return m_ok; }

    // Decodes one frame; false when the decoder refuses it or returns no picture.
    bool decode(const uint8_t* data, size_t size) {
        if (!m_ok || av_new_packet(m_packet, static_cast<int>(size)) < 0) return false;
        std::memcpy(m_packet->data, data, size);
        const int sent = avcodec_send_packet(m_ctx, m_packet);
        av_packet_unref(m_packet);
        if (sent < 0) return false;
        return avcodec_receive_frame(m_ctx, m_frame) == 0 && m_frame->format == AV_PIX_FMT_RGB24;
    }
    const uint8_t* rgb() const { return m_frame->data[0]; }
    int stride() const { return m_frame->linesize[0]; }

  private:
    AVCodecContext* m_ctx = nullptr;
    AVFrame* m_frame = nullptr;
    AVPacket* m_packet = nullptr;
    bool m_ok = false;
};

// The rate history the compression layer keeps (duration ms, bytes), reduced to what the
// data-rate parameters need: bytes of the last 1000 ms, the straddling entry in proportion.
class RateHistory {
  public:
    // Starts as if the last second had run exactly at the rate, as the layer does.
    explicit RateHistory(int32_t dataRate) {
        for (int i = 0; i < 10; ++i) add(100, static_cast<size_t>(dataRate / 10));
    }
    void add(int32_t ms, size_t bytes) { m_entries.push_back({ms, static_cast<double>(bytes)}); }
    int32_t overrun(int32_t dataRate) const {
        double ms = 0, bytes = 0;
        for (auto it = m_entries.rbegin(); it != m_entries.rend() && ms < 1000; ++it) {
            const double take = std::min<double>(it->ms, 1000 - ms);
            bytes += it->bytes * take / it->ms;
            ms += take;
        }
        return static_cast<int32_t>(std::lround(bytes)) - dataRate;
    }

  private:
    struct Item {
        int32_t ms;
        double bytes;
    };
    std::vector<Item> m_entries;
};

}  // namespace cinepak_test
