#include "atrac3/atrac3_tables.h"

#include <cmath>
#include <numbers>

namespace atrac3 {

const std::array<uint16_t, kQuantUnits + 1> kQuantUnitStart = {
    0,   8,   16,  24,  32,  40,  48,  56,  64,  80,  96,  112, 128, 144, 160, 176, 192,
    224, 256, 288, 320, 352, 384, 416, 448, 480, 512, 576, 640, 704, 768, 896, 1024};

const std::array<uint8_t, kSelectors> kClcBits = {0, 4, 3, 3, 4, 4, 5, 6};
const std::array<int8_t, kSelectors> kMaxMantissa = {0, 1, 2, 3, 4, 7, 15, 31};
const std::array<float, kSelectors> kStepDivisor = {0.0f, 1.5f, 2.5f,  3.5f,
                                                    4.5f, 7.5f, 15.5f, 31.5f};

const std::array<HuffCode, 9> kHuffPairs = {
    {{0x0, 1}, {0x4, 3}, {0x5, 3}, {0xC, 4}, {0xD, 4}, {0x1C, 5}, {0x1D, 5}, {0x1E, 5}, {0x1F, 5}}};

const std::array<HuffCode, 5> kHuff2 = {{{0x0, 1}, {0x4, 3}, {0x5, 3}, {0x6, 3}, {0x7, 3}}};

const std::array<HuffCode, 7> kHuff3 = {
    {{0x0, 1}, {0x4, 3}, {0x5, 3}, {0xC, 4}, {0xD, 4}, {0xE, 4}, {0xF, 4}}};

const std::array<HuffCode, 9> kHuff4 = {
    {{0x0, 1}, {0x4, 3}, {0x5, 3}, {0xC, 4}, {0xD, 4}, {0x1C, 5}, {0x1D, 5}, {0x1E, 5}, {0x1F, 5}}};

const std::array<HuffCode, 15> kHuff5 = {{{0x0, 2},
                                          {0x2, 3},
                                          {0x3, 3},
                                          {0x8, 4},
                                          {0x9, 4},
                                          {0xA, 4},
                                          {0xB, 4},
                                          {0x1C, 5},
                                          {0x1D, 5},
                                          {0x3C, 6},
                                          {0x3D, 6},
                                          {0x3E, 6},
                                          {0x3F, 6},
                                          {0xC, 4},
                                          {0xD, 4}}};

const std::array<HuffCode, 31> kHuff6 = {
    {{0x0, 3},  {0x2, 4},  {0x3, 4},  {0x4, 4},  {0x5, 4},  {0x6, 4},  {0x7, 4},  {0x14, 5},
     {0x15, 5}, {0x16, 5}, {0x17, 5}, {0x18, 5}, {0x19, 5}, {0x34, 6}, {0x35, 6}, {0x36, 6},
     {0x37, 6}, {0x38, 6}, {0x39, 6}, {0x3A, 6}, {0x3B, 6}, {0x78, 7}, {0x79, 7}, {0x7A, 7},
     {0x7B, 7}, {0x7C, 7}, {0x7D, 7}, {0x7E, 7}, {0x7F, 7}, {0x8, 4},  {0x9, 4}}};

const std::array<HuffCode, 63> kHuff7 = {
    {{0x0, 3},  {0x8, 5},  {0x9, 5},  {0xA, 5},  {0xB, 5},  {0xC, 5},  {0xD, 5},  {0xE, 5},
     {0xF, 5},  {0x10, 5}, {0x11, 5}, {0x24, 6}, {0x25, 6}, {0x26, 6}, {0x27, 6}, {0x28, 6},
     {0x29, 6}, {0x2A, 6}, {0x2B, 6}, {0x2C, 6}, {0x2D, 6}, {0x2E, 6}, {0x2F, 6}, {0x30, 6},
     {0x31, 6}, {0x32, 6}, {0x33, 6}, {0x68, 7}, {0x69, 7}, {0x6A, 7}, {0x6B, 7}, {0x6C, 7},
     {0x6D, 7}, {0x6E, 7}, {0x6F, 7}, {0x70, 7}, {0x71, 7}, {0x72, 7}, {0x73, 7}, {0x74, 7},
     {0x75, 7}, {0xEC, 8}, {0xED, 8}, {0xEE, 8}, {0xEF, 8}, {0xF0, 8}, {0xF1, 8}, {0xF2, 8},
     {0xF3, 8}, {0xF4, 8}, {0xF5, 8}, {0xF6, 8}, {0xF7, 8}, {0xF8, 8}, {0xF9, 8}, {0xFA, 8},
     {0xFB, 8}, {0xFC, 8}, {0xFD, 8}, {0xFE, 8}, {0xFF, 8}, {0x2, 4},  {0x3, 4}}};

// Rows: first mantissa -1, 0, 1; columns: second mantissa -1, 0, 1.
const std::array<std::array<uint8_t, 3>, 3> kPairSymbol = {{{8, 4, 7}, {2, 0, 1}, {6, 3, 5}}};

const std::array<float, 24> kQmfHalf = {
    -0.00001461907f, -0.00009205479f, -0.000056157569f, 0.00030117269f, 0.0002422519f,
    -0.00085293897f, -0.0005205574f,  0.0020340169f,    0.00078333891f, -0.0042153862f,
    -0.00075614988f, 0.0078402944f,   -0.000061169922f, -0.01344162f,   0.0024626821f,
    0.021736089f,    -0.007801671f,   -0.034090221f,    0.01880949f,    0.054326009f,
    -0.043596379f,   -0.099384367f,   0.13207909f,      0.46424159f};

const std::array<float, kScaleFactors>& ScaleFactors() {
    static const std::array<float, kScaleFactors> table = [] {
        std::array<float, kScaleFactors> t{};
        for (int i = 0; i < kScaleFactors; ++i)
            t[i] = static_cast<float>(std::exp2((i - 15) / 3.0));
        return t;
    }();
    return table;
}

namespace {

double RisingHalf(int i) {
    return (std::sin(((i + 0.5) / kBandSamples - 0.5) * std::numbers::pi) + 1.0) * 0.5;
}

}  // namespace

const std::array<float, 2 * kBandSamples>& AnalysisWindow() {
    static const std::array<float, 2 * kBandSamples> table = [] {
        std::array<float, 2 * kBandSamples> t{};
        for (int i = 0; i < kBandSamples; ++i) {
            t[i] = t[2 * kBandSamples - 1 - i] = static_cast<float>(RisingHalf(i));
        }
        return t;
    }();
    return table;
}

const std::array<float, 2 * kBandSamples>& SynthesisWindow() {
    static const std::array<float, 2 * kBandSamples> table = [] {
        std::array<float, 2 * kBandSamples> t{};
        for (int i = 0; i < kBandSamples; ++i) {
            const double a = RisingHalf(i);
            const double b = RisingHalf(kBandSamples - 1 - i);
            t[i] = t[2 * kBandSamples - 1 - i] = static_cast<float>(a / (a * a + b * b));
        }
        return t;
    }();
    return table;
}

}  // namespace atrac3
