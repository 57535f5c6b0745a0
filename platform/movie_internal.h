#pragma once
// Platform-private records behind Movie and Track, shared by the movie
// toolbox and the export delegate.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

#include "platform/media_source.h"
#include "platform/movies.h"

struct MidiSong;

struct TextSample {
    TimeValue start = 0;     // media time
    TimeValue duration = 0;  // media time
    std::vector<uint8_t> data;
};

struct TrackRecord {
    MovieRecord* movie = nullptr;
    int32_t trackID = 0;
    OSType mediaType = 0;
    bool enabled = true;
    int16_t volume = 0x100;
    int32_t width = 0;  // display size, video only
    int32_t height = 0;
    int32_t rotation = 0;  // clockwise quarter turns the display asks for, in degrees
    ByteSource bytes;      // where the samples are read from
    int streamIndex = -1;  // -1: a track whose samples are held here (chapters)
    AVRational streamTimeBase{1, 1};
    int64_t originPts = 0;    // stream time that is media time 0
    bool stillImage = false;  // one picture lasting the whole media duration
    TimeScale mediaScale = 1000;
    TimeValue mediaDuration = 0;
    std::vector<SampleDescription> descriptions;
    std::vector<TextSample> textSamples;
    std::multimap<OSType, TrackRecord*> references;  // ordered by insertion per type
    std::shared_ptr<const MidiSong> music;           // music tracks: the song they play
};

struct MovieRecord {
    TimeScale timeScale = 600;
    ByteSource bytes;
    std::map<OSType, std::vector<std::string>> userData;
    std::vector<std::unique_ptr<TrackRecord>> tracks;
    int32_t nextTrackID = 1;
    // Picture streams left out because no decoder could hold their frames
    // (width, height as the file claims them).
    std::vector<std::pair<int32_t, int32_t>> unusablePictures;
};

// Media time of a stream timestamp, and back.
TimeValue StreamToMediaTime(const TrackRecord& t, int64_t pts);
int64_t MediaToStreamTime(const TrackRecord& t, TimeValue mediaTime);
TimeValue MediaToMovieTime(const TrackRecord& t, TimeValue mediaTime);
