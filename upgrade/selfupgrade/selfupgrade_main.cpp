// Virorova3.exe: started by the upgrade engine from the temporary directory
// just before the program being upgraded exits. It waits for that program to
// let go of its executable, puts every downloaded ".uTMP" file in place and
// starts the program again, after a downloaded setup program where the
// external-setup method asks for one. It reports nothing: the program it
// restarts is where the user looks.
#include <windows.h>

#include <chrono>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "download_scan.h"
#include "selfupgrade_rules.h"
#include "win/handles.h"
#include "win/process.h"

namespace {

using namespace std::chrono_literals;

constexpr wchar_t kCaption[] = L"Upgrader v3.4";
constexpr wchar_t kBanner[] = L"Virorova3 self-upgrade program\n(started by the program being upgraded)";

// A program that is still shutting down after this long is not going to;
// replacing files under it would break it, so the upgrade is dropped.
constexpr std::chrono::milliseconds kWaitLimit = 10min;
constexpr DWORD kRetryPauseMs = 50;

// Seen only by whoever waits for this process, such as the tests.
enum ExitCode : int { kDone = 0, kGaveUp = 1, kFailed = 2 };

// Reading messages while waiting ends the busy cursor the shell shows for a
// newly started program and answers anyone waiting for this one to be idle.
void DispatchPending() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

bool IsFile(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The name as the directory holds it: the caller may have spelled the path
// in another case, and a downloaded stand-in must take the real one.
std::optional<std::wstring> StoredFileName(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    win::UniqueFindHandle find(::FindFirstFileW(path.c_str(), &found));
    if (!find || (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return std::nullopt;
    return std::wstring(found.cFileName);
}

// The executable of a running process cannot be opened for writing, so a
// successful open means the program has gone. Others may keep it open for
// reading meanwhile. A read-only file could never be opened this way, so
// its flag is lifted for the wait and put back afterwards.
bool WaitUntilWritable(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    if (readOnly) ::SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    win::ScopeExit restore([&] {
        if (readOnly) ::SetFileAttributesW(path.c_str(), attributes);
    });

    const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(kWaitLimit.count());
    for (;;) {
        win::UniqueHFile file(::CreateFileW(path.c_str(), GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) return true;
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;
        if (::GetTickCount64() >= deadline) return false;
        DispatchPending();
        ::Sleep(kRetryPauseMs);
    }
}

// One rename that replaces the target, so that at every moment either the
// old or the new file is there; a target still in use keeps its old content
// and attributes, and its download stays for a later attempt.
void PutInPlace(const selfupgrade::Move& move) {
    const DWORD previous = ::GetFileAttributesW(move.to.c_str());
    // A read-only or hidden target refuses to be replaced.
    if (previous != INVALID_FILE_ATTRIBUTES) ::SetFileAttributesW(move.to.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!::MoveFileExW(move.from.c_str(), move.to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH)) {
        if (previous != INVALID_FILE_ATTRIBUTES) ::SetFileAttributesW(move.to.c_str(), previous);
        return;
    }
    // A setup program stays out of sight for the short time it sits there.
    ::SetFileAttributesW(move.to.c_str(),
                         move.setupProgram ? FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN : FILE_ATTRIBUTE_ARCHIVE);
}

// An empty process when it cannot be started: there is no one to tell.
win::Process Start(const std::wstring& program, const std::wstring& argument) noexcept {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    win::StartOptions options;
    options.startup = &startup;
    try {
        return win::StartProcess(selfupgrade::StartCommandLine(program, argument), options);
    } catch (const std::exception&) {
        return {};
    }
}

// A setup program may ask questions for as long as the user likes.
void WaitForEnd(const win::Process& process) {
    const HANDLE handle = process.Handle();
    while (::MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
        DispatchPending();
}

ExitCode Upgrade(const selfupgrade::Invocation& invocation) {
    selfupgrade::PlanInput input;
    input.programPath = invocation.programPath;
    input.directory = selfupgrade::DirectoryOf(invocation.programPath);
    input.externalSetup = invocation.externalSetup;
    if (auto stored = StoredFileName(invocation.programPath)) {
        input.programName = std::move(*stored);
        if (!WaitUntilWritable(invocation.programPath)) return kGaveUp;
    } else {
        input.programName = selfupgrade::FileNameOf(invocation.programPath);
    }
    input.programDownloadExists = IsFile(invocation.programPath + selfupgrade::kDownloadSuffix);
    input.downloads = selfupgrade::ListDownloads(input.directory);

    const selfupgrade::Plan plan = selfupgrade::MakePlan(input);
    for (const selfupgrade::Move& move : plan.moves) PutInPlace(move);
    if (plan.start.empty()) return kDone;

    const win::Process first = Start(plan.start, invocation.restartArgument);
    if (plan.startAfterSetup.empty()) return kDone;
    if (first) WaitForEnd(first);
    // The setup program has done its work; the program it installed is
    // started even when the leftover cannot be removed.
    if (WaitUntilWritable(plan.start)) ::DeleteFileW(plan.start.c_str());
    Start(plan.startAfterSetup, invocation.restartArgument);
    return kDone;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    std::vector<std::wstring> args = win::CommandLineArguments(::GetCommandLineW());
    if (!args.empty()) args.erase(args.begin());
    if (args.empty()) {
        ::MessageBoxW(nullptr, kBanner, kCaption, MB_OK | MB_ICONINFORMATION);
        return kDone;
    }
    try {
        return Upgrade(selfupgrade::ParseArguments(args));
    } catch (const std::exception&) {
        // Out of memory at worst; there is no one to tell, and a half-done
        // upgrade leaves every file either old or new.
        return kFailed;
    }
}
