// moviepacker-cli profiles [NAME]: the device profiles as the settings and
// device popups list them, or one profile's values.
#include <cstdio>
#include <string>

#include "platform/resources.h"
#include "profiles/popups.h"
#include "profiles/preferences.h"
#include "profiles/profile.h"
#include "profiles/profile_lists.h"
#include "resources/resources.h"
#include "tools/cli.h"

namespace cli {

namespace {

std::string text(const std::string& macRoman) {
    return macRomanToUtf8(macRoman);
}

void usage(FILE* out) {
    std::fprintf(out,
                 "Usage: moviepacker-cli profiles [NAME]\n"
                 "\n"
                 "Without NAME, lists the manufacturers and their device profiles as the\n"
                 "settings and device popups show them (hidden profiles left out), then the\n"
                 "custom profiles of the preference store. With NAME, shows that profile's\n"
                 "values (built-in first, then custom; the name is matched ignoring case).\n");
}

const char* depthName(int depth) {
    switch (depth) {
        case 1: return "black and white";
        case 24: return "colour";
        case 32: return "colour with alpha";
        case 34: return "4 greys";
        case 36: return "16 greys";
        case 32767: return "no video";
        default: return "unknown";
    }
}

const char* soundName(int code) {
    switch (code) {
        case 0: return "none";
        case 624: return "ATRAC3";
        case 626: return "ADPCM";
        case 627: return "8-bit PCM";
        case 628: return "4-bit ADPCM";
        case 629: return "Yamaha ADPCM";
        case 630: return "16-bit PCM";
        default: return "unknown";
    }
}

double fixedValue(uint32_t v) {
    return double(v) / 65536.0;
}

void printProfile(const AtomContainer& c, bool custom) {
    const ResourceFile& res = moviepackerResources();
    ProfileRecord r;
    profileToRecord(c, res, &r);
    std::printf("name:          %s%s\n", text(r.name).c_str(), custom ? " (custom)" : "");
    if (!r.baseName.empty()) std::printf("based on:      %s\n", text(r.baseName).c_str());
    std::printf("manufacturer:  %s\n", text(manufacturerName(res, r.manufacturer)).c_str());
    std::printf("Palm OS:       %u.%u\n", unsigned(r.osVersion >> 24),
                unsigned((r.osVersion >> 20) & 0xF));
    std::printf("screen:        %d x %d\n", r.screenWidth, r.screenHeight);
    std::printf("video:         %d x %d, depth %d (%s), %.2f fps", r.videoWidth, r.videoHeight,
                r.depth, depthName(r.depth), fixedValue(uint32_t(r.frameRate)));
    uint8_t kbps[2];
    if (profileReadValue(c, profile_atoms::kVideoRate, kbps) == noErr)
        std::printf(", %d kbit/s", r.videoKbps);
    std::printf("\nangle:         %d\n", r.angle);
    std::printf("audio formats:");
    for (size_t i = 0; i < r.formatCount; ++i)
        std::printf("%s %d (%s)", i ? "," : "", r.formats[i], soundName(r.formats[i]));
    std::printf("\naudio:         code %d (%s), %d of %d channels, %.0f Hz, boost %d",
                r.audioCode, soundName(r.audioCode), r.channels, r.maxChannels,
                fixedValue(r.sampleRate), r.boost);
    if (r.audioCode == 624) std::printf(", %d bit/s", r.bitRate);
    std::printf("\ncontrols kept upright: %s\n", r.controlsUpright ? "yes" : "no");
}

}  // namespace

int runProfiles(int argc, char** argv) {
    if (argc > 2 || (argc == 2 && isHelp(argv[1]))) {
        usage(argc == 2 ? stdout : stderr);
        return argc == 2 ? kExitOk : kExitUsage;
    }
    const ResourceFile& res = moviepackerResources();
    const PreferenceFile store(PreferenceFile::defaultPath());
    if (argc == 2) {
        std::string name;
        if (!utf8ToMacRoman(argv[1], &name)) {
            std::fprintf(stderr, "moviepacker-cli profiles: the name is not Mac Roman text\n");
            return kExitUsage;
        }
        AtomContainer c;
        bool custom = false;
        if (findProfile(name, false, res, &store, &c) != noErr) {
            if (findProfile(name, true, res, &store, &c) != noErr) {
                std::fprintf(stderr,
                             "moviepacker-cli profiles: no profile named '%s' (the list: "
                             "moviepacker-cli profiles)\n", argv[1]);
                return kExitUsage;
            }
            custom = true;
        }
        printProfile(c, custom);
        return kExitOk;
    }
    std::vector<std::string> customNames;
    profileList(kListCustom, res, &store, &customNames);
    const SettingsMenu menu = buildSettingsMenu(res, !customNames.empty());
    for (size_t i = size_t(menu.firstManufacturerItem) - 1; i < menu.items.size(); ++i) {
        if (menu.items[i] == kMenuSeparator) continue;
        std::printf("%s\n", text(menu.items[i]).c_str());
        for (const std::string& item : buildDeviceMenu(menu.items[i], "", res, &store).items)
            std::printf("  %s\n", text(item).c_str());
    }
    if (!customNames.empty()) {
        std::printf("%s\n", text(menu.items[0]).c_str());
        for (const std::string& item : buildDeviceMenu(kListCustom, "", res, &store).items)
            std::printf("  %s\n", text(item).c_str());
    }
    return kExitOk;
}

}  // namespace cli
