#pragma once
// The AVI part of looking at a source before an export: which road its
// pictures take (the movie toolbox, the codec bridge or the direct reader)
// and the rebuilding of MP3 sound that import timed badly.
#include <cstdint>
#include <functional>
#include <string>

#include "export/avi_support.h"
#include "platform/files.h"
#include "platform/movies.h"

enum class VideoRoad { kToolbox, kBridge, kDirect };

struct AviSourceState {
    bool isAvi = false;
    std::string path;
    AviHeaderInfo headers;
    VideoRoad road = VideoRoad::kToolbox;
    DirectAviReader* reader = nullptr;  // set: frames come from it
    SampleDescription readerDesc;       // the movie's first video description
    // The MP3 fix: the temporary file, the track it made and the one it replaced.
    FileSpec temporary;
    bool temporaryMade = false;
    Track replaced = nullptr;
    Track added = nullptr;
};

// Looks at an AVI source (the movie's file ends in ".avi"): reads its
// headers, sets *mp3FixNeeded for MP3 sound, and chooses the video road:
// the direct reader when Video for Windows cannot decode the video and the
// reader opens; otherwise MPG4 descriptions become mpg4 and the bridge is
// registered for a code the toolbox lacks. Not an AVI: nothing happens.
OSStatus inspectAviSource(Movie movie, bool* mp3FixNeeded, AviSourceState* state);

// Every enabled video track's MPG4 and mp4v descriptions become mpg4, the
// name the toolbox decodes that family by (done for AVI files whose MPG4
// video Video for Windows decodes).
void renameMpg4Descriptions(Movie movie);

// Rebuilds the sound of an AVI from its stream-1 audio chunks: they are
// copied into "blah.mp3" in the temporary folder, imported, and the new
// track takes the MP3 track's place for the export (the MP3 track is
// disabled meanwhile). Progress gets 0.05 x the fraction read; a non-zero
// answer stops with that value. Only AVI files are scanned, and when
// nothing was extracted the original track stays.
using Mp3FixProgress = std::function<OSStatus(Fixed fraction)>;
OSStatus applyMp3Fix(Movie movie, Track mp3Track, const Mp3FixProgress& progress,
                     AviSourceState* state);

// Whatever happened: closes the reader, takes the rebuilt track out again,
// gives the MP3 track back and deletes the temporary file.
void releaseAviSource(AviSourceState* state);
