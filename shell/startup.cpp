#include "shell/startup.h"

#include <string_view>

#include "export/avi_support.h"
#include "export/movie_exporter.h"
#include "platform/media_export.h"
#include "profiles/profile.h"

OSStatus RegisterProgramComponents() {
    if (OSStatus err = RegisterBuiltInExporters(); err != noErr) return err;
    if (OSStatus err = RegisterMoviepackerExporter(nullptr); err != noErr) return err;
    return RegisterAviPreviewComponent(nullptr);
}

bool ExporterPresent() {
    ComponentInstance exporter = nullptr;
    if (OpenDefaultComponent(kMovieExportType, kMoviepackerExportSubType, &exporter) != noErr)
        return false;
    CloseComponent(exporter);
    return true;
}

std::vector<std::string> StartupFileNames(int argc, const char* const* argv) {
    std::vector<std::string> names;
    for (int i = 1; i < argc; ++i)
        if (argv[i] != nullptr && argv[i][0] != '\0') names.emplace_back(argv[i]);
    return names;
}

StartupCommandLine ReadStartupCommandLine(int argc, const char* const* argv) {
    using Action = StartupCommandLine::Action;
    StartupCommandLine line;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        if (argv[i] == nullptr || argv[i][0] == '\0') continue;
        const std::string_view a = argv[i];
        if (options && a == "--") {
            options = false;
        } else if (options && (a == "--help" || a == "-h")) {
            if (line.action == Action::Run) line.action = Action::Help;
        } else if (options && a == "--version") {
            if (line.action == Action::Run) line.action = Action::Version;
        } else if (options && a.size() > 2 && a.substr(0, 2) == "--") {
            if (line.action != Action::BadOption) line.badOption = a;
            line.action = Action::BadOption;
        } else {
            line.files.emplace_back(a);
        }
    }
    return line;
}

AtomContainer LoadStartupSettings(const PreferenceFile& store, const ResourceFile& resources,
                                  Destination* dest) {
    Destination saved;
    std::optional<AtomContainer> settings = loadPreferences(store, resources, &saved);
    if (saved.kind == kDestinationNone) saved.kind = kDestinationSourceFolder;
    if (dest != nullptr) *dest = saved;
    if (settings) return std::move(*settings);
    // Unreadable or no saved settings: the first built-in profile.
    std::span<const uint8_t> first;
    AtomContainer c;
    if (resources.getIndexed(kResTypeProfile, 1, &first) == noErr &&
        AtomContainer::load(first, &c) == noErr)
        return c;
    return AtomContainer{};
}

OSStatus SaveShutdownSettings(const PreferenceFile& store, const AtomContainer& settings,
                              const Destination& dest) {
    return savePreferences(store, settings, dest);
}
