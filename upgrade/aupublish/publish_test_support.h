// Running aupublish.exe (beside the test program) as a publisher does, its
// output and exit status captured: for its own tests and the end-to-end
// upgrade of a signed release.
#pragma once
#include <windows.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "win/handles.h"
#include "win/process.h"
#include "win/strings.h"

namespace au {

struct Outcome {
    DWORD status = 0;
    std::string out, err;
};

inline std::string Drain(HANDLE pipe) {
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    return text;
}

inline Outcome Publish(const std::vector<std::wstring>& args) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    win::UniqueHandle outRead, outWrite, errRead, errWrite;
    if (!::CreatePipe(outRead.put(), outWrite.put(), &inherit, 0) ||
        !::CreatePipe(errRead.put(), errWrite.put(), &inherit, 0))
        throw std::runtime_error("no pipe");
    ::SetHandleInformation(outRead.get(), HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(errRead.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = outWrite.get();
    startup.hStdError = errWrite.get();
    win::StartOptions options;
    options.creationFlags = CREATE_NO_WINDOW;
    options.inheritHandles = true;
    options.startup = &startup;
    std::wstring command = L"\"" + win::ExeDir() + L"aupublish.exe\"";
    for (const auto& arg : args) command += L" \"" + arg + L"\"";
    const win::Process process = win::StartProcess(command, options);
    outWrite.reset();
    errWrite.reset();
    Outcome run;
    std::thread errors([&] { run.err = Drain(errRead.get()); });
    std::thread output([&] { run.out = Drain(outRead.get()); });
    if (!process.TryWait(std::chrono::seconds(60))) process.TryTerminate(99, std::chrono::seconds(5));
    errors.join();
    output.join();
    run.status = process.TryExitCode().value_or(99);
    return run;
}

} // namespace au
