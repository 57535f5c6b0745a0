#include "platform/music_synth.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include <fluidsynth.h>

#include "platform/files.h"

namespace {

constexpr const char* kDebianSoundFonts[] = {
    "/usr/share/sounds/sf2/default-GM.sf2",
    "/usr/share/sounds/sf2/FluidR3_GM.sf2",
    "/usr/share/sounds/sf3/default-GM.sf3",
};
constexpr double kLowestSynthRate = 8000;
constexpr double kHighestRate = 96000;
constexpr int32_t kBlockFrames = 1024;  // render frames per FluidSynth call
// From this rate up the rendering takes the cheaper road (see Open).
constexpr double kFastRenderRate = 32000;
// From this rate up FluidSynth's workers render in parallel (see Open).
constexpr double kThreadedRenderRate = 16000;

// Released notes. FluidSynth's volume envelope falls linearly in decibels,
// 96 dB over the release time, from wherever the note was (at most its full
// level), and it lets a voice go only when the envelope's linear value nears
// zero: the last half of every release plays 48 dB or more under its note,
// unheard beside the other voices and below what any coding keeps, yet is
// a third of the voices of a song with pads or strings. Such a voice is
// faded to silence within one FluidSynth block and ended at the next look.
// The looks fall on fixed frames, whole blocks apart, so the sound does not
// depend on how callers split their requests.
constexpr int32_t kTailCheckFrames = 256;
constexpr double kQuietPartOfRelease = 0.5;
// FluidSynth's limits for a release time, and an attenuation past hearing (cB).
constexpr float kShortestReleaseCents = -7200;
constexpr float kLongestReleaseCents = 8000;
constexpr float kSilentCentibels = 1440;

// FluidSynth reports to stderr by default; failures reach callers as statuses.
void QuietFluidSynth() {
    static bool done = false;
    if (done) return;
    for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG}) {
        fluid_set_log_function(level, nullptr, nullptr);
    }
    done = true;
}

}  // namespace

// A released voice being watched.
struct Tail {
    fluid_voice_t* voice = nullptr;
    unsigned id = 0;          // the note's; voices are reused for later notes
    int64_t quietFrom = 0;    // render frame from which it lies 48 dB down
    bool faded = false;       // silenced at the last look
    bool operator<(const Tail& o) const {
        return voice != o.voice ? std::less<>()(voice, o.voice) : id < o.id;
    }
};

struct MusicSynth::Impl {
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
    std::vector<int16_t> left, right;  // one block of render frames
    std::vector<fluid_voice_t*> voices;  // the synth's voice list, null-terminated
    std::vector<Tail> tails, nextTails;  // sorted
    ~Impl() {
        if (synth != nullptr) delete_fluid_synth(synth);
        if (settings != nullptr) delete_fluid_settings(settings);
    }
};

OSStatus FindSoundFont(std::string* path) {
    if (const char* chosen = std::getenv(kSoundFontVariable); chosen != nullptr) {
        if (chosen[0] == '\0' || !FileExists(chosen)) return kStatusNoCodec;
        *path = chosen;
        return noErr;
    }
    for (const char* p : kDebianSoundFonts) {
        if (FileExists(p)) {
            *path = p;
            return noErr;
        }
    }
    return kStatusNoCodec;
}

MusicSynth::~MusicSynth() = default;

OSStatus MusicSynth::Open(const MidiSong& song, double rate, int channels,
                          std::unique_ptr<MusicSynth>* out, const MusicRenderOptions& options) {
    if (out == nullptr || !(rate >= 1 && rate <= kHighestRate) || (channels != 1 && channels != 2) ||
        options.threads < 0 || options.threads > 256)
        return kStatusParamError;
    std::string font;
    if (OSStatus err = FindSoundFont(&font); err != noErr) return err;
    QuietFluidSynth();
    std::unique_ptr<MusicSynth> s(new (std::nothrow) MusicSynth);
    if (!s) return kStatusOutOfMemory;
    s->m_impl = std::make_unique<Impl>();
    s->m_song = &song;
    s->m_channels = channels;
    s->m_endTails = options.endFadedTails;
    s->m_factor = rate < kLowestSynthRate ? int(std::ceil(kLowestSynthRate / rate)) : 1;
    s->m_renderRate = rate * s->m_factor;
    s->m_totalFrames = std::llround(double(song.duration) * rate / 1e6);
    Impl& im = *s->m_impl;
    im.settings = new_fluid_settings();
    if (im.settings == nullptr) return kStatusOutOfMemory;
    fluid_settings_setnum(im.settings, "synth.sample-rate", s->m_renderRate);
    const bool fast = s->m_renderRate >= kFastRenderRate;
    // From 16 kHz up one thread cannot render a band 50 times faster than it
    // plays: most of the time goes to FluidSynth's per-voice resonant filter,
    // a recursion that waits on itself every sample and that no setting
    // turns off. The synthesizer's own workers share the voices out, as a
    // decoder's threads share out a frame; what our code does stays on one
    // thread. The voices are summed in double precision before the 16-bit
    // output, so which worker renders which voice does not show in it.
    int threads = options.threads;
    if (threads == 0) {
        threads = s->m_renderRate < kThreadedRenderRate
                      ? 1
                      : int(std::clamp(std::thread::hardware_concurrency(), 1u,
                                       unsigned(kMostRenderThreads)));
    }
    fluid_settings_setint(im.settings, "synth.cpu-cores", threads);
    // Nothing locked in memory, and only the instruments the song uses loaded.
    fluid_settings_setint(im.settings, "synth.lock-memory", 0);
    fluid_settings_setint(im.settings, "synth.dynamic-sample-loading", 1);
    // Twice the library's quiet default: still headroom for a full band.
    fluid_settings_setnum(im.settings, "synth.gain", 0.4);
    // At 32 kHz and up every voice costs twice what it does at 22 kHz, and
    // the reverb and chorus, which run at the full rate whatever plays, are
    // a fifth of the work. They go there: the reverb of a band lies 24 dB
    // below it, under the error of every coding the sound goes through at
    // those rates (15 dB below for 33 kbit/s ATRAC3, 21 dB for ADPCM), and
    // leaving it out brings the coded sound at most 2 dB nearer that error.
    // Below 32 kHz they cost little and stay.
    fluid_settings_setint(im.settings, "synth.reverb.active", fast ? 0 : 1);
    fluid_settings_setint(im.settings, "synth.chorus.active", fast ? 0 : 1);
    im.synth = new_fluid_synth(im.settings);
    if (im.synth == nullptr) return kStatusOutOfMemory;
    if (fluid_synth_sfload(im.synth, font.c_str(), 1) == FLUID_FAILED) return kStatusNoCodec;
    // Interpolating the voices is much of the work too: linear
    // renders a band a fifth faster than the default fourth order, and what
    // it changes lies some 43 dB below the music, far under the noise of the
    // compressed sound made from it. Lower rates keep the finer one.
    if (fast)
        fluid_synth_set_interp_method(im.synth, -1, FLUID_INTERP_LINEAR);
    im.left.resize(size_t(std::max(kBlockFrames, s->m_factor)));
    im.right.resize(im.left.size());
    int polyphony = 256;
    fluid_settings_getint(im.settings, "synth.polyphony", &polyphony);
    im.voices.resize(size_t(std::max(polyphony, 1)) + 1);
    *out = std::move(s);
    return noErr;
}

int MusicSynth::ActiveVoices() const {
    return fluid_synth_get_active_voice_count(m_impl->synth);
}

// Fades the released voices that have run half their release, and ends
// those faded at the last look.
void MusicSynth::EndFadedTails() {
    Impl& im = *m_impl;
    std::fill(im.voices.begin(), im.voices.end(), nullptr);
    fluid_synth_get_voicelist(im.synth, im.voices.data(), int(im.voices.size()) - 1, -1);
    im.nextTails.clear();
    for (fluid_voice_t* v : im.voices) {
        if (v == nullptr) break;
        // Held by the key or a pedal: not released yet.
        if (fluid_voice_is_on(v) || fluid_voice_is_sustained(v) || fluid_voice_is_sostenuto(v))
            continue;
        Tail t;
        t.voice = v;
        t.id = fluid_voice_get_id(v);
        const auto known = std::lower_bound(im.tails.begin(), im.tails.end(), t);
        if (known != im.tails.end() && known->voice == v && known->id == t.id) {
            t = *known;
        } else {
            // First seen released: its release began at most one look ago.
            const float cents = std::clamp(fluid_voice_gen_get(v, GEN_VOLENVRELEASE),
                                           kShortestReleaseCents, kLongestReleaseCents);
            t.quietFrom = m_rendered + int64_t(kQuietPartOfRelease * std::exp2(cents / 1200.0) *
                                               m_renderRate);
        }
        if (t.faded) {
            // Silent since the last look: a release that is over at once.
            fluid_voice_gen_set(v, GEN_VOLENVRELEASE, kShortestReleaseCents);
            fluid_voice_update_param(v, GEN_VOLENVRELEASE);
            continue;
        }
        if (m_rendered >= t.quietFrom) {
            // FluidSynth ramps a voice's amplitude to a new attenuation over one block.
            fluid_voice_gen_set(v, GEN_ATTENUATION, kSilentCentibels);
            fluid_voice_update_param(v, GEN_ATTENUATION);
            t.faded = true;
        }
        im.nextTails.push_back(t);
    }
    std::sort(im.nextTails.begin(), im.nextTails.end());
    im.tails.swap(im.nextTails);
}

// Sends every event due by `renderFrame` to the synthesizer.
void MusicSynth::Dispatch(int64_t renderFrame) {
    fluid_synth_t* fs = m_impl->synth;
    const auto& events = m_song->events;
    while (m_nextEvent < events.size()) {
        const MidiEvent& e = events[m_nextEvent];
        const int64_t at = int64_t(double(e.time) * m_renderRate / 1e6);
        if (at > renderFrame) return;
        ++m_nextEvent;
        const int ch = e.status & 0x0F;
        switch (e.status & 0xF0) {
            case 0x80:
                fluid_synth_noteoff(fs, ch, e.data1);
                break;
            case 0x90:
                // Velocity 0 is a note-off; FluidSynth treats it so.
                fluid_synth_noteon(fs, ch, e.data1, e.data2);
                break;
            case 0xA0:
                fluid_synth_key_pressure(fs, ch, e.data1, e.data2);
                break;
            case 0xB0:
                fluid_synth_cc(fs, ch, e.data1, e.data2);
                break;
            case 0xC0:
                fluid_synth_program_change(fs, ch, e.data1);
                break;
            case 0xD0:
                fluid_synth_channel_pressure(fs, ch, e.data1);
                break;
            case 0xE0:
                fluid_synth_pitch_bend(fs, ch, e.data1 | (e.data2 << 7));
                break;
            default:
                if (e.status == 0xF0 && e.sysexLength > 0 && e.sysexLength < (1u << 20)) {
                    fluid_synth_sysex(fs, reinterpret_cast<const char*>(m_song->sysex.data()) +
                                              e.sysexOffset,
                                      int(e.sysexLength), nullptr, nullptr, nullptr, 0);
                }
                break;
        }
    }
}

// Renders `count` frames (at most one block) into the left and right buffers,
// splitting the block where events fall.
void MusicSynth::RenderStereo(int32_t count) {
    Impl& im = *m_impl;
    int32_t made = 0;
    while (made < count) {
        if (m_endTails && m_rendered % kTailCheckFrames == 0) EndFadedTails();
        Dispatch(m_rendered);
        int32_t n = count - made;
        if (m_endTails)
            n = std::min<int32_t>(n, kTailCheckFrames - int32_t(m_rendered % kTailCheckFrames));
        if (m_nextEvent < m_song->events.size()) {
            const int64_t next =
                int64_t(double(m_song->events[m_nextEvent].time) * m_renderRate / 1e6);
            n = int32_t(std::clamp<int64_t>(next - m_rendered, 1, n));
        }
        fluid_synth_write_s16(im.synth, n, im.left.data(), made, 1, im.right.data(), made, 1);
        made += n;
        m_rendered += n;
    }
}

OSStatus MusicSynth::Render(int16_t* out, int32_t frames, int32_t* done) {
    if (out == nullptr || done == nullptr || frames < 0) return kStatusParamError;
    const int32_t total = int32_t(std::min<int64_t>(frames, m_totalFrames - m_position));
    const int32_t perBlock = std::max<int32_t>(1, int32_t(m_impl->left.size()) / m_factor);
    int32_t written = 0;
    while (written < total) {
        const int32_t n = std::min(perBlock, total - written);
        RenderStereo(n * m_factor);
        const int16_t* l = m_impl->left.data();
        const int16_t* r = m_impl->right.data();
        for (int32_t i = 0; i < n; ++i) {
            int32_t sl = 0, sr = 0;
            for (int k = 0; k < m_factor; ++k) {
                sl += l[i * m_factor + k];
                sr += r[i * m_factor + k];
            }
            sl /= m_factor;
            sr /= m_factor;
            if (m_channels == 2) {
                out[2 * (written + i)] = int16_t(sl);
                out[2 * (written + i) + 1] = int16_t(sr);
            } else {
                out[written + i] = int16_t((sl + sr) / 2);
            }
        }
        written += n;
    }
    m_position += written;
    *done = written;
    return noErr;
}
