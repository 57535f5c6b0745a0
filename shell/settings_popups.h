#pragma once
// What the main window's audio and video popups show for a profile record,
// and what a choice in them does to the record. Plain lists and rules, so
// that the window only draws them and the rules are tested without one.
// Texts are Mac Roman, from the program's string lists.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/resources.h"
#include "profiles/profile.h"

// Audio format codes.
inline constexpr int32_t kAudioNone = 0;
inline constexpr int32_t kAudioAtrac3 = 624;
inline constexpr int32_t kAudioAdpcm2 = 626;
inline constexpr int32_t kAudioPcmMono = 627;
inline constexpr int32_t kAudioAdpcm4 = 628;
inline constexpr int32_t kAudioYamaha = 629;
inline constexpr int32_t kAudioPcmStereo = 630;

// Depth codes the video popup offers.
inline constexpr int16_t kDepthNoVideo = 32767;
inline constexpr int16_t kDepthColour = 32;
inline constexpr int16_t kDepthGrey16 = 36;

// String lists behind the popups.
namespace settings_lists {
inline constexpr ResID kAudioFormatLabels = 144;
inline constexpr ResID kAudioDescriptions = 149;
inline constexpr ResID kChannels = 143;
inline constexpr ResID kCompression = 146;
inline constexpr ResID kBoost = 147;
inline constexpr ResID kVideoFormats = 515;
inline constexpr ResID kFrameRates = 517;
inline constexpr ResID kVideoRates = 518;
inline constexpr ResID kVideoDescriptions = 160;
}  // namespace settings_lists

// One popup: its items ("-" is a separator line), the selected item
// (1-based; 0 when nothing fits) and whether it takes choices.
struct PopupModel {
    std::vector<std::string> items;
    int selected = 0;
    bool enabled = true;
};

struct AudioPopups {
    PopupModel format;       // item 32
    // The code each format item stands for (kAudioAdpcm2 for "ADPCM",
    // kAudioPcmMono for "Uncompressed"); -1 for the separator.
    std::vector<int32_t> formatCodes;
    PopupModel channels;     // item 33
    PopupModel rate;         // item 34: sample rates, or bit rates for ATRAC3
    bool rateIsBitRate = false;
    PopupModel compression;  // item 35
    PopupModel boost;        // item 36
    std::string description; // item 43
};
AudioPopups buildAudioPopups(const ProfileRecord& r, const ResourceFile& res);

struct VideoPopups {
    PopupModel format;     // item 26
    PopupModel frameRate;  // item 27
    PopupModel dataRate;   // item 28
    std::string description;  // item 42
};
VideoPopups buildVideoPopups(const ProfileRecord& r, const ResourceFile& res);

// --- What a choice does to the record ------------------------------------------
// Each returns true when the record changed.

// A format item was chosen: `code` is formatCodes[item - 1].
bool chooseAudioFormat(ProfileRecord* r, int32_t code);
// Item 33: item 1 mono, items 2 and 3 two channels.
bool chooseChannels(ProfileRecord* r, int item);
// Item 34, by the chosen item's text ("22.050 kHz", "33.000 kbps").
bool chooseRate(ProfileRecord* r, std::string_view itemText);
// Item 35: 1 gives ADPCM 2:1, 2 gives 4:1.
bool chooseCompression(ProfileRecord* r, int item);
// Item 36: the boost is the item number less one.
bool chooseBoost(ProfileRecord* r, int item);
// Item 26: 1 no video, 3 colour, 4 sixteen greys (the separator: nothing).
bool chooseVideoFormat(ProfileRecord* r, int item);
// Item 27: "Best" (0) or the item's number of frames per second.
bool chooseFrameRate(ProfileRecord* r, std::string_view itemText);
// Item 28: the item's number of kilobits per second.
bool chooseVideoRate(ProfileRecord* r, std::string_view itemText);

// The settings popup's first item while the settings differ from the
// chosen profile: "Custom (name)", or "Custom (name, base)" for a profile
// that is itself custom. `custom` is item 1 of the settings list.
std::string customSettingsTitle(std::string_view custom, const ProfileRecord& r);

// The number at the start of a popup text ("22.050 kHz" gives 22.05,
// "320 kbps" 320); false when the text starts with no number.
bool leadingNumber(std::string_view text, double* value);
