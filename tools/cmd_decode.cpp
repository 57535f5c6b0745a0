// moviepacker-cli decode: what the handheld would show and play, as a
// desktop movie or as PNG frames and a WAV file.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/movie_reader.h"
#include "platform/files.h"
#include "tools/cli.h"
#include "tools/decode_output.h"
#include "tools/movie_player.h"

namespace {

const char* kDecodeHelp =
    "Usage: moviepacker-cli decode FILE.pdb -o OUT\n"
    "\n"
    "Decodes every frame and all sound of a handheld movie database as the handheld\n"
    "presents them. OUT ending in .mkv or .avi gets lossless video, .mp4 or .mov\n"
    "high-quality H.264 and AAC, .webm VP9 and Opus, with the sound beside it; a\n"
    "folder (an existing one, a name ending in '/' or without an extension)\n"
    "receives frame_NNNNN.png, frames.txt (each frame's time and duration) and\n"
    "sound.wav. Frames keep the stream's own times.\n"
    "\n"
    "Exit status: 0 decoded, 1 a frame or sound chunk did not decode, 2 bad usage or\n"
    "unreadable file.\n";

}  // namespace

namespace cli {

int runDecode(int argc, char** argv) {
    const char* path = nullptr;
    const char* out = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (isHelp(argv[i])) {
            std::fputs(kDecodeHelp, stdout);
            return kExitOk;
        }
        if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
            out = argv[++i];
        } else if (argv[i][0] == '-' && argv[i][1]) {
            std::fprintf(stderr, "moviepacker-cli decode: unknown option '%s'\n", argv[i]);
            return kExitUsage;
        } else if (path) {
            std::fprintf(stderr, "moviepacker-cli decode: one file at a time\n");
            return kExitUsage;
        } else {
            path = argv[i];
        }
    }
    if (!path || !out) {
        std::fputs(kDecodeHelp, stderr);
        return kExitUsage;
    }
    if (!decode::isMovieFile(out) && !decode::isFolderOutput(out)) {
        std::fprintf(stderr,
                     "moviepacker-cli decode: '%s': unknown kind of output; name a .mkv, .avi, "
                     ".mp4, .mov or .webm file, or a folder\n", out);
        return kExitUsage;
    }
    if (SameFile(out, path)) {
        std::fprintf(stderr, "moviepacker-cli decode: the output '%s' is the movie itself\n", out);
        return kExitUsage;
    }
    movie::Movie m;
    std::string error;
    if (!movie::readMovieFile(path, m, error)) {
        std::fprintf(stderr, "moviepacker-cli decode: %s\n", error.c_str());
        return kExitUsage;
    }
    if (!m.violations.empty())
        std::fprintf(stderr, "moviepacker-cli decode: warning: %s has %zu structural violations "
                             "(see 'moviepacker-cli inspect')\n", path, m.violations.size());

    decode::MoviePlayer player(m);
    decode::OutputFormat format;
    if (!m.frames.empty()) {
        if (!player.width() || !player.height()) {
            std::fprintf(stderr, "moviepacker-cli decode: %s: frames without a frame size\n", path);
            return kExitFailed;
        }
        format.width = player.width();
        format.height = player.height();
    }
    if (!m.sounds.empty()) {
        format.sampleRate = static_cast<int>(m.header.sampleRate);
        format.channels = m.header.channels;
    }
    format.title = m.header.title;
    format.information = m.header.information;
    format.rights = m.header.rights;
    for (const movie::Chapter& c : m.header.chapters) format.chapters.emplace_back(c.time, c.title);
    format.durationHundredths = std::max(m.header.videoDuration, m.header.soundDuration);
    if (!format.width && !format.sampleRate) {
        std::fprintf(stderr, "moviepacker-cli decode: %s holds no frames and no sound\n", path);
        return kExitFailed;
    }
    // A movie file is made beside its place and moved there only when
    // complete, so a failure never costs the file that was there.
    OutputFile placed;
    std::string writeTo = out;
    if (decode::isMovieFile(out)) {
        if (placed.openReplacing(out) != noErr) {
            std::fprintf(stderr, "moviepacker-cli decode: cannot create '%s': %s\n", out,
                         std::strerror(placed.lastErrno()));
            return kExitFailed;
        }
        writeTo = placed.workPath();
    }
    const StopSignals stop;
    auto output = decode::openOutput(writeTo, format, error);
    if (!output) {
        std::fprintf(stderr, "moviepacker-cli decode: %s\n", error.c_str());
        return kExitFailed;
    }

    // Hand frames and sound over in time order so muxers interleave them.
    std::vector<uint8_t> rgb;
    std::vector<int16_t> pcm;
    size_t f = 0, s = 0;
    uint64_t soundFrames = 0;
    while (f < m.frames.size() || s < m.sounds.size()) {
        if (stop.caught()) return stop.exitStatus();
        const double frameTime = f < m.frames.size() ? m.frames[f].time / 100.0 : 1e300;
        const double soundTime =
            s < m.sounds.size() ? double(m.sounds[s].position) / m.header.sampleRate : 1e300;
        bool ok;
        if (frameTime <= soundTime) {
            ok = player.decodeFrame(f, rgb, error) && output->addFrame(rgb.data(), m.frames[f].time);
            if (!ok && error.empty()) error = output->error();
            ++f;
        } else {
            ok = player.decodeSound(s, pcm, error) &&
                 output->addSound(pcm.data(), m.sounds[s].frames);
            if (!ok && error.empty()) error = output->error();
            soundFrames += m.sounds[s].frames;
            ++s;
        }
        if (!ok) {
            std::fprintf(stderr, "moviepacker-cli decode: %s: %s\n", path, error.c_str());
            return kExitFailed;
        }
    }
    if (!output->finish(m.header.videoDuration)) {
        std::fprintf(stderr, "moviepacker-cli decode: %s\n", output->error().c_str());
        return kExitFailed;
    }
    output.reset();
    if (decode::isMovieFile(out) && placed.commit() != noErr) {
        std::fprintf(stderr, "moviepacker-cli decode: cannot create '%s': %s\n", out,
                     std::strerror(placed.lastErrno()));
        return kExitFailed;
    }
    std::printf("%s: %zu frames", out, m.frames.size());
    if (format.width) std::printf(" of %dx%d over %.2f s", format.width, format.height,
                                  m.header.videoDuration / 100.0);
    if (format.sampleRate)
        std::printf(", %llu sample frames at %d Hz, %d channels", (unsigned long long)soundFrames,
                    format.sampleRate, format.channels);
    std::printf("\n");
    return kExitOk;
}

}  // namespace cli
