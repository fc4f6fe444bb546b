// The version comparison of the upgrade check, as the component family names
// it; the rules themselves live in win/version_compare.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "win/version_compare.h"

namespace au {

// -1, 0 or 1: a against b part by part as numbers (1.10 > 1.9, 1.2 = 1.2.0.0),
// or as whole texts when a part is not a number (1.0a > 1.0).
inline int8_t CompareVersions(const std::wstring& a, const std::wstring& b) {
    return static_cast<int8_t>(win::CompareVersions(a, b));
}

inline std::array<std::wstring, 4> SplitVersion(const std::wstring& text) { return win::SplitVersion(text); }

} // namespace au
