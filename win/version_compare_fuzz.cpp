// Version texts from an information file, compared with the program's own:
// the comparison must be an order, or an upgrade could be offered back and
// forth. Input: up to three texts separated by newlines, one byte per
// character.
#include <cstddef>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "fuzz_check.h"
#include "win/version_compare.h"

namespace {

// Every part a plain number the comparison reads as one (-1 is its mark
// for "no number", so it is left out here).
bool AllPartsNumeric(const std::wstring& text) {
    for (const auto& part : win::SplitVersion(text)) {
        size_t i = part.size() && (part[0] == L'+' || part[0] == L'-') ? 1 : 0;
        if (i == part.size() || part.size() - i > 9) return false;
        for (size_t k = i; k < part.size(); ++k)
            if (part[k] < L'0' || part[k] > L'9') return false;
        if (std::stol(std::string(part.begin(), part.end())) == -1) return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::wstring> texts(1);
    for (size_t i = 0; i < size && texts.size() <= 3; ++i) {
        if (data[i] == '\n') texts.emplace_back();
        else texts.back() += static_cast<wchar_t>(data[i]);
    }
    if (texts.size() > 3) texts.resize(3);
    while (texts.size() < 3) texts.push_back(texts.back() + L".1");

    for (const auto& a : texts) {
        FUZZ_CHECK(win::CompareVersions(a, a) == 0, "a version equals itself");
        for (const auto& b : texts) {
            const int ab = win::CompareVersions(a, b);
            FUZZ_CHECK(ab >= -1 && ab <= 1, "the comparison gives a sign");
            FUZZ_CHECK(ab == -win::CompareVersions(b, a), "swapping the texts swaps the sign");
        }
    }
    const auto& [a, b, c] = std::tie(texts[0], texts[1], texts[2]);
    if (AllPartsNumeric(a) && AllPartsNumeric(b) && AllPartsNumeric(c)) {
        const int ab = win::CompareVersions(a, b), bc = win::CompareVersions(b, c), ac = win::CompareVersions(a, c);
        if (ab <= 0 && bc <= 0) FUZZ_CHECK(ac <= 0, "numeric versions are ordered transitively");
        if (ab >= 0 && bc >= 0) FUZZ_CHECK(ac >= 0, "numeric versions are ordered transitively");
        if (ab == 0 && bc == 0) FUZZ_CHECK(ac == 0, "equal numeric versions are all equal");
    }
    return 0;
}
