#pragma once
// Letter-case handling that works for every script, Cyrillic included.

#include <string>
#include <string_view>

namespace platform {

// Case-insensitive equality of two texts by Unicode full case folding.
bool SameText(std::u16string_view a, std::u16string_view b);
// The same for UTF-8 texts.
bool SameText(std::string_view a, std::string_view b);

// Unicode simple upper-casing, character by character; lengths and positions
// are kept (a character whose upper case would change the length stays as is).
std::u16string UpperCase(std::u16string_view text);
// The same for UTF-8 texts; the length in characters is kept.
std::string UpperCase(std::string_view text);
// Unicode simple lower-casing, with the same rule for lengths and positions.
std::u16string LowerCase(std::u16string_view text);

}  // namespace platform
