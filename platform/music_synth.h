#pragma once
// Platform-private: plays a MIDI song through FluidSynth into 16-bit PCM.
//
// The instruments come from a General MIDI soundfont: the file named by
// $MOVIEPACKER_SOUNDFONT when that is set (and then only that file), else
// the first of the Debian fluid-soundfont-gm paths that exists. Without one,
// opening gives kStatusNoCodec: there is nothing to make the music heard.
//
// Output: interleaved native-endian 16-bit frames of 1 or 2 channels at the
// rate asked for. FluidSynth plays no slower than 8000 Hz, so lower rates
// are rendered at a whole multiple of the rate and each run of that many
// frames averaged into one. From 32 kHz up the voices are interpolated
// linearly and the reverb and chorus are left out, to render fast enough.
// At every rate a released note stops once its release has run half its
// course, by then 48 dB or more below the note's own level: it fades out
// within a few milliseconds instead of playing on unheard for seconds.
// Exactly TotalFrames() frames make the song: its duration at the rate,
// rounded to the nearest frame.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/midi_file.h"
#include "platform/status.h"

inline constexpr const char* kSoundFontVariable = "MOVIEPACKER_SOUNDFONT";

// The soundfont that will be used; kStatusNoCodec when there is none.
OSStatus FindSoundFont(std::string* path);

inline constexpr int kMostRenderThreads = 4;

// How to render; the defaults are what the exporter uses.
struct MusicRenderOptions {
    bool endFadedTails = true;  // stop released notes once 48 dB down
    // FluidSynth's own workers inside a render call; 0: the exporter's
    // choice, one per core (at most kMostRenderThreads) from 32 kHz up, one
    // below.
    int threads = 0;
};

class MusicSynth {
  public:
    ~MusicSynth();
    MusicSynth(const MusicSynth&) = delete;
    MusicSynth& operator=(const MusicSynth&) = delete;

    // The song must outlive the synthesizer. Rates 1 to 96000 Hz, 1 or 2
    // channels (else -50); kStatusNoCodec without a usable soundfont.
    static OSStatus Open(const MidiSong& song, double rate, int channels,
                         std::unique_ptr<MusicSynth>* out, const MusicRenderOptions& options = {});

    int64_t TotalFrames() const { return m_totalFrames; }
    int64_t Position() const { return m_position; }
    // Voices sounding now, held or fading (a measure of the work).
    int ActiveVoices() const;
    // Renders the next min(frames, what is left) frames into out; *done gets
    // how many.
    OSStatus Render(int16_t* out, int32_t frames, int32_t* done);

  private:
    struct Impl;
    MusicSynth() = default;
    void Dispatch(int64_t renderFrame);
    void RenderStereo(int32_t renderFrames);
    void EndFadedTails();

    std::unique_ptr<Impl> m_impl;
    const MidiSong* m_song = nullptr;
    int m_channels = 2;
    int m_factor = 1;          // render frames per output frame
    double m_renderRate = 0;
    int64_t m_totalFrames = 0;
    int64_t m_position = 0;    // output frames handed out
    int64_t m_rendered = 0;    // render frames made
    size_t m_nextEvent = 0;
    bool m_endTails = true;
};
