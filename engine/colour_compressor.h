#pragma once
// What the compressor-based colour modes add around the platform image
// compressors: the rate history behind the data-rate parameters, the
// run-length packing of 'cvid' output and the histogram of source pixels.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/status.h"

struct RateEntry {
    int32_t milliseconds = 0;
    int32_t bytes = 0;
    bool key = false;
};

// The last 100 frames as (duration, size, key), oldest first.
class RateHistory {
  public:
    static constexpr size_t kEntries = 100;
    // 100 entries of 100 ms at the data rate, every tenth a key frame.
    void Fill(int32_t dataRate);
    void Append(RateEntry entry);
    // Bytes produced in the last 1000 ms (the straddling entry counted in
    // proportion) minus the data rate.
    int32_t Overrun(int32_t dataRate) const;
    const RateEntry& Newest() const { return m_entries[(m_first + kEntries - 1) % kEntries]; }

  private:
    std::array<RateEntry, kEntries> m_entries{};
    size_t m_first = 0;  // oldest entry; the ring is always full
};

// Run-length packs a 'cvid' frame into `out`. Returns false (out holds the
// input unchanged) when packing saves less than 2 percent; otherwise out is
// the packed form with the top bit of its first byte set.
bool PackCinepakRuns(std::span<const uint8_t> frame, std::vector<uint8_t>& out);
// Undoes PackCinepakRuns for a frame marked packed; unmarked frames are
// copied. -8969 for damaged input.
OSStatus UnpackCinepakRuns(std::span<const uint8_t> data, std::vector<uint8_t>& out);

// Adds every pixel of a 'BGRA' picture, as Y, Cb, Cr, to the histogram.
void AddPictureToHistogram(uint32_t* histogram, const uint8_t* pixels, ptrdiff_t rowBytes,
                           int width, int height);
// The same without the processor's widest instructions, as processors without them count;
// for tests, which compare the two.
void AddPictureToHistogramNarrow(uint32_t* histogram, const uint8_t* pixels, ptrdiff_t rowBytes,
                                 int width, int height);
