#pragma once
// Size and number texts as the size popups show them ("320 x 240",
// "Full 160 x 160", "Custom (240 x 180)"). No windows here, so the layout
// model and the command line can use them too.
#include <string_view>

// Skips to the first digit, reads the width, skips to the next digit and
// reads the height; a missing number is 0 ("Best" gives 0 x 0). A number
// stops growing at 65535 so that long digit runs cannot overflow.
void parseSizeText(std::string_view text, int* width, int* height);

// Decimal digits from the start of a counted string (length byte, then the
// characters) up to the first non-digit; 0 when it starts with none or is
// empty. The length byte is trusted only as far as the view reaches.
void parseNumber(std::string_view counted, long* number);
