#include "platform/midi_file.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

namespace {

constexpr uint32_t kDefaultTempo = 500000;  // microseconds per quarter note: 120 bpm
constexpr uint8_t kMetaEvent = 0xFF;
constexpr uint8_t kSysexEvent = 0xF0;
constexpr uint8_t kSysexEscape = 0xF7;
constexpr uint8_t kMetaEndOfTrack = 0x2F;
constexpr uint8_t kMetaTempo = 0x51;
constexpr uint8_t kMetaCopyright = 0x02;
constexpr uint8_t kMetaTrackName = 0x03;

bool IsTag(std::span<const uint8_t> b, size_t at, const char (&tag)[5]) {
    return b.size() >= at + 4 && std::memcmp(b.data() + at, tag, 4) == 0;
}

uint32_t Be32(std::span<const uint8_t> b, size_t at) {
    return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) |
           b[at + 3];
}
uint16_t Be16(std::span<const uint8_t> b, size_t at) {
    return uint16_t((b[at] << 8) | b[at + 1]);
}
uint32_t Le32(std::span<const uint8_t> b, size_t at) {
    return b[at] | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) |
           (uint32_t(b[at + 3]) << 24);
}

// A bounded cursor over one track chunk.
struct Cursor {
    std::span<const uint8_t> bytes;
    size_t at = 0;

    bool done() const { return at >= bytes.size(); }
    bool byte(uint8_t* out) {
        if (at >= bytes.size()) return false;
        *out = bytes[at++];
        return true;
    }
    // At most four bytes of seven bits, as the file format allows.
    bool quantity(uint32_t* out) {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            uint8_t b = 0;
            if (!byte(&b)) return false;
            v = (v << 7) | (b & 0x7F);
            if ((b & 0x80) == 0) {
                *out = v;
                return true;
            }
        }
        return false;
    }
    bool take(uint32_t n, std::span<const uint8_t>* out) {
        if (n > bytes.size() - at) return false;
        *out = bytes.subspan(at, n);
        at += n;
        return true;
    }
};

struct RawEvent {
    int64_t tick = 0;
    MidiEvent event;
};

struct TempoChange {
    int64_t tick = 0;
    uint32_t tempo = kDefaultTempo;
};

// Channel messages carry one or two data bytes.
int DataBytes(uint8_t status) {
    const uint8_t kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
}

struct TrackResult {
    int64_t endTick = 0;
};

OSStatus ParseTrack(std::span<const uint8_t> chunk, size_t trackIndex, MidiSong* song,
                    std::vector<RawEvent>* events, std::vector<TempoChange>* tempos,
                    TrackResult* result) {
    Cursor c{chunk, 0};
    int64_t tick = 0;
    uint8_t running = 0;
    while (!c.done()) {
        uint32_t delta = 0;
        if (!c.quantity(&delta)) return kStatusNoMovieFound;
        tick += delta;
        uint8_t status = 0;
        if (!c.byte(&status)) return kStatusNoMovieFound;
        if (status < 0x80) {
            // Running status: this byte is the first data byte.
            if (running == 0) return kStatusNoMovieFound;
            --c.at;
            status = running;
        }
        if (status < 0xF0) {
            running = status;
            RawEvent e;
            e.tick = tick;
            e.event.status = status;
            uint8_t d = 0;
            if (!c.byte(&d) || d >= 0x80) return kStatusNoMovieFound;
            e.event.data1 = d;
            if (DataBytes(status) == 2) {
                if (!c.byte(&d) || d >= 0x80) return kStatusNoMovieFound;
                e.event.data2 = d;
            }
            events->push_back(e);
            continue;
        }
        if (status == kSysexEvent || status == kSysexEscape) {
            uint32_t n = 0;
            std::span<const uint8_t> body;
            if (!c.quantity(&n) || !c.take(n, &body)) return kStatusNoMovieFound;
            // Escaped bytes (0xF7) are not a message of their own; only
            // complete exclusive messages go to the synthesizer.
            if (status == kSysexEvent && !body.empty()) {
                if (song->sysex.size() + body.size() > UINT32_MAX) return kStatusNoMovieFound;
                RawEvent e;
                e.tick = tick;
                e.event.status = kSysexEvent;
                e.event.sysexOffset = uint32_t(song->sysex.size());
                // The closing 0xF7 is not part of what the synthesizer takes.
                const size_t len = body.back() == kSysexEscape ? body.size() - 1 : body.size();
                e.event.sysexLength = uint32_t(len);
                song->sysex.insert(song->sysex.end(), body.begin(), body.begin() + long(len));
                events->push_back(e);
            }
            continue;
        }
        if (status != kMetaEvent) return kStatusNoMovieFound;  // 0xF1..0xFE do not occur in files
        uint8_t type = 0;
        uint32_t n = 0;
        std::span<const uint8_t> body;
        if (!c.byte(&type) || !c.quantity(&n) || !c.take(n, &body)) return kStatusNoMovieFound;
        if (type == kMetaEndOfTrack) break;
        if (type == kMetaTempo && body.size() >= 3) {
            const uint32_t tempo = (uint32_t(body[0]) << 16) | (uint32_t(body[1]) << 8) | body[2];
            if (tempo > 0) tempos->push_back({tick, tempo});
        } else if (type == kMetaTrackName && trackIndex == 0 && song->name.empty()) {
            song->name.assign(body.begin(), body.end());
        } else if (type == kMetaCopyright && song->copyright.empty()) {
            song->copyright.assign(body.begin(), body.end());
        }
    }
    result->endTick = tick;
    return noErr;
}

// Ticks to microseconds under a tempo map (PPQ) or a fixed tick length (SMPTE).
class Clock {
  public:
    static bool Make(int16_t division, std::vector<TempoChange> tempos, Clock* out) {
        Clock c;
        if (division > 0) {
            c.m_ppq = division;
            std::stable_sort(tempos.begin(), tempos.end(),
                             [](const TempoChange& a, const TempoChange& b) {
                                 return a.tick < b.tick;
                             });
            c.m_segments.push_back({0, 0, kDefaultTempo});
            for (const TempoChange& t : tempos) {
                const Segment& last = c.m_segments.back();
                const __int128 at = last.micros + __int128(t.tick - last.tick) * last.tempo / c.m_ppq;
                if (at > kMaxMidiSongMicroseconds) break;  // later changes never matter
                if (t.tick == last.tick) {
                    c.m_segments.back().tempo = t.tempo;
                } else {
                    c.m_segments.push_back({t.tick, int64_t(at), t.tempo});
                }
            }
        } else {
            const int fps = -int(int8_t(uint16_t(division) >> 8));
            const int ticksPerFrame = division & 0xFF;
            if (ticksPerFrame == 0) return false;
            switch (fps) {
                case 24:
                case 25:
                case 30:
                    c.m_smpteNum = int64_t(1000000);
                    c.m_smpteDen = int64_t(fps) * ticksPerFrame;
                    break;
                case 29:  // 30 drop-frame: 29.97 frames per second
                    c.m_smpteNum = int64_t(1000000) * 1001;
                    c.m_smpteDen = int64_t(30000) * ticksPerFrame;
                    break;
                default:
                    return false;
            }
        }
        *out = std::move(c);
        return true;
    }

    // Microseconds, or -1 beyond the longest song we take.
    int64_t Micros(int64_t tick) const {
        __int128 v;
        if (m_ppq > 0) {
            auto it = std::upper_bound(
                m_segments.begin(), m_segments.end(), tick,
                [](int64_t t, const Segment& s) { return t < s.tick; });
            const Segment& s = *(it - 1);
            v = s.micros + __int128(tick - s.tick) * s.tempo / m_ppq;
        } else {
            v = __int128(tick) * m_smpteNum / m_smpteDen;
        }
        return v > kMaxMidiSongMicroseconds ? -1 : int64_t(v);
    }

  private:
    struct Segment {
        int64_t tick;
        int64_t micros;
        uint32_t tempo;
    };
    int m_ppq = 0;
    std::vector<Segment> m_segments;
    int64_t m_smpteNum = 0, m_smpteDen = 1;
};

// The standard MIDI file inside a RIFF 'RMID' wrapper, or the bytes as they are.
bool Unwrap(std::span<const uint8_t> bytes, std::span<const uint8_t>* smf) {
    if (!IsTag(bytes, 0, "RIFF")) {
        *smf = bytes;
        return true;
    }
    if (bytes.size() < 12 || !IsTag(bytes, 8, "RMID")) return false;
    size_t at = 12;
    while (bytes.size() - at >= 8) {
        const uint32_t n = Le32(bytes, at + 4);
        if (n > bytes.size() - at - 8) return false;
        if (IsTag(bytes, at, "data")) {
            *smf = bytes.subspan(at + 8, n);
            return true;
        }
        at += 8 + size_t(n) + (n & 1);
        if (at > bytes.size()) return false;
    }
    return false;
}

OSStatus Parse(std::span<const uint8_t> file, MidiSong* out) {
    std::span<const uint8_t> bytes;
    if (!Unwrap(file, &bytes)) return kStatusNoMovieFound;
    if (bytes.size() < 14 || !IsTag(bytes, 0, "MThd")) return kStatusNoMovieFound;
    const uint32_t headerLength = Be32(bytes, 4);
    if (headerLength < 6 || headerLength > bytes.size() - 8) return kStatusNoMovieFound;
    MidiSong song;
    song.format = Be16(bytes, 8);
    song.trackCount = Be16(bytes, 10);
    song.division = int16_t(Be16(bytes, 12));
    if (song.format > 1 || song.trackCount == 0 || song.division == 0) return kStatusNoMovieFound;
    if (song.format == 0 && song.trackCount != 1) return kStatusNoMovieFound;

    std::vector<RawEvent> events;
    std::vector<TempoChange> tempos;
    std::vector<int64_t> trackEnds;
    size_t at = 8 + size_t(headerLength);
    size_t tracks = 0;
    // Chunks of other kinds may sit between the tracks and are skipped.
    while (tracks < song.trackCount) {
        if (bytes.size() - at < 8) return kStatusNoMovieFound;  // a claimed track is missing
        const uint32_t n = Be32(bytes, at + 4);
        if (n > bytes.size() - at - 8) return kStatusNoMovieFound;
        if (IsTag(bytes, at, "MTrk")) {
            TrackResult r;
            if (OSStatus err = ParseTrack(bytes.subspan(at + 8, n), tracks, &song, &events,
                                          &tempos, &r);
                err != noErr) {
                return err;
            }
            trackEnds.push_back(r.endTick);
            ++tracks;
        }
        at += 8 + size_t(n);
    }

    Clock clock;
    if (!Clock::Make(song.division, std::move(tempos), &clock)) return kStatusNoMovieFound;
    for (int64_t end : trackEnds) {
        const int64_t us = clock.Micros(end);
        if (us < 0) return kStatusNoMovieFound;
        song.duration = std::max(song.duration, us);
    }
    // Events of different tracks at the same tick keep the tracks' order.
    std::stable_sort(events.begin(), events.end(),
                     [](const RawEvent& a, const RawEvent& b) { return a.tick < b.tick; });
    song.events.reserve(events.size());
    for (const RawEvent& r : events) {
        MidiEvent e = r.event;
        e.time = clock.Micros(r.tick);
        if (e.time < 0) return kStatusNoMovieFound;  // cannot happen before a track's end
        song.events.push_back(e);
    }
    *out = std::move(song);
    return noErr;
}

}  // namespace

bool LooksLikeMidiFile(std::span<const uint8_t> head) {
    return IsTag(head, 0, "MThd") || (IsTag(head, 0, "RIFF") && IsTag(head, 8, "RMID"));
}

OSStatus ParseMidiFile(std::span<const uint8_t> bytes, MidiSong* song) {
    if (song == nullptr) return kStatusParamError;
    try {
        return Parse(bytes, song);
    } catch (const std::bad_alloc&) {
        return kStatusOutOfMemory;
    } catch (const std::length_error&) {
        return kStatusOutOfMemory;
    }
}
