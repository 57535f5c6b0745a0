// MPEG-1 Layer I and Layer II decoding: bit allocation, scale factors,
// requantisation and the polyphase synthesis filter bank.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "export/mpeg_audio.h"

// Reads bits from a frame; past its end it reads zeros, so a short or
// damaged frame decodes to something bounded instead of reading beyond.
class MpegBits {
  public:
    explicit MpegBits(std::span<const uint8_t> data) : m_data(data) {}
    // n is at most 16.
    uint32_t get(int n) {
        if (n <= 0) return 0;
        const size_t byte = m_pos >> 3;
        uint32_t w = 0;
        if (byte + 4 <= m_data.size()) {
            w = (uint32_t(m_data[byte]) << 24) | (uint32_t(m_data[byte + 1]) << 16) |
                (uint32_t(m_data[byte + 2]) << 8) | m_data[byte + 3];
        } else {
            for (size_t i = 0; i < 4; ++i)
                w = (w << 8) | (byte + i < m_data.size() ? m_data[byte + i] : 0u);
        }
        w <<= (m_pos & 7);
        m_pos += size_t(n);
        return w >> (32 - n);
    }
    void skip(int n) { m_pos += size_t(n); }

  private:
    std::span<const uint8_t> m_data;
    size_t m_pos = 0;
};

namespace {

constexpr int kSubbands = 32;
constexpr int kHistory = 1024;  // samples of V per channel
constexpr double kPi = 3.14159265358979323846;

// The working allocations and their sizes in bytes.
struct NamedAllocation {
    const char* name;
    size_t bytes;
};
constexpr NamedAllocation kAllocations[] = {
    {"PCM Samp", 2304}, {"Sample", 768}, {"fraction", 1536}, {"w", 8192},
    {"BB", 16384},      {"NN", 16384},   {"WIN", 4096},
};

int g_failAllocation = -1;  // test hook: the index of the allocation that fails

void* allocate(int index) {
    if (index == g_failAllocation) return nullptr;
    return ::operator new(kAllocations[index].bytes, std::nothrow);
}

// Scale factors: 2 * 2^(-i/3); 63 is not a valid index but decodes the way
// the formula continues.
struct ScaleFactors {
    double v[64];
    ScaleFactors() {
        for (int i = 0; i < 64; ++i) v[i] = 2.0 * std::pow(2.0, -i / 3.0);
    }
};
const ScaleFactors kScale;

// The Layer II table for a frame: by the bit rate per channel and the rate.
int selectTable(const MpegFrameHeader& h) {
    const uint32_t perChannel = h.bitRate / 1000 / uint32_t(h.channels);
    if ((h.sampleRate == 48000 && perChannel >= 56) || (perChannel >= 56 && perChannel <= 80))
        return 0;
    if (h.sampleRate != 48000 && perChannel >= 96) return 1;
    if (h.sampleRate != 32000 && perChannel <= 48) return 2;
    return 3;
}

int16_t toPcm(double v) {
    const long s = std::lrint(v * 32768.0);
    return int16_t(std::clamp(s, -32768L, 32767L));
}

// Numbers from a text table, skipping everything that is not part of one.
class TextNumbers {
  public:
    explicit TextNumbers(std::span<const uint8_t> text)
        : m_text(reinterpret_cast<const char*>(text.data()), text.size()) {}
    bool next(double* v) {
        while (m_pos < m_text.size() && !isNumberStart(m_pos)) ++m_pos;
        if (m_pos >= m_text.size()) return false;
        const std::string token =
            m_text.substr(m_pos, m_text.find_first_of(" \t\r\n[]=", m_pos) - m_pos);
        char* end = nullptr;
        *v = std::strtod(token.c_str(), &end);
        if (end == token.c_str()) return false;
        m_pos += size_t(end - token.c_str());
        return std::isfinite(*v);
    }
    bool nextInt(int* v) {
        double d = 0;
        if (!next(&d) || d != std::floor(d) || std::fabs(d) > 1e6) return false;
        *v = int(d);
        return true;
    }

  private:
    bool isNumberStart(size_t i) const {
        const char c = m_text[i];
        if (c >= '0' && c <= '9') return true;
        return (c == '-' || c == '+' || c == '.') && i + 1 < m_text.size() &&
               ((m_text[i + 1] >= '0' && m_text[i + 1] <= '9') || m_text[i + 1] == '.');
    }
    std::string m_text;
    size_t m_pos = 0;
};

}  // namespace

void MpegAudioDecoderFailAllocationForTesting(int index) {
    g_failAllocation = index;
}

MpegAudioDecoder::~MpegAudioDecoder() {
    ::operator delete(m_pcmSamples);
    ::operator delete(m_sample);
    ::operator delete(m_fraction);
    ::operator delete(m_w);
    ::operator delete(m_bb);
    ::operator delete(m_nn);
    ::operator delete(m_win);
}

OSStatus MpegAudioDecoder::loadAllocTable(const ResourceFile& file, int index) {
    std::span<const uint8_t> data;
    if (OSStatus err = file.get(kResTypeMpegTable, ResID(kMpegAllocTableFirstID + index), &data);
        err != noErr)
        return err;
    TextNumbers numbers(data);
    Table& t = m_tables[size_t(index)];
    if (!numbers.nextInt(&t.subbands) || t.subbands < 1 || t.subbands > kSubbands)
        return kStatusBadResourceMap;
    t.entries.fill(0);
    t.rows.assign(size_t(kSubbands) * 16, Allocation{0, 0, 0, 0});
    int f[6];
    while (numbers.nextInt(&f[0])) {
        for (int i = 1; i < 6; ++i)
            if (!numbers.nextInt(&f[i])) return kStatusBadResourceMap;
        const auto [sb, idx, steps, bits, group, quant] = f;
        if (sb < 0 || sb >= t.subbands || idx != t.entries[size_t(sb)] || idx >= 16 || steps < 0 ||
            steps > 65535 || bits < 0 || bits > 16 || (group != 0 && group != 1 && group != 3) ||
            quant < 0 || quant > 16 || (idx > 0 && steps < 3))
            return kStatusBadResourceMap;
        t.rows[size_t(sb * 16 + idx)] = Allocation{steps, bits, group, quant};
        ++t.entries[size_t(sb)];
    }
    // Every sub-band has 4, 8 or 16 entries: its allocation takes 2, 3 or 4 bits.
    for (int sb = 0; sb < t.subbands; ++sb) {
        const int n = t.entries[size_t(sb)];
        if (n != 4 && n != 8 && n != 16) return kStatusBadResourceMap;
    }
    return noErr;
}

OSStatus MpegAudioDecoder::create(const ResourceFile& file,
                                  std::unique_ptr<MpegAudioDecoder>* out) {
    if (out == nullptr) return kStatusParamError;
    std::unique_ptr<MpegAudioDecoder> d(new (std::nothrow) MpegAudioDecoder);
    if (!d) return kStatusOutOfMemory;
    void** slots[] = {
        reinterpret_cast<void**>(&d->m_pcmSamples), reinterpret_cast<void**>(&d->m_sample),
        reinterpret_cast<void**>(&d->m_fraction),   reinterpret_cast<void**>(&d->m_w),
        reinterpret_cast<void**>(&d->m_bb),         reinterpret_cast<void**>(&d->m_nn),
        reinterpret_cast<void**>(&d->m_win)};
    for (int i = 0; i < int(std::size(slots)); ++i) {
        *slots[i] = allocate(i);
        if (*slots[i] == nullptr) return kStatusOutOfMemory;  // the destructor frees the rest
        std::memset(*slots[i], 0, kAllocations[i].bytes);
    }
    for (int t = 0; t < 4; ++t)
        if (OSStatus err = d->loadAllocTable(file, t); err != noErr) return err;

    std::span<const uint8_t> window;
    if (OSStatus err = file.get(kResTypeMpegTable, kMpegWindowTableID, &window); err != noErr)
        return err;
    // "D[i] = value": the index and the value are the numbers, in pairs.
    TextNumbers numbers(window);
    int count = 0, index = 0;
    double value = 0;
    while (numbers.nextInt(&index)) {
        if (!numbers.next(&value) || index != count || count >= 512) return kStatusBadResourceMap;
        d->m_win[count++] = value;
    }
    if (count != 512) return kStatusBadResourceMap;

    // N[i][k] kept by column (k), so that a sub-band's sample scales one
    // contiguous column.
    for (int i = 0; i < 64; ++i)
        for (int k = 0; k < kSubbands; ++k)
            d->m_nn[k * 64 + i] = std::cos((16 + i) * (2 * k + 1) * kPi / 64.0);
    *out = std::move(d);
    return noErr;
}

void MpegAudioDecoder::synthesize(int channel, const double* s, int16_t* out) {
    double* v = m_bb + channel * kHistory;
    const int off = (m_bbOffset[size_t(channel)] - 64) & (kHistory - 1);
    m_bbOffset[size_t(channel)] = off;
    // V[i] = sum over k of N[i][k] s[k]. Rows 16..47 follow from the others
    // by the symmetry of the cosines, so only half are multiplied out, and
    // silent sub-bands not at all.
    double x[64] = {};
    for (int k = 0; k < kSubbands; ++k) {
        const double sk = s[k];
        if (sk == 0) continue;
        const double* n = m_nn + k * 64;
        for (int i = 0; i < 16; ++i) x[i] += n[i] * sk;
        for (int i = 48; i < 64; ++i) x[i] += n[i] * sk;
    }
    x[16] = 0;
    for (int i = 17; i <= 32; ++i) x[i] = -x[32 - i];
    for (int i = 33; i < 48; ++i) x[i] = x[96 - i];
    std::memcpy(v + off, x, sizeof x);  // off is a multiple of 64: no wrap

    // Sixteen blocks of 32 values of V, each contiguous, times the window.
    double acc[kSubbands] = {};
    for (int i = 0; i < 8; ++i) {
        const double* a = v + ((off + 128 * i) & (kHistory - 1));
        const double* b = v + ((off + 128 * i + 96) & (kHistory - 1));
        const double* da = m_win + 64 * i;
        const double* db = da + 32;
        for (int j = 0; j < kSubbands; ++j) acc[j] += a[j] * da[j] + b[j] * db[j];
    }
    for (int j = 0; j < kSubbands; ++j) out[j] = toPcm(acc[j]);
}

void MpegAudioDecoder::decodeLayer2(MpegBits& bits, const MpegFrameHeader& h, int16_t* pcm) {
    const int table = selectTable(h);
    if (table != m_wTable) {
        std::memcpy(m_w, m_tables[size_t(table)].rows.data(), sizeof(Allocation) * 32 * 16);
        m_wTable = table;
    }
    const Table& t = m_tables[size_t(table)];
    const int channels = h.channels;
    const int sblimit = t.subbands;
    const int bound = h.mode == 1 ? std::min((h.modeExtension + 1) * 4, sblimit) : sblimit;
    int nbal[kSubbands];
    for (int sb = 0; sb < sblimit; ++sb) {
        const int n = t.entries[size_t(sb)];
        nbal[sb] = n == 16 ? 4 : n == 8 ? 3 : 2;
    }

    int alloc[2][kSubbands] = {};
    int scfsi[2][kSubbands] = {};
    int scf[2][kSubbands][3] = {};
    for (int sb = 0; sb < sblimit; ++sb) {
        if (sb < bound) {
            for (int ch = 0; ch < channels; ++ch) alloc[ch][sb] = int(bits.get(nbal[sb]));
        } else {
            alloc[0][sb] = alloc[1][sb] = int(bits.get(nbal[sb]));
        }
    }
    for (int sb = 0; sb < sblimit; ++sb)
        for (int ch = 0; ch < channels; ++ch)
            if (alloc[ch][sb] != 0) scfsi[ch][sb] = int(bits.get(2));
    for (int sb = 0; sb < sblimit; ++sb)
        for (int ch = 0; ch < channels; ++ch) {
            if (alloc[ch][sb] == 0) continue;
            int* f = scf[ch][sb];
            switch (scfsi[ch][sb]) {
                case 0:
                    for (int p = 0; p < 3; ++p) f[p] = int(bits.get(6));
                    break;
                case 1:
                    f[0] = f[1] = int(bits.get(6));
                    f[2] = int(bits.get(6));
                    break;
                case 2:
                    f[0] = f[1] = f[2] = int(bits.get(6));
                    break;
                default:
                    f[0] = int(bits.get(6));
                    f[1] = f[2] = int(bits.get(6));
                    break;
            }
        }

    // Codes of one granule ("Sample", [channel][sample][sub-band]) and their
    // values ("fraction", same layout).
    uint32_t* codes = m_sample;
    double* fraction = m_fraction;
    for (int gr = 0; gr < 12; ++gr) {
        const int part = gr / 4;
        for (int sb = 0; sb < kSubbands; ++sb) {
            for (int ch = 0; ch < channels; ++ch) {
                const int a = alloc[ch][sb];
                uint32_t* c = codes + ch * 96 + sb;
                if (sb >= sblimit || a == 0) {
                    c[0] = c[32] = c[64] = 0;
                    for (int s = 0; s < 3; ++s) fraction[ch * 96 + s * 32 + sb] = 0;
                    continue;
                }
                const Allocation& e = m_w[sb * 16 + a];
                if (sb >= bound && ch == 1) {
                    c[0] = codes[sb];
                    c[32] = codes[32 + sb];
                    c[64] = codes[64 + sb];
                } else if (e.group == 1) {
                    uint32_t word = bits.get(e.bits);
                    for (int s = 0; s < 3; ++s) {
                        c[s * 32] = word % uint32_t(e.steps);
                        word /= uint32_t(e.steps);
                    }
                } else {
                    for (int s = 0; s < 3; ++s) c[s * 32] = bits.get(e.bits);
                }
                const double scale = kScale.v[scf[ch][sb][part]] / e.steps;
                for (int s = 0; s < 3; ++s)
                    fraction[ch * 96 + s * 32 + sb] = (2.0 * c[s * 32] - e.steps + 1) * scale;
            }
        }
        emitGranule(fraction, 3, channels, pcm + gr * 96 * channels);
    }
}

void MpegAudioDecoder::emitGranule(const double* fraction, int samples, int channels,
                                   int16_t* pcm) {
    // Each channel is synthesised into "PCM Samp", then interleaved.
    for (int ch = 0; ch < channels; ++ch)
        for (int s = 0; s < samples; ++s)
            synthesize(ch, fraction + ch * 96 + s * 32, m_pcmSamples + ch * 96 + s * 32);
    for (int i = 0; i < samples * 32; ++i)
        for (int ch = 0; ch < channels; ++ch) pcm[i * channels + ch] = m_pcmSamples[ch * 96 + i];
}

void MpegAudioDecoder::decodeLayer1(MpegBits& bits, const MpegFrameHeader& h, int16_t* pcm) {
    const int channels = h.channels;
    const int bound = h.mode == 1 ? (h.modeExtension + 1) * 4 : kSubbands;
    int alloc[2][kSubbands] = {};
    int scf[2][kSubbands] = {};
    for (int sb = 0; sb < kSubbands; ++sb) {
        if (sb < bound) {
            for (int ch = 0; ch < channels; ++ch) alloc[ch][sb] = int(bits.get(4));
        } else {
            alloc[0][sb] = alloc[1][sb] = int(bits.get(4));
        }
    }
    for (int sb = 0; sb < kSubbands; ++sb)
        for (int ch = 0; ch < channels; ++ch)
            if (alloc[ch][sb] != 0) scf[ch][sb] = int(bits.get(6));
    uint32_t* codes = m_sample;
    double* fraction = m_fraction;
    // Twelve samples per sub-band, synthesised one at a time.
    for (int s = 0; s < 12; ++s) {
        for (int sb = 0; sb < kSubbands; ++sb)
            for (int ch = 0; ch < channels; ++ch) {
                // 15 is forbidden: it decodes as silence.
                const int a = alloc[ch][sb] == 15 ? 0 : alloc[ch][sb];
                double& out = fraction[ch * 96 + sb];
                if (a == 0) {
                    out = 0;
                    continue;
                }
                const int nb = a + 1;
                if (sb >= bound && ch == 1)
                    codes[96 + sb] = codes[sb];
                else
                    codes[ch * 96 + sb] = bits.get(nb);
                const double steps = double((1 << nb) - 1);
                out = (2.0 * codes[ch * 96 + sb] - steps + 1) / steps * kScale.v[scf[ch][sb]];
            }
        emitGranule(fraction, 1, channels, pcm + s * 32 * channels);
    }
}

OSStatus MpegAudioDecoder::decodeFrame(std::span<const uint8_t> frame,
                                       const MpegFrameHeader& header, int16_t* pcm, int* frames) {
    if (frames != nullptr) *frames = 0;
    if (pcm == nullptr || !canDecode(header) || header.frameBytes < 4 ||
        frame.size() < size_t(header.frameBytes) || header.channels < 1 || header.channels > 2)
        return kStatusParamError;
    MpegBits bits(frame.first(size_t(header.frameBytes)));
    bits.skip(32);
    if (header.crc) bits.skip(16);
    if (header.layer == 2)
        decodeLayer2(bits, header, pcm);
    else
        decodeLayer1(bits, header, pcm);
    if (frames != nullptr) *frames = header.samplesPerFrame;
    return noErr;
}
