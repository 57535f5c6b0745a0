#pragma once

// The model speaks UTF-8 std::string_view; Qt wants QString.

#include <QString>
#include <string_view>

namespace skin {

inline QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace skin
