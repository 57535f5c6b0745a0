#pragma once
// Mac Roman, the character set of every text the handheld shows (database
// names, movie texts, chapter titles) and of the program's own resources,
// and its conversion to and from UTF-8, the encoding of file names and of
// the metadata sources carry.
#include <cstddef>
#include <string>
#include <string_view>

// Every byte has a character, so this never fails.
std::string macRomanToUtf8(std::string_view macRoman);

// Exact conversion: false when text is not valid UTF-8 or holds a character
// Mac Roman lacks; *out is then unchanged.
bool utf8ToMacRoman(std::string_view utf8, std::string* out);

// Conversion for texts that must get through whatever they hold: a
// character Mac Roman lacks takes its nearest spelling ("Ł" -> "L",
// "½" -> "1⁄2", fullwidth letters -> ASCII), an accent written as a
// combining mark joins its letter where Mac Roman has the pair, and
// anything else (CJK, emoji, with their joiners and modifiers) becomes one
// "?". Bytes that are not UTF-8 are read as Latin-1, and NUL is dropped,
// since the handheld's texts end at a zero byte. The result holds at most
// maxBytes bytes and never ends in part of one character's spelling.
std::string utf8ToMacRomanLossy(std::string_view utf8, size_t maxBytes = std::string::npos);
