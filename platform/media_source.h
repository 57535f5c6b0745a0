#pragma once
// Platform-private: opening a file or a byte buffer with libavformat under
// the limits every outside input gets (format whitelist, no nested opens,
// probe limits, a deadline checked by FFmpeg's interrupt callback).
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

#include "platform/format_codes.h"
#include "platform/status.h"

// Where a movie's bytes come from. Copies share the memory buffer.
struct ByteSource {
    std::string path;                                    // a file, when memory is null
    std::shared_ptr<const std::vector<uint8_t>> memory;  // an in-memory file
};

class MediaSource {
  public:
    ~MediaSource();
    MediaSource(const MediaSource&) = delete;
    MediaSource& operator=(const MediaSource&) = delete;

    // Opens and probes. Anything that is not a media file we can read gives
    // kStatusNoMovieFound; a missing file kStatusFileNotFound.
    static OSStatus Open(const ByteSource& bytes, std::unique_ptr<MediaSource>* out);

    AVFormatContext* format() const { return m_format; }
    ContainerFamily family() const { return m_family; }
    const ByteSource& bytes() const { return m_bytes; }
    // Gives the next operation `seconds` before FFmpeg is interrupted.
    void ArmDeadline(double seconds);
    bool Expired() const { return std::chrono::steady_clock::now() > m_deadline; }

  private:
    MediaSource() = default;
    static int ReadPacket(void* opaque, uint8_t* buf, int size);
    static int64_t Seek(void* opaque, int64_t offset, int whence);
    static int Interrupt(void* opaque);

    ByteSource m_bytes;
    int m_fd = -1;
    int64_t m_position = 0;
    int64_t m_size = 0;
    AVIOContext* m_io = nullptr;
    AVFormatContext* m_format = nullptr;
    ContainerFamily m_family = ContainerFamily::kOther;
    std::chrono::steady_clock::time_point m_deadline{};
};

// Seconds one open or one frame request may take before it is abandoned.
inline constexpr double kOpenDeadlineSeconds = 20.0;
inline constexpr double kRequestDeadlineSeconds = 10.0;
