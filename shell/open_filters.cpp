#include "shell/open_filters.h"

#include <algorithm>

#include "platform/graphics_import.h"

std::string importerPatterns(std::vector<OSType> subtypes) {
    std::sort(subtypes.begin(), subtypes.end());
    subtypes.erase(std::unique(subtypes.begin(), subtypes.end()), subtypes.end());
    std::string out;
    for (OSType t : subtypes) {
        std::string ext;
        for (int shift = 24; shift >= 0; shift -= 8) {
            const char c = static_cast<char>((t >> shift) & 0xFF);
            if (c == ' ' || c == '\0') break;
            ext += c;
        }
        if (ext.empty()) continue;
        out += "*." + ext + ";";
    }
    return out;
}

std::vector<OpenFileFilter> openDialogFilters() {
    std::vector<OSType> media = MovieImporterFileTypes();
    const std::vector<OSType> stills = GraphicsImporterFileTypes();
    media.insert(media.end(), stills.begin(), stills.end());
    return {
        {"Video Files", "*.3gp;*.avi;*.dv;*.mpeg;*.mpg;*.mp4;*.mov;"},
        {"All Media Files", importerPatterns(std::move(media))},
        {"All Files", "*.*;"},
    };
}
