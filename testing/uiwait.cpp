// uiwait.exe: lets a shell script wait for a program's window and close it as
// a user would, from inside the program's Wine prefix.
//
//   uiwait.exe show  <caption-prefix> <seconds>   waits for a visible top-level
//                                                  window whose caption starts so
//   uiwait.exe close <caption-prefix> <seconds>   sends it WM_CLOSE and waits for
//                                                  its process to end
//
// Exit codes: 0 done, 1 the time ran out (what is missing is printed), 2 bad
// arguments.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "testing/uiprobe.h"
#include "win/handles.h"
#include "win/process.h"
#include "win/strings.h"

namespace {

using namespace std::chrono_literals;

HWND FindByCaptionPrefix(const std::wstring& prefix) {
    for (HWND h : uiprobe::TopLevelWindows(0, L""))
        if (uiprobe::Text(h).rfind(prefix, 0) == 0) return h;
    return nullptr;
}

HWND WaitForCaption(const std::wstring& prefix, std::chrono::steady_clock::time_point end) {
    for (;;) {
        if (HWND h = FindByCaptionPrefix(prefix)) return h;
        if (std::chrono::steady_clock::now() >= end) return nullptr;
        std::this_thread::sleep_for(200ms);
    }
}

int Usage() {
    std::fputs("usage: uiwait.exe show|close <caption-prefix> <seconds>\n", stderr);
    return 2;
}

} // namespace

int wmain() {
    const std::wstring verb = win::CommandLineArgument(1);
    const std::wstring prefix = win::CommandLineArgument(2);
    const std::wstring secondsText = win::CommandLineArgument(3);
    if ((verb != L"show" && verb != L"close") || prefix.empty() || secondsText.empty()) return Usage();
    const long seconds = std::wcstol(secondsText.c_str(), nullptr, 10);
    if (seconds <= 0) return Usage();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    const std::string shown = win::ToUtf8(prefix);

    HWND h = WaitForCaption(prefix, end);
    if (!h) {
        std::printf("uiwait: no window whose caption starts with \"%s\" showed within %ld s\n", shown.c_str(), seconds);
        return 1;
    }
    if (verb == L"show") {
        std::printf("uiwait: window \"%s\" is showing\n", win::ToUtf8(uiprobe::Text(h)).c_str());
        return 0;
    }

    DWORD pid = 0;
    ::GetWindowThreadProcessId(h, &pid);
    win::UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, pid));
    ::PostMessageW(h, WM_CLOSE, 0, 0);
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    const DWORD wait = left.count() > 0 ? static_cast<DWORD>(left.count()) : 0;
    if (process && ::WaitForSingleObject(process.get(), wait) == WAIT_OBJECT_0) {
        std::printf("uiwait: \"%s\" closed and its program ended\n", shown.c_str());
        return 0;
    }
    if (!process && !::IsWindow(h)) {
        std::printf("uiwait: \"%s\" closed\n", shown.c_str());
        return 0;
    }
    std::printf("uiwait: \"%s\" was sent WM_CLOSE but its program did not end within %ld s\n", shown.c_str(), seconds);
    return 1;
}
