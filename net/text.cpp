#include "text.h"

namespace au {
namespace {

bool IsBlank(wchar_t c) { return c <= L' '; }

size_t LastPathDelimiter(std::wstring_view path) { return path.find_last_of(L"\\:"); }

} // namespace

std::wstring TrimLeft(std::wstring_view text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    return std::wstring(text.substr(i));
}

std::wstring TrimRight(std::wstring_view text) {
    size_t n = text.size();
    while (n > 0 && IsBlank(text[n - 1])) --n;
    return std::wstring(text.substr(0, n));
}

std::wstring Trim(std::wstring_view text) { return TrimLeft(TrimRight(text)); }

std::wstring UpperAscii(std::wstring_view text) {
    std::wstring out(text);
    for (auto& c : out)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    return out;
}

std::wstring LowerAscii(std::wstring_view text) {
    std::wstring out(text);
    for (auto& c : out)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return out;
}

std::optional<int32_t> ParseInt(std::wstring_view text) {
    size_t i = 0;
    while (i < text.size() && text[i] == L' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    if (i == text.size()) return std::nullopt;
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < L'0' || text[i] > L'9') return std::nullopt;
        value = value * 10 + (text[i] - L'0');
        if (value > (int64_t{1} << 31)) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
    return static_cast<int32_t>(value);
}

std::wstring Mid(std::wstring_view text, size_t pos, size_t count) {
    if (pos >= text.size()) return {};
    return std::wstring(text.substr(pos, count));
}

std::wstring FileExtension(std::wstring_view path) {
    const size_t dot = path.find_last_of(L".\\:");
    if (dot == std::wstring_view::npos || path[dot] != L'.') return {};
    return std::wstring(path.substr(dot));
}

std::wstring FileNamePart(std::wstring_view path) {
    const size_t cut = LastPathDelimiter(path);
    return std::wstring(cut == std::wstring_view::npos ? path : path.substr(cut + 1));
}

std::wstring DirectoryPart(std::wstring_view path) {
    const size_t cut = LastPathDelimiter(path);
    return cut == std::wstring_view::npos ? std::wstring() : std::wstring(path.substr(0, cut + 1));
}

} // namespace au
