// The tests' view of a database: the inspector's reader does the checking,
// so there is one set of structural rules for the tool and the tests alike.
#include "engine/tests/support/movie_check.h"

#include "engine/movie_reader.h"

namespace {

uint16_t tagValue(const std::string& t) {
    return static_cast<uint16_t>(static_cast<uint8_t>(t[0]) << 8 | static_cast<uint8_t>(t[1]));
}

}  // namespace

std::string MovieCheckResult::report() const {
    std::string text;
    for (const std::string& e : errors) text += e + "\n";
    return text;
}

MovieCheckResult checkMovieDatabase(std::span<const uint8_t> database) {
    MovieCheckResult r;
    movie::Movie m;
    std::string error;
    if (!movie::readMovie(std::vector<uint8_t>(database.begin(), database.end()), m, error)) {
        r.errors.push_back(error);
        return r;
    }
    r.errors = m.violations;
    r.name = m.db.name;
    for (const movie::DbRecord& rec : m.records) r.recordSizes.push_back(rec.size);
    for (const movie::Chunk& c : m.chunks)
        if (c.tag != "re") r.chunks.push_back({tagValue(c.tag), c.record - 1, c.offsetInRecord, c.length});
    r.movieKind = m.header.movieKind;
    r.frames = static_cast<uint32_t>(m.frames.size());
    for (const movie::FrameSample& f : m.frames) {
        r.keyFrames += f.key();
        r.videoDuration += f.duration;
    }
    r.soundChunks = static_cast<uint32_t>(m.sounds.size());
    for (const movie::SoundSample& s : m.sounds) r.soundFrames += s.frames;
    r.videoIndexEntries = static_cast<uint32_t>(m.header.videoIndex.size());
    r.soundIndexEntries = static_cast<uint32_t>(m.header.soundIndex.size());
    r.sampleRate = m.header.sampleRate;
    r.preload = m.header.preload;
    return r;
}
