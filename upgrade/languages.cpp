#include "upgrade/languages.h"

#include <cwchar>

namespace au {
namespace {

constexpr uint16_t kPrimaryPortuguese = 22, kPrimaryChinese = 4;
constexpr uint16_t kSubBrazil = 1, kSubChinaSimplified = 2;

// Primary language identifiers in string-table order, wlEnglish first.
constexpr uint16_t kPrimaryIds[kLanguageCount] = {9,  25, 7,  12, 10, 22, 22, 16, 19, 6,  29, 11, 37,
                                                  34, 5,  14, 24, 3,  45, 54, 4,  4,  33, 62, 15};

} // namespace

TauAutoUpgraderLanguage LanguageForSystem(uint16_t languageId) {
    const uint16_t primary = languageId & 0x3FF;
    const uint16_t sub = languageId >> 10;
    if (primary == kPrimaryPortuguese) return sub == kSubBrazil ? wlPortugueseBrazilian : wlPortuguese;
    if (primary == kPrimaryChinese) return sub == kSubChinaSimplified ? wlChineseSimplified : wlChineseTraditional;
    for (int k = 0; k < kLanguageCount; ++k)
        if (kPrimaryIds[k] == primary) return static_cast<TauAutoUpgraderLanguage>(k + 1);
    return wlEnglish;
}

uint16_t PrimaryLanguageId(TauAutoUpgraderLanguage language) {
    return language == wlAuto ? 0 : kPrimaryIds[static_cast<int>(language) - 1];
}

uint32_t TextResourceId(TauAutoUpgraderLanguage language, int index) {
    const int k = language == wlAuto ? 1 : static_cast<int>(language);
    return static_cast<uint32_t>(41000 + 50 * (k - 1) + index);
}

} // namespace au

namespace au {
namespace {

// The length of the placeholder at `pos`, 0 when none starts there.
size_t PlaceholderAt(const std::wstring& text, size_t pos) {
    for (const wchar_t* p : {L"%s", L"%d", L"%.2d", L"%.1f"}) {
        const std::wstring_view placeholder(p);
        if (text.compare(pos, placeholder.size(), placeholder) == 0) return placeholder.size();
    }
    return 0;
}

} // namespace

std::wstring FillPlaceholders(const std::wstring& format, const std::vector<std::wstring>& values) {
    std::wstring out;
    size_t next = 0;
    for (size_t i = 0; i < format.size();) {
        if (format.compare(i, 2, L"%%") == 0) {
            out += L'%';
            i += 2;
            continue;
        }
        const size_t length = format[i] == L'%' ? PlaceholderAt(format, i) : 0;
        if (length && next < values.size()) {
            out += values[next++];
        } else {
            out.append(format, i, length ? length : 1);
        }
        i += length ? length : 1;
    }
    return out;
}

std::wstring OneDecimal(double value) {
    wchar_t text[64];
    std::swprintf(text, 64, L"%.1f", value);
    return text;
}

std::vector<std::wstring> TimeParts(int32_t seconds) {
    if (seconds < 0) seconds = 0;
    wchar_t minutes[8], rest[8];
    std::swprintf(minutes, 8, L"%02d", seconds / 60 % 60);
    std::swprintf(rest, 8, L"%02d", seconds % 60);
    return {std::to_wstring(seconds / 3600), minutes, rest};
}

std::vector<std::wstring> PlaceholdersOf(const std::wstring& text) {
    std::vector<std::wstring> found;
    for (size_t i = 0; i < text.size();) {
        if (text.compare(i, 2, L"%%") == 0) { i += 2; continue; }
        const size_t length = text[i] == L'%' ? PlaceholderAt(text, i) : 0;
        if (length) found.push_back(text.substr(i, length));
        i += length ? length : 1;
    }
    return found;
}

} // namespace au
