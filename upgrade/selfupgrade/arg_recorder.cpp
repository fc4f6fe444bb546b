// Stands in for the program being upgraded and for a downloaded setup
// program in the self-upgrade tests. It appends
//   <own file name>|<command line after the program>|<first argument>
// to "starts.log" beside itself, then ends. A name containing "slow" makes
// it take 1.5 s first, so the order of two starts shows; one containing
// "hold" keeps it running until a file "release" appears beside it.
#include <windows.h>

#include <cwctype>
#include <string>

#include "win/handles.h"
#include "win/process.h"
#include "win/strings.h"

namespace {

// Even a failed test must not leave a holder running for ever.
constexpr ULONGLONG kHoldLimitMs = 120000;

std::wstring OwnPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) return path.substr(0, n);
        path.resize(path.size() * 2);
    }
}

// What follows the program on the command line, as the starter wrote it.
std::wstring Tail(const wchar_t* line) {
    const wchar_t* p = line;
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"') ++p;
        if (*p) ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t') ++p;
    }
    while (*p == L' ' || *p == L'\t') ++p;
    return p;
}

// Shared and appended, so two recorders alive at once both get their line in.
void Append(const std::wstring& file, const std::string& line) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        win::UniqueHFile log(::CreateFileW(file.c_str(), FILE_APPEND_DATA,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (log && ::WriteFile(log.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr)) return;
        ::Sleep(20);
    }
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const std::wstring path = OwnPath();
    const size_t slash = path.rfind(L'\\');
    const std::wstring dir = path.substr(0, slash + 1), name = path.substr(slash + 1);
    Append(dir + L"starts.log",
           win::ToUtf8(name + L"|" + Tail(::GetCommandLineW()) + L"|" + win::CommandLineArgument(1)) + "\r\n");

    const std::wstring lower = Lower(name);
    if (lower.find(L"slow") != std::wstring::npos) ::Sleep(1500);
    if (lower.find(L"hold") != std::wstring::npos) {
        const ULONGLONG end = ::GetTickCount64() + kHoldLimitMs;
        while (::GetFileAttributesW((dir + L"release").c_str()) == INVALID_FILE_ATTRIBUTES &&
               ::GetTickCount64() < end)
            ::Sleep(50);
    }
    return 0;
}
