#include "engine/tests/support/layout_driver.h"

#include <gtest/gtest.h>

#include "engine/movie_writer.h"
#include "engine/writer_record.h"
#include "platform/status.h"

LayoutDriver::LayoutDriver(bool video, bool sound, uint32_t rate, const char* name) {
    EXPECT_EQ(MovieWriterCreate(&w), noErr);
    MovieWriterSetName(w, name);
    if (video) {
        MovieWriterSetFrameSize(w, 16, 16);
        MovieWriterSetVideoMode(w, kVideoModeGrey2);
    }
    if (sound) {
        const uint8_t wave[16] = {1,
                                  0,
                                  1,
                                  0,
                                  static_cast<uint8_t>(rate),
                                  static_cast<uint8_t>(rate >> 8),
                                  static_cast<uint8_t>(rate >> 16),
                                  0,
                                  0,
                                  0,
                                  0,
                                  0,
                                  2,
                                  0,
                                  16,
                                  0};
        MovieWriterSetSoundInput(w, 1, wave, 16);
        MovieWriterSetAudioFormat(w, kAudioFormatPcm16);
        MovieWriterSetProperty(w, kPropAudioPreload, 2 * rate);
        const int32_t interleave[2] = {static_cast<int32_t>(rate), 100};
        MovieWriterSetProperty(w, kPropAudioInterleave, reinterpret_cast<intptr_t>(interleave));
    }
    startStatus = MovieWriterStart(w);
}

LayoutDriver::~LayoutDriver() {
    MovieWriterDispose(w);
}

void LayoutDriver::frame(uint16_t hundredths, uint32_t dataBytes, bool difference) {
    std::vector<uint8_t> data(dataBytes, ++m_fill);
    ASSERT_EQ(writerWriteFrameChunk(w, 0, difference, hundredths, data.data(), dataBytes), noErr);
}

void LayoutDriver::sound(uint32_t frames, uint32_t dataBytes) {
    std::vector<uint8_t> data(dataBytes, ++m_fill);
    ASSERT_EQ(writerWriteSoundChunk(w, frames, w->totalSampleFrames, data.data(), dataBytes),
              noErr);
    w->totalSampleFrames += frames;
}

int32_t LayoutDriver::finish() {
    w->state = kWriterFinished;
    return writerFinishImage(w);
}

std::vector<uint8_t> LayoutDriver::image() const {
    uint32_t size = 0;
    if (MovieWriterGetSize(w, &size) != noErr) return {};
    std::vector<uint8_t> bytes(size);
    if (MovieWriterRead(w, bytes.data(), 0, size) != noErr) return {};
    return bytes;
}
