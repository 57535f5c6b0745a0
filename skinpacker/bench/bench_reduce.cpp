// Time of the 24-bit reduction of a photograph-like 320 x 320 picture,
// against mapping the same picture onto a fixed cube (the least any
// reduction must do) in the same process.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "skinpacker/colour_reduction.h"

using Clock = std::chrono::steady_clock;

int main() {
    std::vector<uint8_t> bgr(320 * 320 * 3);
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0, 8);
    for (int y = 0; y < 320; ++y)
        for (int x = 0; x < 320; ++x) {
            const double base[3] = {180 - y * 0.4, 90 + 60 * std::sin(x / 30.0),
                                    60 + (x + y) * 0.2};
            for (int c = 0; c < 3; ++c)
                bgr[static_cast<size_t>((y * 320 + x) * 3 + c)] =
                    static_cast<uint8_t>(std::clamp(base[c] + noise(rng), 0.0, 255.0));
        }
    std::array<skin::Rgb, skin::kMaxImageColours> palette;
    std::vector<uint8_t> indexes(320 * 320);
    const int rounds = 50;

    auto t0 = Clock::now();
    for (int i = 0; i < rounds; ++i) skin::reduceTrueColour(bgr, palette, indexes);
    auto t1 = Clock::now();
    unsigned sum = 0;
    for (int i = 0; i < rounds; ++i) {
        for (size_t p = 0; p < indexes.size(); ++p) {
            const uint8_t* px = &bgr[p * 3];
            indexes[p] = static_cast<uint8_t>((px[2] + 25) / 51 * 36 + (px[1] + 25) / 51 * 6 +
                                              (px[0] + 25) / 51);
        }
        sum += indexes[static_cast<size_t>(i) * 97];
    }
    auto t2 = Clock::now();

    const double adaptive = std::chrono::duration<double, std::milli>(t1 - t0).count() / rounds;
    const double fixed = std::chrono::duration<double, std::milli>(t2 - t1).count() / rounds;
    std::printf("24-bit reduction, 320 x 320: %.3f ms per picture\n", adaptive);
    std::printf("fixed-cube mapping baseline: %.3f ms per picture (checksum %u)\n", fixed, sum);
    std::printf("ratio reduction / baseline: %.1f\n", adaptive / fixed);
    return 0;
}
