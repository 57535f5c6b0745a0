#include "platform/tests/support/counter_clip.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <vector>

#include "platform/tests/support/corpus.h"

namespace {

constexpr int kBars = 8;

double RateValue(const std::string& rate) {
    const size_t slash = rate.find('/');
    if (slash == std::string::npos) return std::stod(rate);
    return std::stod(rate.substr(0, slash)) / std::stod(rate.substr(slash + 1));
}

// Raw 4:2:0 pictures for ffmpeg to encode.
bool WriteRaw(const std::string& path, int w, int h, int frames) {
    std::ofstream out(path, std::ios::binary);
    std::vector<uint8_t> y(size_t(w) * h), c(size_t(w / 2) * (h / 2));
    // The texture's terms depend on one coordinate each: tabled per picture,
    // so sanitiser builds do not spend minutes in sin and cos.
    std::vector<double> across(static_cast<size_t>(w)), down(static_cast<size_t>(h)),
        diagonal(static_cast<size_t>(w + h)), tint(static_cast<size_t>(w / 2 + h / 2));
    for (int n = 0; n < frames; ++n) {
        for (int col = 0; col < w; ++col) across[size_t(col)] = std::sin((col - 3.0 * n) / 6.0);
        for (int row = 0; row < h; ++row) down[size_t(row)] = std::cos((row - 2.0 * n) / 5.0);
        for (int d = 0; d < w + h; ++d)
            diagonal[size_t(d)] = std::sin(((d - 3.0 * n) - 2.0 * n) / 17.0);
        for (int row = 0; row < h; ++row)
            for (int col = 0; col < w; ++col) {
                uint8_t v;
                if (row < h / 4) {
                    const int bar = col * kBars / w;
                    v = (n >> bar) & 1 ? 235 : 16;
                } else {
                    // Texture drifting right and down by a few pixels a picture.
                    v = uint8_t(128 + 50 * across[size_t(col)] * down[size_t(row)] +
                                30 * diagonal[size_t(col + row)]);
                }
                y[size_t(row) * w + col] = v;
            }
        out.write(reinterpret_cast<const char*>(y.data()), std::streamsize(y.size()));
        for (int d = 0; d < w / 2 + h / 2; ++d) tint[size_t(d)] = std::sin((d + 2.0 * n) / 11.0);
        for (int plane = 0; plane < 2; ++plane) {
            for (int row = 0; row < h / 2; ++row)
                for (int col = 0; col < w / 2; ++col)
                    c[size_t(row) * (w / 2) + col] =
                        row < h / 8 ? 128
                                    : uint8_t(128 + (plane == 0 ? 40 : -40) *
                                                        tint[size_t(col + row)]);
            out.write(reinterpret_cast<const char*>(c.data()), std::streamsize(c.size()));
        }
    }
    return bool(out);
}

}  // namespace

std::string CounterClip(const std::string& codec, const std::string& rate, int width, int height,
                        double seconds) {
    static std::map<std::string, std::string> made;
    std::string rateName = rate;
    for (char& ch : rateName)
        if (ch == '/') ch = '_';
    const std::string key = codec + "-" + rateName + "-" + std::to_string(width) + "x" +
                            std::to_string(height) + "-" + std::to_string(int(seconds * 1000));
    if (auto it = made.find(key); it != made.end()) return it->second;
    const std::map<std::string, std::pair<std::string, std::string>> recipes = {
        {"h264", {"-c:v libx264 -preset veryfast -x264-params b-adapt=0:bframes=3 -pix_fmt yuv420p",
                  ".mp4"}},
        {"mpeg4", {"-c:v mpeg4 -q:v 3 -bf 2 -g 15", ".mp4"}},
        {"mpeg2", {"-c:v mpeg2video -q:v 3 -bf 2 -g 12", ".mpg"}},
        {"mjpeg", {"-c:v mjpeg -q:v 3 -pix_fmt yuvj420p", ".avi"}},
    };
    const auto recipe = recipes.find(codec);
    EXPECT_NE(recipe, recipes.end()) << codec;
    if (recipe == recipes.end()) return {};
    const int frames = int(std::lround(seconds * RateValue(rate)));
    const std::string raw = ScratchPath(key + ".yuv");
    const std::string path = ScratchPath(key + recipe->second.second);
    EXPECT_TRUE(WriteRaw(raw, width, height, frames));
    const std::string cmd = "ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt yuv420p -s " +
                            std::to_string(width) + "x" + std::to_string(height) + " -r " + rate +
                            " -i '" + raw + "' " + recipe->second.first + " '" + path + "'";
    EXPECT_EQ(RunCommand(cmd), 0) << cmd;
    std::filesystem::remove(raw);
    made[key] = path;
    return path;
}

int ReadCounter(int width, int height, const std::function<int(int x, int y)>& luma) {
    int n = 0;
    const int y = height / 8;
    for (int bar = 0; bar < kBars; ++bar) {
        const int x = (2 * bar + 1) * width / (2 * kBars);
        // A few pixels around the middle of the bar: scaling blurs its edges.
        int sum = 0;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) sum += luma(x + dx, y + dy);
        if (sum / 9 >= 128) n |= 1 << bar;
    }
    return n;
}
