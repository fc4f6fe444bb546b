// URL text from an information file, a redirect or a caller: the request
// object that goes into the request line, the escapes decoded, the address
// handed to the shell, the written port, the file name, and the progress
// percentage. The request line must never carry a line break, blank or other
// control character (that would inject headers), escaping must never change
// what the text decodes to, and decoding must give back what escaping made.
// Input: the whole input is the URL text (UTF-8, other bytes one character
// each); its first bytes also serve as the numbers of a percentage.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "fuzz_check.h"
#include "fuzz_input.h"
#include "net/percent.h"
#include "net/text.h"
#include "net/url_text.h"

namespace {

// A control character of Unicode (C0, DEL, C1) or a blank.
bool BreaksALine(wchar_t c) {
    const auto u = static_cast<uint32_t>(c);
    return u <= 0x20 || (u >= 0x7F && u <= 0x9F);
}

bool HasLineBreaker(const std::wstring& text) {
    for (wchar_t c : text)
        if (BreaksALine(c)) return true;
    return false;
}

std::wstring Without(std::wstring text, wchar_t dropped) {
    std::erase(text, dropped);
    return text;
}

// The target's own escaping: the character's UTF-8 bytes as %XX each.
void AppendUtf8Escaped(std::wstring& out, wchar_t c) {
    static const wchar_t kHex[] = L"0123456789abcdef";
    const auto cp = static_cast<uint32_t>(c);
    uint8_t bytes[4];
    size_t n;
    if (cp < 0x80) { bytes[0] = static_cast<uint8_t>(cp); n = 1; }
    else if (cp < 0x800) { bytes[0] = static_cast<uint8_t>(0xC0 | cp >> 6); n = 2; }
    else if (cp < 0x10000) { bytes[0] = static_cast<uint8_t>(0xE0 | cp >> 12); n = 3; }
    else { bytes[0] = static_cast<uint8_t>(0xF0 | cp >> 18); n = 4; }
    for (size_t k = 1; k < n; ++k) bytes[k] = static_cast<uint8_t>(0x80 | ((cp >> (6 * (n - 1 - k))) & 0x3F));
    for (size_t k = 0; k < n; ++k) {
        out += L'%';
        out += kHex[bytes[k] >> 4];
        out += kHex[bytes[k] & 0xF];
    }
}

void CheckRequestObject(const std::wstring& url) {
    const std::wstring object = au::RequestObject(url);
    (void)au::RequestObject(L"http://other.example/a b?c#d");
    FUZZ_CHECK(object == au::RequestObject(url), "the same object twice");
    FUZZ_CHECK(!object.empty() && object[0] == L'/', "an object starts with /");
    FUZZ_CHECK(!HasLineBreaker(object), "no line break, blank or control character in the request line");
    FUZZ_CHECK(object.find(L'#') == std::wstring::npos, "the fragment stays at home");

    // A path the target knows: escaping its blanks and controls must not
    // change what it decodes to, whatever escapes it holds already.
    const std::wstring path = L"/" + Without(url, L'#');
    const std::wstring known = au::RequestObject(L"http://host.example" + path);
    FUZZ_CHECK(!HasLineBreaker(known), "no line break, blank or control character in the request line");
    FUZZ_CHECK(au::DecodeURLEscapes(known) == au::DecodeURLEscapes(path), "escaping keeps what the path decodes to");
}

void CheckShellURL(const std::wstring& url) {
    const auto safe = au::ShellSafeURL(url);
    const std::wstring lower = au::LowerAscii(url);
    const bool web = lower.starts_with(L"http://") || lower.starts_with(L"https://");
    FUZZ_CHECK(safe.has_value() == web, "only http and https addresses reach the shell");
    if (!safe) return;
    FUZZ_CHECK(safe == au::ShellSafeURL(url), "the same address twice");
    FUZZ_CHECK(!HasLineBreaker(*safe) && safe->find(L'"') == std::wstring::npos,
               "a shell address is one argument: no blank, quote or control character");
    FUZZ_CHECK(au::DecodeURLEscapes(*safe) == au::DecodeURLEscapes(url), "escaping keeps what the address decodes to");
}

void CheckDecoding(const std::wstring& text) {
    const std::wstring decoded = au::DecodeURLEscapes(text);
    (void)au::DecodeURLEscapes(L"%E4%B8");
    FUZZ_CHECK(decoded == au::DecodeURLEscapes(text), "the same decoding twice");
    FUZZ_CHECK(decoded.size() <= text.size(), "decoding never lengthens");
    if (text.find(L'%') == std::wstring::npos) FUZZ_CHECK(decoded == text, "a text without % stays as it is");

    // Escaped by the target (every "%", and a choice of the rest as UTF-8),
    // the text decodes back to itself.
    std::wstring all, some;
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        AppendUtf8Escaped(all, c);
        if (c == L'%' || c >= 0x80 || BreaksALine(c) || (c % 3 == 0)) AppendUtf8Escaped(some, c);
        else some += c;
    }
    FUZZ_CHECK(au::DecodeURLEscapes(all) == text, "a text escaped whole decodes back to itself");
    FUZZ_CHECK(au::DecodeURLEscapes(some) == text, "a text escaped in part decodes back to itself");
}

void CheckPort(const std::wstring& text) {
    FUZZ_CHECK(au::WrittenPortFits(text) == au::WrittenPortFits(text), "the same answer twice");
    // A port of the text's digits, written after a host the target chose.
    std::wstring digits;
    for (wchar_t c : text)
        if (c >= L'0' && c <= L'9') digits += c;
    if (digits.empty()) return;
    std::wstring significant = digits.substr(std::min(digits.find_first_not_of(L'0'), digits.size()));
    const bool fits = significant.size() < 5 || (significant.size() == 5 && significant <= L"65535");
    for (const wchar_t* url : {L"http://h.example:", L"https://u:p@h.example:", L"http://[::1]:", L"h.example:"}) {
        FUZZ_CHECK(au::WrittenPortFits(url + digits + L"/x?y") == fits, "a port fits when it is at most 65535");
        FUZZ_CHECK(au::WrittenPortFits(url + digits) == fits, "a port fits when it is at most 65535");
    }
}

void CheckFileName(const std::wstring& url) {
    const std::wstring name = au::URLToFileName(url);
    FUZZ_CHECK(name.find_first_of(L"/\\:") == std::wstring::npos, "a file name has no path in it");
    FUZZ_CHECK(url.ends_with(name), "a file name is the end of the URL");
    const std::wstring withScheme = au::WithDefaultScheme(url);
    FUZZ_CHECK(withScheme == (url.find(L"://") == std::wstring::npos ? L"http://" + url : url),
               "a scheme is put in front only when there is none");
}

int64_t Int64At(const uint8_t* data, size_t size, size_t at) {
    uint64_t v = 0;
    for (size_t k = 0; k < 8; ++k) v = (v << 8) | (at + k < size ? data[at + k] : 0u);
    return static_cast<int64_t>(v);
}

void CheckPercent(int64_t done, int64_t total) {
    const uint8_t percent = au::CalcPercent(done, total);
    FUZZ_CHECK(percent == au::CalcPercent(done, total), "the same percentage twice");
    if (total == 0) {
        FUZZ_CHECK(percent == 0, "no total, no percentage");
        return;
    }
    // Below 2^52 a double holds the product and the quotient's rounding
    // cannot reach a half: the exact quotient rounded half to even, kept in
    // a byte, is the answer.
    const int64_t limit = int64_t{1} << 52;
    if (done <= -limit / 100 || done >= limit / 100 || total <= -limit || total >= limit) return;
    __int128 n = static_cast<__int128>(done) * 100, d = total;
    if (d < 0) { n = -n; d = -d; }
    __int128 q = n / d, r = n % d;
    if (r < 0) { r += d; --q; }
    if (2 * r > d || (2 * r == d && (q & 1) != 0)) ++q;
    FUZZ_CHECK(percent == static_cast<uint8_t>(static_cast<uint64_t>(q)), "done * 100 / total, half to even, in a byte");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring text = fuzz::WideOfBytes(data, size);
    CheckRequestObject(text);
    CheckRequestObject(L"http://" + text);
    CheckShellURL(text);
    CheckShellURL(L"https://" + text);
    CheckDecoding(text);
    CheckPort(text);
    CheckFileName(text);
    CheckPercent(Int64At(data, size, 0), Int64At(data, size, 8));
    CheckPercent(Int64At(data, size, 0) >> 20, Int64At(data, size, 8) >> 16);
    return 0;
}
