#pragma once
// Where decoded handheld movies go: a movie file through FFmpeg's muxers
// (.mkv, .avi: lossless video; .mp4, .mov: high-quality H.264), or a folder
// of PNG frames and a WAV file. Frames carry their stream times, so the
// output plays at the handheld's pace.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace decode {

struct OutputFormat {
    int width = 0, height = 0;  // 0: no video
    int sampleRate = 0;         // 0: no sound
    int channels = 0;
    // The movie's texts and chapters (UTF-8), kept as a movie file's metadata.
    std::string title, information, rights;
    std::vector<std::pair<uint32_t, std::string>> chapters;  // start in hundredths, title
    uint32_t durationHundredths = 0;                         // where the last chapter ends
};

class Output {
public:
    virtual ~Output() = default;
    // One picture of width x height RGB24 pixels shown from `timeHundredths` on.
    virtual bool addFrame(const uint8_t* rgb, uint32_t timeHundredths) = 0;
    // Interleaved 16-bit samples.
    virtual bool addSound(const int16_t* samples, uint32_t frames) = 0;
    // Writes what is pending and closes; the stream's total duration in hundredths
    // lets the last frame last as long as the stream says.
    virtual bool finish(uint32_t endHundredths) = 0;
    const std::string& error() const { return error_; }

protected:
    std::string error_;
};

// True when the path names a movie file by its extension (.mkv, .avi, .mp4,
// .mov, .webm).
bool isMovieFile(const std::string& path);
// True when the path names a folder for frames: an existing folder, a path
// ending in '/', or a new name without an extension.
bool isFolderOutput(const std::string& path);

// Opens the output; null with `error` set when it cannot.
std::unique_ptr<Output> openOutput(const std::string& path, const OutputFormat& format,
                                   std::string& error);

}  // namespace decode
