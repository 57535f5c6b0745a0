#include "platform/tests/support/midi_maker.h"

#include <algorithm>
#include <cmath>

void MidiTrackMaker::add(uint32_t tick, std::vector<uint8_t> bytes) {
    events.push_back({tick, std::move(bytes)});
    endTick = std::max(endTick, tick);
}

void MidiTrackMaker::note(uint32_t tick, uint32_t length, int channel, int key, int velocity) {
    add(tick, {uint8_t(0x90 | channel), uint8_t(key), uint8_t(velocity)});
    // A note-on of velocity 0 ends it, as many files do.
    add(tick + length, {uint8_t(0x90 | channel), uint8_t(key), 0});
}

void MidiTrackMaker::program(uint32_t tick, int channel, int program) {
    add(tick, {uint8_t(0xC0 | channel), uint8_t(program)});
}

void MidiTrackMaker::tempo(uint32_t tick, uint32_t us) {
    add(tick, {0xFF, 0x51, 0x03, uint8_t(us >> 16), uint8_t(us >> 8), uint8_t(us)});
}

void MidiTrackMaker::name(const std::string& text) {
    std::vector<uint8_t> b{0xFF, 0x03};
    PutMidiQuantity(&b, uint32_t(text.size()));
    b.insert(b.end(), text.begin(), text.end());
    add(0, std::move(b));
}

void PutMidiQuantity(std::vector<uint8_t>* out, uint32_t v) {
    uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = uint8_t(v & 0x7F);
        v >>= 7;
    } while (v != 0);
    while (n-- > 0) out->push_back(uint8_t(groups[n] | (n > 0 ? 0x80 : 0)));
}

namespace {
void Put32(std::vector<uint8_t>* o, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) o->push_back(uint8_t(v >> s));
}
void Put16(std::vector<uint8_t>* o, uint32_t v) {
    o->push_back(uint8_t(v >> 8));
    o->push_back(uint8_t(v));
}
}  // namespace

std::vector<uint8_t> MakeMidiFile(uint16_t format, int16_t division,
                                  const std::vector<MidiTrackMaker>& tracks, bool runningStatus) {
    std::vector<uint8_t> out{'M', 'T', 'h', 'd'};
    Put32(&out, 6);
    Put16(&out, format);
    Put16(&out, uint32_t(tracks.size()));
    Put16(&out, uint16_t(division));
    for (const MidiTrackMaker& t : tracks) {
        std::vector<MidiTrackMaker::Timed> ev = t.events;
        std::stable_sort(ev.begin(), ev.end(),
                         [](const auto& a, const auto& b) { return a.tick < b.tick; });
        std::vector<uint8_t> body;
        uint32_t now = 0;
        uint8_t running = 0;
        for (const auto& e : ev) {
            PutMidiQuantity(&body, e.tick - now);
            now = e.tick;
            const bool channel = e.bytes[0] < 0xF0;
            const bool skip = runningStatus && channel && e.bytes[0] == running;
            body.insert(body.end(), e.bytes.begin() + (skip ? 1 : 0), e.bytes.end());
            if (channel) running = e.bytes[0];
        }
        PutMidiQuantity(&body, t.endTick - now);
        body.insert(body.end(), {0xFF, 0x2F, 0x00});
        out.insert(out.end(), {'M', 'T', 'r', 'k'});
        Put32(&out, uint32_t(body.size()));
        out.insert(out.end(), body.begin(), body.end());
    }
    return out;
}

std::vector<uint8_t> HeldA4Song(double seconds) {
    MidiTrackMaker t;
    const uint32_t ticks = uint32_t(seconds * 2 * 480);  // 120 bpm, 480 per quarter
    t.program(0, 0, 73);  // flute: nearly a pure tone
    t.note(0, ticks, 0, 69, 110);
    return MakeMidiFile(0, 480, {t});
}

std::vector<uint8_t> BandSong(double seconds) {
    MidiTrackMaker conductor, keys, bass, strings, drums;
    conductor.name("Band");
    conductor.tempo(0, 500000);  // 120 bpm
    const uint32_t beats = uint32_t(seconds * 2);
    const uint32_t half = beats / 2;
    conductor.tempo(half * 480, 400000);  // 150 bpm for the second half
    keys.program(0, 0, 0);
    bass.program(0, 1, 33);
    strings.program(0, 2, 48);
    const int chords[4][3] = {{60, 64, 67}, {57, 60, 64}, {53, 57, 60}, {55, 59, 62}};
    // The second half is faster, so fit more beats into it.
    const uint32_t total = half + uint32_t((seconds - half * 0.5) / 0.4);
    for (uint32_t b = 0; b < total; ++b) {
        const uint32_t tick = b * 480;
        const auto& c = chords[(b / 4) % 4];
        for (int k : c) keys.note(tick, 400, 0, k, 80);
        bass.note(tick, 220, 1, c[0] - 24, 100);
        bass.note(tick + 240, 220, 1, c[2] - 24, 90);
        if (b % 4 == 0)
            for (int k : c) strings.note(tick, 1900, 2, k + 12, 60);
        drums.note(tick, 100, 9, b % 2 == 0 ? 36 : 38, 110);  // kick, snare
        drums.note(tick, 100, 9, 42, 70);                     // closed hi-hat
        drums.note(tick + 240, 100, 9, 42, 60);
    }
    return MakeMidiFile(1, 480, {conductor, keys, bass, strings, drums});
}

double Rms(const std::vector<int16_t>& samples) {
    if (samples.empty()) return 0;
    double sum = 0;
    for (int16_t s : samples) sum += double(s) * s;
    return std::sqrt(sum / double(samples.size()));
}

double DominantFrequency(const std::vector<int16_t>& samples, int channels, double rate,
                         size_t from, size_t count, double lo, double hi) {
    const size_t frames = samples.size() / size_t(channels);
    if (from >= frames) return 0;
    count = std::min(count, frames - from);
    double best = 0, bestPower = -1;
    // Goertzel at each 0.5 Hz step: exact enough for a 2 % window.
    for (double f = lo; f <= hi; f += 0.5) {
        const double w = 2 * M_PI * f / rate, coeff = 2 * std::cos(w);
        double s1 = 0, s2 = 0;
        for (size_t i = 0; i < count; ++i) {
            const double s = samples[(from + i) * size_t(channels)] + coeff * s1 - s2;
            s2 = s1;
            s1 = s;
        }
        const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
        if (power > bestPower) {
            bestPower = power;
            best = f;
        }
    }
    return best;
}
