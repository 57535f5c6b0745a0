#pragma once
// Comparing profile and manufacturer names (Mac Roman) the way the lists
// and look-ups need: ignoring case, and for sorting also diacritics.
#include <string>
#include <string_view>
#include <vector>

// True when a and b are equal ignoring case ("tungsten t3" = "Tungsten T3",
// "clié" = "CLIÉ"); diacritics still count.
bool namesEqualIgnoringCase(std::string_view a, std::string_view b);

// Orders names ignoring case and diacritics; returns a < b.
bool nameLess(std::string_view a, std::string_view b);

// Sorts a list of names with nameLess, keeping equal names in their order.
void sortNames(std::vector<std::string>* names);

// Cuts a name to the 63 characters a 64-byte counted field holds.
std::string cutName(std::string_view name);
