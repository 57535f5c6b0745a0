#pragma once
// Pictures pulled through the export delegate and a decompression
// sequence, the way an exporter draws them.
#include <cstdint>
#include <vector>

#include "platform/movies.h"
#include "platform/tests/support/corpus.h"

struct ExtractedFrame {
    std::vector<uint8_t> bgra;
    int32_t width = 0;
    int32_t height = 0;
    TimeValue durationToNext = 0;
    int32_t seed = 0;
};

// The picture at `seconds`, scaled to w x h and turned by `degrees`.
// Returns the data procedure's status.
OSStatus ExtractFrame(Movie movie, double seconds, int32_t w, int32_t h, int32_t degrees,
                      ExtractedFrame* out);
Rgb PixelAt(const ExtractedFrame& f, int32_t x, int32_t y);
// The colour at the centre of a quadrant of the frame.
Rgb QuadrantColour(const ExtractedFrame& f, bool right, bool bottom);
bool Near(const Rgb& a, const Rgb& b, int tolerance);
