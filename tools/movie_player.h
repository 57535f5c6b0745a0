#pragma once
// Plays a handheld movie the way the handheld presents it: every frame as an
// RGB picture (grey levels as shades, the colour codecs and the compressor
// formats decoded), and all sound as 16-bit PCM. The engine's own decoders
// handle its own formats; FFmpeg's decoders handle the compressor formats.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/movie_reader.h"

namespace decode {

class MoviePlayer {
public:
    explicit MoviePlayer(const movie::Movie& movie);
    ~MoviePlayer();
    MoviePlayer(const MoviePlayer&) = delete;
    MoviePlayer& operator=(const MoviePlayer&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }

    // Decodes frame `index` (frames must be decoded in order: difference
    // frames build on the previous picture) into width x height RGB24 pixels.
    bool decodeFrame(size_t index, std::vector<uint8_t>& rgb, std::string& error);

    // Decodes sound chunk `index` (in order) into interleaved 16-bit samples.
    bool decodeSound(size_t index, std::vector<int16_t>& pcm, std::string& error);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    int width_ = 0, height_ = 0;
};

}  // namespace decode
