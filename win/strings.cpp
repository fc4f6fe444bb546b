#include "strings.h"

#include <windows.h>

#include <climits>

namespace win {
namespace {

std::string Narrow(UINT cp, const std::wstring& text) {
    if (text.empty()) return {};
    int n = ::WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0)
        ::WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring Widen(UINT cp, const std::string& text) {
    if (text.empty()) return {};
    int n = ::MultiByteToWideChar(cp, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(n > 0 ? n : 0, L'\0');
    if (n > 0) ::MultiByteToWideChar(cp, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

} // namespace

std::string ToAnsi(const std::wstring& text) { return Narrow(CP_ACP, text); }
std::wstring FromAnsi(const std::string& text) { return Widen(CP_ACP, text); }
std::string ToUtf8(const std::wstring& text) { return Narrow(CP_UTF8, text); }

size_t ToAnsiInto(const wchar_t* text, size_t length, char* out, size_t capacity) noexcept {
    // Every ANSI code page keeps the ASCII range as it is, and most text is
    // ASCII: copy it without a call into the platform.
    const size_t ascii = length < capacity ? length : capacity;
    size_t i = 0;
    while (i < ascii && text[i] < 0x80) {
        out[i] = static_cast<char>(text[i]);
        ++i;
    }
    if (i == length) return length;
    const size_t rest = length - i, room = capacity - i;
    // A zero size would ask the platform for the size instead of converting.
    if (room == 0 || rest > INT_MAX) return 0;
    const int n = ::WideCharToMultiByte(CP_ACP, 0, text + i, static_cast<int>(rest), out + i,
                                        static_cast<int>(room < INT_MAX ? room : INT_MAX), nullptr, nullptr);
    return n > 0 ? i + static_cast<size_t>(n) : 0;
}
std::wstring FromUtf8(const std::string& text) { return Widen(CP_UTF8, text); }

std::wstring SystemMessage(uint32_t code) {
    wchar_t* buf = nullptr;
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, code, 0, reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
    std::wstring msg;
    if (n && buf) msg.assign(buf, n);
    if (buf) ::LocalFree(buf);
    while (!msg.empty() && (msg.back() == L'\n' || msg.back() == L'\r' || msg.back() == L' ' || msg.back() == L'.'))
        msg.pop_back();
    if (msg.empty()) msg = L"System error " + std::to_wstring(code);
    return msg;
}

std::wstring ExePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) { path.resize(n); return path; }
        path.resize(path.size() * 2);
    }
}

std::wstring ExeDir() {
    std::wstring path = ExePath();
    return path.substr(0, path.find_last_of(L'\\') + 1);
}

} // namespace win
