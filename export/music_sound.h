#pragma once
// Music own sound: a movie's music track heard through an AIFF rendering.
//
// The delegate hands out no sound for music, so the exporter renders it
// itself: preparation makes the sound description from the settings
// (8-bit 'NONE' for uncompressed mono, else 16-bit 'twos', at the settings'
// channels and rate), creates "blah.aif" in the temporary-items folder and
// opens the AIFF exporter with that description. The first sound request
// renders the whole movie into the file, reporting through the progress
// forwarder set here (a non-zero answer cancels); the AIFF header is then
// read and each request returns the PCM that follows it. "blah.aif" is
// removed when the MusicSound is destroyed, whatever happened.
//
// The procedures have the delegate's form, so the exporter adds them as
// its sound source: getData serves MovieExportGetDataParams (-39 at the
// end), getProperty answers 'dura'. refCon is the MusicSound.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <vector>

#include "export/settings.h"
#include "platform/components.h"
#include "platform/files.h"
#include "platform/media_export.h"

inline constexpr const char* kMusicTemporaryName = "blah.aif";

// What an AIFF header says about its sound.
struct AiffInfo {
    int16_t channels = 0;
    int16_t sampleSize = 0;  // 8 or 16
    double sampleRate = 0;
    uint32_t frames = 0;
    uint64_t dataOffset = 0;  // of the first sample frame, from the file's start
};
// Reads an AIFF (or uncompressed AIFC) header from the first bytes of a
// file: FORM, then chunks up to the sound data, COMM before SSND.
// kStatusBadData when they do not describe 8- or 16-bit PCM we can read.
OSStatus parseAiffHeader(std::span<const uint8_t> head, AiffInfo* info);

class MusicSound {
  public:
    ~MusicSound();
    MusicSound(const MusicSound&) = delete;
    MusicSound& operator=(const MusicSound&) = delete;

    // The movie's first enabled music track is rendered; the movie must
    // outlive the MusicSound. Errors of the temporary file or the exporter.
    static OSStatus prepare(const ExportSettings& settings, Movie movie,
                            std::unique_ptr<MusicSound>* out);

    TimeScale timeScale() const { return TimeScale(m_desc.sampleRate); }
    const SampleDescription& description() const { return m_desc; }
    std::string temporaryPath() const { return FileSpecPath(m_spec); }

    // The rendering's progress as a fraction of the whole; a non-zero
    // answer stops it and becomes the sound request's status.
    using ProgressForward = OSStatus (*)(void* context, double fraction);
    void setProgressForward(ProgressForward forward, void* context) {
        m_forward = forward;
        m_forwardContext = context;
    }

    static OSStatus getData(void* refCon, MovieExportGetDataParams* params);
    static OSStatus getProperty(void* refCon, int32_t trackID, OSType property, void* value);

  private:
    MusicSound() = default;
    OSStatus render();
    OSStatus read(MovieExportGetDataParams* params);
    static OSStatus renderProgress(Movie movie, int16_t message, int16_t operation, Fixed fraction,
                                   intptr_t refcon);

    Movie m_movie = nullptr;
    ComponentInstance m_exporter = nullptr;
    FileSpec m_spec;
    bool m_made = false;  // the temporary file is ours to delete
    FILE* m_file = nullptr;
    bool m_rendered = false;
    SampleDescription m_desc;
    int32_t m_seed = 1;
    uint32_t m_frames = 0;    // in the file
    uint32_t m_position = 0;  // frames handed out
    std::vector<uint8_t> m_buffer;
    ProgressForward m_forward = nullptr;
    void* m_forwardContext = nullptr;
};
