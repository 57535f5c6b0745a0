#include <gtest/gtest.h>

#include "profiles/profile_lists.h"
#include "resources/resources.h"
#include "shell/settings_popups.h"

namespace {

using Items = std::vector<std::string>;

ProfileRecord Profile(const std::string& name) {
    AtomContainer c;
    EXPECT_EQ(findProfile(name, false, moviepackerResources(), nullptr, &c), noErr) << name;
    ProfileRecord r;
    profileToRecord(c, moviepackerResources(), &r);
    return r;
}

std::string SelectedText(const PopupModel& p) {
    return p.selected >= 1 && size_t(p.selected) <= p.items.size() ? p.items[size_t(p.selected - 1)]
                                                                   : std::string("<none>");
}

TEST(AudioPopups, FollowTheProfile) {
    const ResourceFile& res = moviepackerResources();
    // ADPCM 2:1 and 4:1 make one item; 627 is "Uncompressed"; 629 Yamaha.
    ProfileRecord os5 = Profile("All Palm OS 5 devices");
    AudioPopups p = buildAudioPopups(os5, res);
    EXPECT_EQ(p.format.items, (Items{"No Audio", "-", "ADPCM", "Uncompressed", "Yamaha ADPCM"}));
    EXPECT_EQ(p.formatCodes, (std::vector<int32_t>{0, -1, 626, 627, 629}));
    EXPECT_EQ(SelectedText(p.format), "Yamaha ADPCM");
    EXPECT_EQ(p.rate.items, (Items{"8.000 kHz"}));
    EXPECT_EQ(p.rate.selected, 1);
    // Yamaha ADPCM is mono even on a stereo device.
    EXPECT_EQ(p.channels.items, (Items{"Mono"}));
    EXPECT_FALSE(p.channels.enabled);
    EXPECT_FALSE(p.compression.enabled);

    // ADPCM on a stereo device offers the stereo list, 4:1 selected for 628.
    os5.audioCode = kAudioAdpcm4;
    os5.sampleRate = 22050u << 16;
    p = buildAudioPopups(os5, res);
    EXPECT_EQ(SelectedText(p.format), "ADPCM");
    EXPECT_EQ(p.rate.items.back(), "44.100 kHz");
    EXPECT_EQ(SelectedText(p.rate), "22.050 kHz");
    EXPECT_TRUE(p.compression.enabled);
    EXPECT_EQ(p.compression.selected, 2);
    EXPECT_EQ(p.channels.items, (Items{"Mono", "Stereo"}));
    EXPECT_TRUE(p.channels.enabled);
    EXPECT_EQ(p.description, "ADPCM, 2:1 or 4:1: small files that every handheld plays.");

    // A mono device's ADPCM list stops at 22.05 kHz and has no Stereo.
    ProfileRecord grey = Profile("All gray Palm OS devices");
    grey.boost = 2;
    p = buildAudioPopups(grey, res);
    EXPECT_EQ(p.rate.items.back(), "22.050 kHz");
    EXPECT_EQ(SelectedText(p.rate), "8.192 kHz");
    EXPECT_EQ(p.channels.items, (Items{"Mono"}));
    EXPECT_EQ(SelectedText(p.boost), "Medium");

    // ATRAC3 lists bit rates by channel count.
    ProfileRecord clie = Profile("PEG-N700C/N710C");
    p = buildAudioPopups(clie, res);
    EXPECT_TRUE(p.rateIsBitRate);
    EXPECT_EQ(p.rate.items, (Items{"33.000 kbps", "47.000 kbps", "66.000 kbps"}));
    clie.channels = 1;
    clie.bitRate = 16500;
    p = buildAudioPopups(clie, res);
    EXPECT_EQ(p.rate.items, (Items{"11.750 kbps", "16.500 kbps", "23.500 kbps", "33.000 kbps"}));
    EXPECT_EQ(SelectedText(p.rate), "16.500 kbps");
    EXPECT_EQ(SelectedText(p.channels), "Mono");

    // No audio at all: one item, and nothing else to choose.
    ProfileRecord silent = Profile("Tungsten W");
    p = buildAudioPopups(silent, res);
    EXPECT_EQ(p.format.items, (Items{"No Audio", "-"}));
    EXPECT_EQ(p.format.selected, 1);
    EXPECT_FALSE(p.rate.enabled);
    EXPECT_FALSE(p.boost.enabled);
    EXPECT_FALSE(p.channels.enabled);
}

TEST(AudioRules, ChoicesChangeTheRecord) {
    ProfileRecord r = Profile("All Palm OS 5 devices");  // stereo device, Yamaha
    // ADPCM from another format: 2:1 at 8192 Hz.
    EXPECT_TRUE(chooseAudioFormat(&r, kAudioAdpcm2));
    EXPECT_EQ(r.audioCode, kAudioAdpcm2);
    EXPECT_EQ(r.sampleRate, 8192u << 16);
    // Already ADPCM 4:1: kept, with its rate.
    r.audioCode = kAudioAdpcm4;
    r.sampleRate = 11025u << 16;
    EXPECT_FALSE(chooseAudioFormat(&r, kAudioAdpcm2));
    EXPECT_EQ(r.audioCode, kAudioAdpcm4);
    EXPECT_EQ(r.sampleRate, 11025u << 16);
    // Uncompressed follows the device's channels.
    EXPECT_TRUE(chooseAudioFormat(&r, kAudioPcmMono));
    EXPECT_EQ(r.audioCode, kAudioPcmStereo);
    ProfileRecord mono = Profile("All gray Palm OS devices");
    chooseAudioFormat(&mono, kAudioPcmMono);
    EXPECT_EQ(mono.audioCode, kAudioPcmMono);
    // Yamaha forces mono at 8 kHz.
    r.channels = 2;
    EXPECT_TRUE(chooseAudioFormat(&r, kAudioYamaha));
    EXPECT_EQ(r.channels, 1);
    EXPECT_EQ(r.sampleRate, 8000u << 16);
    // ATRAC3: 66000 bit/s at 44.1 kHz; stereo raises a low bit rate.
    EXPECT_TRUE(chooseAudioFormat(&r, kAudioAtrac3));
    EXPECT_EQ(r.bitRate, 66000);
    EXPECT_EQ(r.sampleRate, 44100u << 16);
    r.channels = 1;
    r.bitRate = 16500;
    EXPECT_TRUE(chooseChannels(&r, 2));
    EXPECT_EQ(r.channels, 2);
    EXPECT_EQ(r.bitRate, 23500);
    EXPECT_TRUE(chooseChannels(&r, 1));
    EXPECT_EQ(r.bitRate, 23500);  // going back to mono keeps it
    EXPECT_FALSE(chooseChannels(&r, 4));

    // Rates read back from their texts, without losing the last hertz.
    EXPECT_TRUE(chooseRate(&r, "47.000 kbps"));
    EXPECT_EQ(r.bitRate, 47000);
    r.audioCode = kAudioAdpcm2;
    EXPECT_TRUE(chooseRate(&r, "11.025 kHz"));
    EXPECT_EQ(r.sampleRate, 11025u << 16);
    EXPECT_TRUE(chooseRate(&r, "44.100 kHz"));
    EXPECT_EQ(r.sampleRate, 44100u << 16);
    EXPECT_FALSE(chooseRate(&r, "kHz"));
    EXPECT_FALSE(chooseRate(&r, "99999.000 kHz"));  // beyond 16.16
    EXPECT_EQ(r.sampleRate, 44100u << 16);

    EXPECT_TRUE(chooseCompression(&r, 2));
    EXPECT_EQ(r.audioCode, kAudioAdpcm4);
    EXPECT_FALSE(chooseCompression(&r, 3));
    EXPECT_TRUE(chooseBoost(&r, 4));
    EXPECT_EQ(r.boost, 3);
    EXPECT_FALSE(chooseBoost(&r, 0));
    EXPECT_TRUE(chooseAudioFormat(&r, kAudioNone));
    EXPECT_EQ(r.audioCode, 0);
}

TEST(VideoPopups, FollowTheDepth) {
    const ResourceFile& res = moviepackerResources();
    ProfileRecord r = Profile("Tungsten T3");
    VideoPopups p = buildVideoPopups(r, res);
    EXPECT_EQ(SelectedText(p.format), "Cinepak Mobile");
    EXPECT_EQ(SelectedText(p.frameRate), "15");
    EXPECT_EQ(SelectedText(p.dataRate), "640 kbps");
    EXPECT_TRUE(p.dataRate.enabled);
    EXPECT_EQ(p.description, "Colour video for handhelds with a colour screen.");

    // Best frame rate; grey has no data rate; depth 0 counts as grey.
    EXPECT_TRUE(chooseFrameRate(&r, "Best"));
    EXPECT_EQ(r.frameRate, 0);
    r.depth = 0;
    p = buildVideoPopups(r, res);
    EXPECT_EQ(SelectedText(p.frameRate), "Best");
    EXPECT_EQ(SelectedText(p.format), "16 Grays");
    EXPECT_FALSE(p.dataRate.enabled);
    EXPECT_TRUE(p.frameRate.enabled);

    EXPECT_TRUE(chooseVideoFormat(&r, 1));
    EXPECT_EQ(r.depth, kDepthNoVideo);
    p = buildVideoPopups(r, res);
    EXPECT_FALSE(p.frameRate.enabled);
    EXPECT_FALSE(p.dataRate.enabled);
    EXPECT_FALSE(chooseVideoFormat(&r, 2));  // the separator
    EXPECT_TRUE(chooseVideoFormat(&r, 3));
    EXPECT_EQ(r.depth, kDepthColour);

    EXPECT_TRUE(chooseFrameRate(&r, "24"));
    EXPECT_EQ(r.frameRate, 24 << 16);
    EXPECT_TRUE(chooseVideoRate(&r, "1200 kbps"));
    EXPECT_EQ(r.videoKbps, 1200);
    EXPECT_FALSE(chooseVideoRate(&r, "fast"));
}

TEST(SettingsTitle, NamesTheProfileAndItsBase) {
    ProfileRecord r;
    r.name = "Zire 71";
    EXPECT_EQ(customSettingsTitle("Custom", r), "Custom (Zire 71)");
    r.name = "Mine";
    r.baseName = "Zire 71";
    EXPECT_EQ(customSettingsTitle("Custom", r), "Custom (Mine, Zire 71)");
}

}  // namespace
