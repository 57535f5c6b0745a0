#include "skinpacker/create_checks.h"

#include <algorithm>

#include "skinpacker/handheld_text.h"
#include "skinpacker/messages.h"

namespace skin {

bool playAndStopPlaced(const Project& project) {
    return project.slot(1).placed() && project.slot(2).placed();
}

std::string_view checkDatabaseFileName(std::string_view fileName) {
    if (fileName.empty()) return msg::kNameEmpty;
    // Wide characters take two places in the handheld's name field.
    std::string bytes;
    size_t places = toHandheldText(fileName, 1024, bytes) ? bytes.size() : fileName.size();
    if (places > kMaxDatabaseFileName) return msg::kNameTooLong;
    return {};
}

std::string_view makeDatabaseTexts(std::string_view title, std::string_view author,
                                   std::string_view version, DatabaseTexts& out) {
    if (title.empty()) return msg::kNeedTitle;
    if (author.empty()) return msg::kNeedAuthor;
    if (version.empty()) return msg::kNeedVersion;
    if (version.size() > 6 ||
        !std::all_of(version.begin(), version.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return msg::kVersionDigits;
    DatabaseTexts t;
    if (!toHandheldText(title, 32, t.title) || !toHandheldText(author, 32, t.author))
        return msg::kTextNotEncodable;
    t.version = std::string(version);
    out = std::move(t);
    return {};
}

}  // namespace skin
