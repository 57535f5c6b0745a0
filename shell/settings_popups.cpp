#include "shell/settings_popups.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

// Labels of STR# 144, in its order.
enum AudioLabel : int { kLabelNone = 1, kLabelAtrac3, kLabelAdpcm, kLabelPcm, kLabelYamaha };

int labelOf(int32_t code) {
    switch (code) {
        case kAudioNone: return kLabelNone;
        case kAudioAtrac3: return kLabelAtrac3;
        case kAudioAdpcm2:
        case kAudioAdpcm4: return kLabelAdpcm;
        case kAudioPcmMono:
        case kAudioPcmStereo: return kLabelPcm;
        case kAudioYamaha: return kLabelYamaha;
        default: return 0;
    }
}

// The code a label's menu item stands for.
int32_t codeOfLabel(int label) {
    switch (label) {
        case kLabelAtrac3: return kAudioAtrac3;
        case kLabelAdpcm: return kAudioAdpcm2;
        case kLabelPcm: return kAudioPcmMono;
        case kLabelYamaha: return kAudioYamaha;
        default: return kAudioNone;
    }
}

std::string indString(const ResourceFile& res, ResID list, int index) {
    std::string s;
    getIndString(res, list, index, &s);
    return s;
}

std::vector<std::string> stringList(const ResourceFile& res, ResID list) {
    std::vector<std::string> out;
    std::span<const uint8_t> data;
    if (res.get(kResTypeStringList, list, &data) == noErr) parseStringList(data, &out);
    return out;
}

bool isStereoDevice(const ProfileRecord& r) { return r.maxChannels >= 2; }

// Which string list offers the rates of the record's format (0: none).
ResID rateList(const ProfileRecord& r) {
    const bool stereo = isStereoDevice(r);
    switch (r.audioCode) {
        case kAudioPcmMono: return 145;
        case kAudioPcmStereo: return 152;
        case kAudioAdpcm2: return stereo ? 153 : 141;
        case kAudioAdpcm4: return stereo ? 154 : 142;
        case kAudioYamaha: return 151;
        // Two channels give the stereo bit rates; the dual list (139) has no
        // channel choice of its own in the channels popup.
        case kAudioAtrac3: return r.channels >= 2 ? 138 : 137;
        default: return 0;
    }
}

std::string formatRate(double value, bool bitRate) {
    char text[32];
    std::snprintf(text, sizeof text, bitRate ? "%.3f kbps" : "%.3f kHz", value / 1000.0);
    return text;
}

// Item whose leading number equals value; 0 when none does.
int itemWithNumber(const std::vector<std::string>& items, double value, int first = 1) {
    for (size_t i = size_t(first - 1); i < items.size(); ++i) {
        double n = 0;
        if (leadingNumber(items[i], &n) && std::fabs(n - value) < 1e-9) return int(i) + 1;
    }
    return 0;
}

}  // namespace

bool leadingNumber(std::string_view text, double* value) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    const char* begin = text.data() + i;
    const char* end = text.data() + text.size();
    double v = 0;
    auto [ptr, ec] = std::from_chars(begin, end, v);
    if (ec != std::errc() || ptr == begin) return false;
    if (value) *value = v;
    return true;
}

AudioPopups buildAudioPopups(const ProfileRecord& r, const ResourceFile& res) {
    using namespace settings_lists;
    AudioPopups p;
    p.format.items.push_back(indString(res, kAudioFormatLabels, kLabelNone));
    p.formatCodes.push_back(kAudioNone);
    p.format.items.emplace_back("-");
    p.formatCodes.push_back(-1);
    std::vector<int> shown;
    for (size_t i = 0; i < r.formatCount && i < r.formats.size(); ++i) {
        const int label = labelOf(r.formats[i]);
        if (label == 0 || label == kLabelNone) continue;
        bool seen = false;
        for (int s : shown) seen = seen || s == label;
        if (seen) continue;  // 626 and 628 make one "ADPCM", 627 and 630 one "Uncompressed"
        shown.push_back(label);
        p.format.items.push_back(indString(res, kAudioFormatLabels, label));
        p.formatCodes.push_back(codeOfLabel(label));
    }
    const int currentLabel = labelOf(r.audioCode);
    for (size_t i = 0; i < p.formatCodes.size(); ++i)
        if (p.formatCodes[i] >= 0 && labelOf(p.formatCodes[i]) == currentLabel)
            p.format.selected = int(i) + 1;

    const bool noAudio = r.audioCode == kAudioNone;
    p.channels.items.push_back(indString(res, kChannels, 1));
    if ((isStereoDevice(r) || r.audioCode == kAudioAtrac3) && r.audioCode != kAudioYamaha)
        p.channels.items.push_back(indString(res, kChannels, 2));
    p.channels.selected = std::min<int>(std::max<int>(r.channels, 1), int(p.channels.items.size()));
    p.channels.enabled = p.channels.items.size() > 1 && !noAudio;

    p.rateIsBitRate = r.audioCode == kAudioAtrac3;
    if (ResID list = rateList(r)) {
        for (const std::string& s : stringList(res, list)) {
            double v = 0;
            if (leadingNumber(s, &v)) p.rate.items.push_back(formatRate(v, p.rateIsBitRate));
        }
        const double current =
            p.rateIsBitRate ? double(r.bitRate) : double(r.sampleRate >> 16);
        int i = 0;
        for (const std::string& s : stringList(res, list)) {
            double v = 0;
            if (!leadingNumber(s, &v)) continue;
            ++i;
            if (std::fabs(v - current) < 0.5) p.rate.selected = i;
        }
    }
    p.rate.enabled = !p.rate.items.empty();

    p.compression.items = stringList(res, kCompression);
    p.compression.enabled = r.audioCode == kAudioAdpcm2 || r.audioCode == kAudioAdpcm4;
    p.compression.selected = r.audioCode == kAudioAdpcm4 ? 2 : 1;

    p.boost.items = stringList(res, kBoost);
    p.boost.selected = std::clamp<int>(r.boost + 1, 1, std::max<int>(1, int(p.boost.items.size())));
    p.boost.enabled = !noAudio;

    if (currentLabel) p.description = indString(res, kAudioDescriptions, currentLabel);
    return p;
}

VideoPopups buildVideoPopups(const ProfileRecord& r, const ResourceFile& res) {
    using namespace settings_lists;
    VideoPopups p;
    p.format.items = stringList(res, kVideoFormats);
    const int16_t depth = r.depth == 0 ? kDepthGrey16 : r.depth;
    switch (depth) {
        case kDepthNoVideo: p.format.selected = 1; break;
        case kDepthColour: p.format.selected = 3; break;
        case kDepthGrey16: p.format.selected = 4; break;
        default: p.format.selected = 0; break;
    }
    if (p.format.selected) p.description = indString(res, kVideoDescriptions, p.format.selected);

    p.frameRate.items = stringList(res, kFrameRates);
    p.dataRate.items = stringList(res, kVideoRates);
    if (depth == kDepthNoVideo) {
        p.frameRate.enabled = false;
        p.dataRate.enabled = false;
        return p;
    }
    // "Best" is item 1; the numbers follow the separator.
    p.frameRate.selected = r.frameRate == 0 ? 1 : itemWithNumber(p.frameRate.items, r.frameRate >> 16, 3);
    p.dataRate.enabled = depth == kDepthColour;
    p.dataRate.selected = itemWithNumber(p.dataRate.items, r.videoKbps);
    return p;
}

bool chooseAudioFormat(ProfileRecord* r, int32_t code) {
    const ProfileRecord before = *r;
    switch (code) {
        case kAudioNone: r->audioCode = kAudioNone; break;
        case kAudioPcmMono:
        case kAudioPcmStereo: r->audioCode = isStereoDevice(*r) ? kAudioPcmStereo : kAudioPcmMono; break;
        case kAudioAdpcm2:
        case kAudioAdpcm4:
            if (r->audioCode != kAudioAdpcm2 && r->audioCode != kAudioAdpcm4) {
                r->audioCode = kAudioAdpcm2;
                r->sampleRate = 8192u << 16;
            }
            break;
        case kAudioAtrac3:
            r->audioCode = kAudioAtrac3;
            r->bitRate = 66000;
            r->sampleRate = 44100u << 16;
            break;
        case kAudioYamaha:
            r->audioCode = kAudioYamaha;
            r->channels = 1;
            r->sampleRate = 8000u << 16;
            break;
        default: return false;
    }
    return r->audioCode != before.audioCode || r->sampleRate != before.sampleRate ||
           r->bitRate != before.bitRate || r->channels != before.channels;
}

bool chooseChannels(ProfileRecord* r, int item) {
    if (item < 1 || item > 3) return false;
    const int16_t channels = item == 1 ? 1 : 2;
    const int16_t oldChannels = r->channels;
    const int32_t oldBitRate = r->bitRate;
    r->channels = channels;
    if (r->audioCode == kAudioAtrac3 && channels == 2 && r->bitRate < 23500) r->bitRate = 23500;
    return r->channels != oldChannels || r->bitRate != oldBitRate;
}

bool chooseRate(ProfileRecord* r, std::string_view itemText) {
    double x = 0;
    if (!leadingNumber(itemText, &x) || x < 0 || x > 1e6) return false;
    const auto v = static_cast<uint32_t>(std::floor((x + 0.0005) * 1000.0));
    if (r->audioCode == kAudioAtrac3) {
        if (r->bitRate == int32_t(v)) return false;
        r->bitRate = int32_t(v);
        return true;
    }
    if (v > 0xFFFF) return false;  // does not fit 16.16
    const uint32_t fixed = v << 16;
    if (r->sampleRate == fixed) return false;
    r->sampleRate = fixed;
    return true;
}

bool chooseCompression(ProfileRecord* r, int item) {
    if (item != 1 && item != 2) return false;
    const int32_t code = item == 1 ? kAudioAdpcm2 : kAudioAdpcm4;
    if (r->audioCode == code) return false;
    r->audioCode = code;
    return true;
}

bool chooseBoost(ProfileRecord* r, int item) {
    if (item < 1 || item > 4) return false;
    if (r->boost == item - 1) return false;
    r->boost = int16_t(item - 1);
    return true;
}

bool chooseVideoFormat(ProfileRecord* r, int item) {
    int16_t depth = 0;
    switch (item) {
        case 1: depth = kDepthNoVideo; break;
        case 3: depth = kDepthColour; break;
        case 4: depth = kDepthGrey16; break;
        default: return false;
    }
    if (r->depth == depth) return false;
    r->depth = depth;
    return true;
}

bool chooseFrameRate(ProfileRecord* r, std::string_view itemText) {
    double n = 0;
    int32_t rate = 0;
    if (leadingNumber(itemText, &n)) {
        if (n < 1 || n > 240) return false;
        rate = int32_t(n) << 16;
    }  // "Best" has no number
    if (r->frameRate == rate) return false;
    r->frameRate = rate;
    return true;
}

bool chooseVideoRate(ProfileRecord* r, std::string_view itemText) {
    double n = 0;
    if (!leadingNumber(itemText, &n) || n < 1 || n > 32767) return false;
    if (r->videoKbps == int16_t(n)) return false;
    r->videoKbps = int16_t(n);
    return true;
}

std::string customSettingsTitle(std::string_view custom, const ProfileRecord& r) {
    std::string out(custom);
    out += " (";
    out += r.name;
    if (!r.baseName.empty()) {
        out += ", ";
        out += r.baseName;
    }
    out += ")";
    return out;
}
