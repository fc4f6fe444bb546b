// Starting child processes. The handles the platform hands back are owned
// from the moment the process exists, and the hidden runner keeps a child
// from blocking on its own output or outliving its time limit.
#pragma once
#include <windows.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "handles.h"

namespace win {

// A started process. Letting go of it closes the handles only: the process
// itself runs on until it ends or is ended.
class Process {
public:
    Process() noexcept = default;
    Process(UniqueHandle process, UniqueHandle thread, DWORD id) noexcept
        : process_(std::move(process)), thread_(std::move(thread)), id_(id) {}

    HANDLE Handle() const noexcept { return process_.get(); }
    DWORD Id() const noexcept { return id_; }
    explicit operator bool() const noexcept { return static_cast<bool>(process_); }

    // True when the process has ended within `timeout`.
    bool TryWait(std::chrono::milliseconds timeout) const noexcept;
    // STILL_ACTIVE while it runs; nullopt when the platform cannot tell.
    std::optional<DWORD> TryExitCode() const noexcept;
    // Ends a process still running with `exitCode` and gives it up to `settle`
    // to be gone, so that files it held are free when this returns.
    void TryTerminate(UINT exitCode, std::chrono::milliseconds settle) const noexcept;

private:
    UniqueHandle process_;
    UniqueHandle thread_;
    DWORD id_ = 0;
};

struct StartOptions {
    // The program to run; empty takes it from the command line's first token,
    // searched for as the platform searches.
    std::wstring application;
    // Empty: this process's current directory.
    std::wstring directory;
    DWORD creationFlags = 0;
    bool inheritHandles = false;
    // Null: the platform's defaults (a normal window, the parent's std handles).
    const STARTUPINFOW* startup = nullptr;
};

// Raises win::Error with the platform's message and code when the process
// cannot be created.
Process StartProcess(const std::wstring& commandLine, const StartOptions& options = {});

// The arguments of a command line as the platform splits it, the program
// first; empty when the platform cannot split it.
std::vector<std::wstring> CommandLineArguments(const std::wstring& commandLine);

// Argument `index` of this program's command line as the platform splits it
// (0 is the program itself); empty when there are fewer.
std::wstring CommandLineArgument(int index);

struct HiddenRunResult {
    // False when the time limit ended the process.
    bool finished = false;
    DWORD exitCode = 0;
};

// Runs a command line without showing a window, with standard input already
// at end of file and standard output and error read away while it runs, and
// waits for it. A process still running after `limit` is ended with exit
// code 1. Raises win::Error when the pipe or the process cannot be created.
HiddenRunResult RunHidden(const std::wstring& commandLine,
                          std::optional<std::chrono::milliseconds> limit = std::nullopt);

} // namespace win
