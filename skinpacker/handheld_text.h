#pragma once

// Texts the handheld shows are Shift_JIS (code page 932) bytes; the desktop
// side works in UTF-8.

#include <string>
#include <string_view>

namespace skin {

// Converts UTF-8 to the handheld's bytes, cut to at most `maxBytes` without
// splitting a character. False when a character has no handheld form.
bool toHandheldText(std::string_view utf8, size_t maxBytes, std::string& out);

// The other way, for showing stored texts; bytes that do not convert are dropped.
std::string fromHandheldText(std::string_view bytes);

}  // namespace skin
