#pragma once
// Drives the record layout with sample chunks appended straight to a
// started writer's spool file, so layout tests do not depend on the
// encoders' output sizes.
#include <cstdint>
#include <vector>

struct MovieWriter;

struct LayoutDriver {
    // Starts a writer with 16 x 16 grey video and/or 16-bit PCM sound at `rate`.
    LayoutDriver(bool video, bool sound, uint32_t rate = 44100, const char* name = "layout");
    ~LayoutDriver();
    LayoutDriver(const LayoutDriver&) = delete;
    LayoutDriver& operator=(const LayoutDriver&) = delete;

    // One frame chunk of `dataBytes` payload bytes; `difference` sets flag bit 2.
    void frame(uint16_t hundredths, uint32_t dataBytes = 6, bool difference = false);
    // One sound chunk of `frames` sample frames with `dataBytes` payload bytes.
    void sound(uint32_t frames, uint32_t dataBytes = 8);
    // Lays out and builds the image, without the sound encoder's flush.
    int32_t finish();
    // The whole image read in one piece (empty when reading fails).
    std::vector<uint8_t> image() const;

    MovieWriter* w = nullptr;
    int32_t startStatus = 0;

  private:
    uint8_t m_fill = 0;
};
