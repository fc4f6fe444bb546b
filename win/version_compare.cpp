#include "version_compare.h"

#include <cstdint>

namespace win {
namespace {

// A decimal integer with an optional sign, or -1 when the part is not one
// (or does not fit 32 bits).
int32_t PartNumber(const std::wstring& part) {
    size_t i = 0;
    bool negative = false;
    if (i < part.size() && (part[i] == L'+' || part[i] == L'-')) negative = part[i++] == L'-';
    if (i == part.size()) return -1;
    int64_t value = 0;
    for (; i < part.size(); ++i) {
        if (part[i] < L'0' || part[i] > L'9') return -1;
        value = value * 10 + (part[i] - L'0');
        if (value > (int64_t{1} << 31)) return -1;
    }
    if (negative) value = -value;
    if (value > INT32_MAX || value < INT32_MIN) return -1;
    return static_cast<int32_t>(value);
}

int Sign(int x) { return (x > 0) - (x < 0); }

} // namespace

std::array<std::wstring, 4> SplitVersion(std::wstring_view text) {
    std::array<std::wstring, 4> parts;
    std::wstring rest(text);
    rest += L'.';
    for (auto& part : parts) {
        if (rest.empty()) {
            part = L"0";
            continue;
        }
        const size_t dot = rest.find(L'.');
        part = rest.substr(0, dot);
        rest.erase(0, dot + 1);
    }
    return parts;
}

int CompareVersions(std::wstring_view a, std::wstring_view b) {
    const auto pa = SplitVersion(a), pb = SplitVersion(b);
    for (size_t i = 0; i < pa.size(); ++i) {
        const int32_t x = PartNumber(pa[i]), y = PartNumber(pb[i]);
        if (x == -1 || y == -1) return Sign(a.compare(b));
        if (x != y) return x > y ? 1 : -1;
    }
    return 0;
}

} // namespace win
