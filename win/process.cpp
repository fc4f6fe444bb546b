#include "process.h"

#include <shellapi.h>

#include "error.h"

namespace win {
namespace {

DWORD Milliseconds(std::chrono::milliseconds ms) {
    if (ms.count() <= 0) return 0;
    // INFINITE itself is never asked for by a finite wait.
    return ms.count() >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(ms.count());
}

// Reads whatever the child has written so far without waiting for more.
void DrainAvailable(HANDLE pipe) {
    char sink[4096];
    DWORD avail = 0;
    while (::PeekNamedPipe(pipe, nullptr, 0, nullptr, &avail, nullptr) && avail > 0) {
        DWORD got = 0;
        if (!::ReadFile(pipe, sink, sizeof(sink), &got, nullptr) || got == 0) break;
    }
}

} // namespace

bool Process::TryWait(std::chrono::milliseconds timeout) const noexcept {
    return process_ && ::WaitForSingleObject(process_.get(), Milliseconds(timeout)) == WAIT_OBJECT_0;
}

std::optional<DWORD> Process::TryExitCode() const noexcept {
    DWORD code = 0;
    if (!process_ || !::GetExitCodeProcess(process_.get(), &code)) return std::nullopt;
    return code;
}

void Process::TryTerminate(UINT exitCode, std::chrono::milliseconds settle) const noexcept {
    if (!process_ || ::WaitForSingleObject(process_.get(), 0) != WAIT_TIMEOUT) return;
    ::TerminateProcess(process_.get(), exitCode);
    ::WaitForSingleObject(process_.get(), Milliseconds(settle));
}

Process StartProcess(const std::wstring& commandLine, const StartOptions& options) {
    STARTUPINFOW defaults{};
    defaults.cb = sizeof(defaults);
    STARTUPINFOW si = options.startup ? *options.startup : defaults;
    PROCESS_INFORMATION pi{};
    // The platform may write into the command line it is given.
    std::wstring cmd = commandLine;
    if (!::CreateProcessW(options.application.empty() ? nullptr : options.application.c_str(), cmd.data(), nullptr,
                          nullptr, options.inheritHandles, options.creationFlags, nullptr,
                          options.directory.empty() ? nullptr : options.directory.c_str(), &si, &pi))
        RaiseLastError();
    return Process(UniqueHandle(pi.hProcess), UniqueHandle(pi.hThread), pi.dwProcessId);
}

HiddenRunResult RunHidden(const std::wstring& commandLine, std::optional<std::chrono::milliseconds> limit) {
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    UniqueHandle readEnd, writeEnd;
    if (!::CreatePipe(readEnd.put(), writeEnd.put(), &sa, 0)) RaiseLastError();
    // Our end must not leak into the child, or the pipe never reports its end.
    ::SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
    // "cmd.exe /K" only ends when its input ends: give it an input already at
    // end of file.
    UniqueHFile input(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0,
                                    nullptr));

    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    si.wShowWindow = SW_HIDE;
    si.hStdInput = input.get();
    si.hStdOutput = writeEnd.get();
    si.hStdError = writeEnd.get();
    StartOptions options;
    // Its own (hidden) console, so a console child neither shares ours nor
    // opens a visible one.
    options.creationFlags = CREATE_NEW_CONSOLE;
    options.inheritHandles = true;
    options.startup = &si;
    const Process process = StartProcess(commandLine, options);
    writeEnd.reset();

    // Drain while waiting so a child that writes more than the pipe holds
    // cannot block; what it wrote is of no interest.
    const ULONGLONG deadline = limit ? ::GetTickCount64() + Milliseconds(*limit) : 0;
    for (;;) {
        const bool ended = process.TryWait(std::chrono::milliseconds(20));
        DrainAvailable(readEnd.get());
        if (ended) return {true, process.TryExitCode().value_or(0)};
        if (limit && ::GetTickCount64() >= deadline) {
            process.TryTerminate(1, std::chrono::seconds(5));
            return {false, process.TryExitCode().value_or(1)};
        }
    }
}

std::vector<std::wstring> CommandLineArguments(const std::wstring& commandLine) {
    int count = 0;
    LPWSTR* arguments = ::CommandLineToArgvW(commandLine.c_str(), &count);
    if (!arguments) return {};
    ScopeExit release([&] { ::LocalFree(arguments); });
    return std::vector<std::wstring>(arguments, arguments + count);
}

std::wstring CommandLineArgument(int index) {
    const std::vector<std::wstring> arguments = CommandLineArguments(::GetCommandLineW());
    return index >= 0 && static_cast<size_t>(index) < arguments.size() ? arguments[index] : std::wstring();
}

} // namespace win
