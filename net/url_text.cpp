#include "net/url_text.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

#include "net/text.h"

namespace au {
namespace {

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

void AppendCodePoint(std::wstring& out, uint32_t cp) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (cp > 0xFFFF) {
            cp -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (cp >> 10));
            out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
            return;
        }
    }
    out += static_cast<wchar_t>(cp);
}

// Length of the well-formed UTF-8 sequence at `i` and its code point, or 0.
size_t Utf8Sequence(const std::vector<uint8_t>& b, size_t i, uint32_t& cp) {
    const uint8_t lead = b[i];
    size_t n;
    uint32_t min;
    if (lead >= 0xC2 && lead <= 0xDF) { n = 2; cp = lead & 0x1F; min = 0x80; }
    else if (lead >= 0xE0 && lead <= 0xEF) { n = 3; cp = lead & 0x0F; min = 0x800; }
    else if (lead >= 0xF0 && lead <= 0xF4) { n = 4; cp = lead & 0x07; min = 0x10000; }
    else return 0;
    if (i + n > b.size()) return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((b[i + k] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b[i + k] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

void AppendBytes(std::wstring& out, const std::vector<uint8_t>& bytes) {
    for (size_t i = 0; i < bytes.size();) {
        uint32_t cp = 0;
        const size_t n = bytes[i] < 0x80 ? 0 : Utf8Sequence(bytes, i, cp);
        if (n == 0) {
            out += static_cast<wchar_t>(bytes[i++]);
        } else {
            AppendCodePoint(out, cp);
            i += n;
        }
    }
}

// Blanks and control characters would end an argument or a request line;
// the C1 controls (U+0080-U+009F) count too, since a conversion to bytes or
// a server may read U+0085 as a line break.
bool IsBlankOrControl(wchar_t c) { return c <= L' ' || (c >= 0x7F && c <= 0x9F); }

void AppendEscapedByte(std::wstring& out, uint32_t byte) {
    static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
    out += L'%';
    out += kHex[(byte >> 4) & 0xF];
    out += kHex[byte & 0xF];
}

// Every character `escaped` picks as the %XX of its UTF-8 bytes, so it
// decodes back to itself; only characters below U+0800 are ever picked.
template <class Pick>
void AppendEscaped(std::wstring& out, std::wstring_view text, Pick escaped) {
    for (const wchar_t c : text) {
        const auto cp = static_cast<uint32_t>(c);
        if (!escaped(c)) {
            out += c;
        } else if (cp < 0x80) {
            AppendEscapedByte(out, cp);
        } else {
            AppendEscapedByte(out, 0xC0 | (cp >> 6));
            AppendEscapedByte(out, 0x80 | (cp & 0x3F));
        }
    }
}

} // namespace

std::wstring URLToFileName(const std::wstring& url) {
    std::wstring path = url;
    for (auto& c : path)
        if (c == L'/') c = L'\\';
    return FileNamePart(path);
}

std::wstring WithDefaultScheme(const std::wstring& url) {
    return url.find(L"://") == std::wstring::npos ? L"http://" + url : url;
}

std::wstring RequestObject(const std::wstring& url) {
    const size_t mark = url.find(L"://");
    const size_t start = mark == std::wstring::npos ? 0 : mark + 3;
    const size_t begin = std::min(url.find_first_of(L"/?#", start), url.size());
    const size_t end = std::min(url.find(L'#', begin), url.size());
    std::wstring object;
    if (begin == end || url[begin] != L'/') object = L"/";
    AppendEscaped(object, std::wstring_view(url).substr(begin, end - begin), IsBlankOrControl);
    return object;
}

bool WrittenPortFits(const std::wstring& url) {
    const size_t mark = url.find(L"://");
    const size_t start = mark == std::wstring::npos ? 0 : mark + 3;
    const size_t end = std::min(url.find_first_of(L"/?#", start), url.size());
    std::wstring host = url.substr(start, end - start);
    if (const size_t at = host.rfind(L'@'); at != std::wstring::npos) host.erase(0, at + 1);
    if (const size_t bracket = host.rfind(L']'); bracket != std::wstring::npos) host.erase(0, bracket + 1);
    const size_t colon = host.rfind(L':');
    if (colon == std::wstring::npos) return true;
    uint32_t port = 0;
    for (size_t i = colon + 1; i < host.size(); ++i) {
        if (host[i] < L'0' || host[i] > L'9') return true;  // no number: the cracker judges it
        port = port * 10 + static_cast<uint32_t>(host[i] - L'0');
        if (port > 65535) return false;
    }
    return true;
}

std::wstring DecodeURLEscapes(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size());
    std::vector<uint8_t> run;
    for (size_t i = 0; i < text.size();) {
        if (text[i] == L'%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            run.push_back(static_cast<uint8_t>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
            i += 3;
            continue;
        }
        AppendBytes(out, run);
        run.clear();
        out += text[i++];
    }
    AppendBytes(out, run);
    return out;
}

std::optional<std::wstring> ShellSafeURL(const std::wstring& url) {
    const size_t mark = url.find(L"://");
    if (mark == std::wstring::npos) return std::nullopt;
    const std::wstring scheme = LowerAscii(url.substr(0, mark));
    if (scheme != L"http" && scheme != L"https") return std::nullopt;
    // A double quote would end the quoted argument the URL is put in.
    std::wstring out;
    AppendEscaped(out, url, [](wchar_t c) { return IsBlankOrControl(c) || c == L'"'; });
    return out;
}

} // namespace au
