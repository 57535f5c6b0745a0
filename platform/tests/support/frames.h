#pragma once
// Pictures pulled through the export delegate and a decompression
// sequence, the way an exporter draws them.
#include <cstdint>
#include <vector>

#include "platform/media_export.h"
#include "platform/movies.h"
#include "platform/tests/support/corpus.h"

// The export delegate's procedures for one kind of track of a movie, as an
// exporter gets them; given back, and the delegate closed, when it goes.
class DelegateProcs {
  public:
    DelegateProcs(Movie movie, OSType trackType);
    ~DelegateProcs();
    DelegateProcs(const DelegateProcs&) = delete;
    DelegateProcs& operator=(const DelegateProcs&) = delete;

    // Opening the delegate, else asking it for the procedures.
    OSStatus status() const { return m_status; }
    TimeScale scale() const { return m_scale; }
    OSStatus getData(MovieExportGetDataParams* p) const { return m_data(m_ref, p); }
    void* refCon() const { return m_ref; }

  private:
    ComponentInstance m_delegate = nullptr;
    OSStatus m_status = noErr;
    TimeScale m_scale = 0;
    MovieExportGetPropertyProc m_prop = nullptr;
    MovieExportGetDataProc m_data = nullptr;
    void* m_ref = nullptr;
};

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
