#include "install/destination.h"

#include "platform/files.h"

bool ChooseDestination(int item, DestinationChoosers& choosers, Destination* dest) {
    std::string folder;
    bool chosen = false;
    switch (item) {
        case kDestinationSourceFolder:
            // The folder is not used for this kind and is kept for later.
            folder = dest->folder;
            chosen = true;
            break;
        case kDestinationHotSync:
            chosen = choosers.chooseHotSyncUser(&folder);
            break;
        case kDestinationRemovable:
            chosen = choosers.chooseCardDrive(&folder);
            break;
        case kDestinationOther:
            chosen = choosers.browseFolder(&folder) && !folder.empty();
            break;
        default:
            break;
    }
    if (!chosen) return false;
    const bool changed = dest->kind != item || dest->folder != folder;
    dest->kind = uint16_t(item);
    dest->folder = folder;
    return changed;
}

std::string ProposedOutputName(std::string_view sourcePath) {
    std::string name = PathFileName(sourcePath);
    if (const size_t dot = name.rfind('.'); dot != std::string::npos) name.resize(dot);
    for (char& c : name)
        if (c == '_') c = ' ';
    return name;
}

std::string EnteredOutputName(std::string_view sourcePath, std::string_view entered) {
    const std::string name = PathFileName(sourcePath);
    const size_t dot = name.rfind('.');
    return std::string(entered) + (dot == std::string::npos ? std::string() : name.substr(dot));
}

std::string DestinationFolderText(const Destination& dest, std::span<const std::string> sources,
                                  std::string_view multipleLocations) {
    if (dest.kind != kDestinationSourceFolder) return dest.folder;
    if (sources.empty()) return {};
    const std::string first = PathFolder(sources[0]);
    for (const std::string& s : sources)
        if (PathFolder(s) != first) return std::string(multipleLocations);
    return first;
}
