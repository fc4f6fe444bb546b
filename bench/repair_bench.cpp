// One repair run (control already registered) against the same ten
// registration command lines started bare with CreateProcess, in one run and
// one Wine prefix. Prints both times and their ratio.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "app/repair_rules.h"
#include "app/uPublic.h"
#include "win/handles.h"
#include "win/strings.h"

namespace {

struct NullLines : TLogLines {
    int count = 0;
    void Add(const std::wstring&) override { ++count; }
};

double RepairRunSeconds() {
    NullLines logs;
    auto start = std::chrono::steady_clock::now();
    EnableTrustedZoneActiveX(logs);
    AddTrustedSites(logs, repair::kTrustedSiteList);
    RegisterControls(logs);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The plainest way to run the same commands: no pipe, no draining, no limit.
// This is the baseline the repair run is measured against, so it stays the
// raw platform loop on purpose and does not go through win::RunHidden: what
// the shared runner costs is what the ratio shows.
double BareLoopSeconds() {
    wchar_t sysDir[MAX_PATH] = {};
    ::GetSystemDirectoryW(sysDir, MAX_PATH);
    auto steps = repair::RegistrationSteps(sysDir, win::ExeDir());
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    auto start = std::chrono::steady_clock::now();
    for (auto& step : steps) {
        win::UniqueHFile nul(::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           &sa, OPEN_EXISTING, 0, nullptr));
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        si.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
        si.wShowWindow = SW_HIDE;
        si.hStdInput = si.hStdOutput = si.hStdError = nul.get();
        PROCESS_INFORMATION pi{};
        std::wstring cmd = step.commandLine;
        if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, CREATE_NEW_CONSOLE, nullptr, nullptr, &si,
                              &pi))
            continue;
        ::WaitForSingleObject(pi.hProcess, INFINITE);
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    RepairRunSeconds();  // registers the control and warms the prefix
    if (!IsControlRegistered()) {
        std::printf("control not registered after the warm-up run\n");
        return 1;
    }
    std::vector<double> repair, bare;
    for (int i = 0; i < rounds; ++i) {
        repair.push_back(RepairRunSeconds());
        bare.push_back(BareLoopSeconds());
    }
    double r = Median(repair), b = Median(bare);
    std::printf("repair run (3 steps, 10 commands): %.3f s (median of %d)\n", r, rounds);
    std::printf("bare CreateProcess loop (10 commands): %.3f s (median of %d)\n", b, rounds);
    std::printf("ratio repair/bare: %.3f\n", r / b);
    return 0;
}
