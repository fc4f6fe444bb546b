// Comparing dotted version texts ("1.2.0.10") as the upgrade check and the
// program's own version need it. Free of platform headers so it is tested
// directly, natively too.
#pragma once
#include <array>
#include <string>
#include <string_view>

namespace win {

// The first four parts of a dotted text: each the text up to the next ".",
// "0" for a part past the end; a fifth and later part is ignored.
std::array<std::wstring, 4> SplitVersion(std::wstring_view text);

// Sign of a against b, part by part as numbers, so 1.10 is above 1.9 and 1.2
// equals 1.2.0.0. When a part of either is not a number (or is -1) the whole
// texts are compared ordinally instead: 1.0a is above 1.0.
int CompareVersions(std::wstring_view a, std::wstring_view b);

} // namespace win
