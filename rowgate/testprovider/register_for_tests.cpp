#include "register_for_tests.h"

#include <windows.h>

#include <chrono>

#include "win/error.h"
#include "win/handles.h"
#include "win/process.h"
#include "win/strings.h"

namespace rgtest {

bool RunRegsvr32(const std::wstring& dllName, bool unregister, std::wstring* error) {
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    std::wstring dll = win::ExeDir() + dllName;
    std::wstring cmd = L"\"" + std::wstring(system) + L"\\regsvr32.exe\" /s " + (unregister ? L"/u " : L"") + L"\"" +
                       dll + L"\"";
    win::HiddenRunResult run;
    try {
        run = win::RunHidden(cmd, std::chrono::seconds(60));
    } catch (const win::Error& e) {
        if (error) *error = L"cannot start " + cmd + L": " + e.Message();
        return false;
    }
    if (!run.finished) {
        if (error) *error = L"timed out: " + cmd;
        return false;
    }
    if (run.exitCode != 0) {
        if (error) *error = L"exit code " + std::to_wstring(run.exitCode) + L": " + cmd;
        return false;
    }
    return true;
}

bool RegisterTestProvider(std::wstring* error) { return RunRegsvr32(L"rgtestprov.dll", false, error); }
bool RegisterDataLinks(std::wstring* error) { return RunRegsvr32(L"rgdatalinks.dll", false, error); }
bool UnregisterDataLinks(std::wstring* error) { return RunRegsvr32(L"rgdatalinks.dll", true, error); }
bool RegisterTestServers(std::wstring* error) { return RegisterTestProvider(error) && RegisterDataLinks(error); }

std::wstring WriteTempFile(const std::string& utf8, const std::wstring& prefix) {
    wchar_t dir[MAX_PATH] = {}, path[MAX_PATH] = {};
    if (!GetTempPathW(MAX_PATH, dir) || !GetTempFileNameW(dir, prefix.c_str(), 0, path)) return L"";
    win::UniqueHFile file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return L"";
    DWORD written = 0;
    if (!WriteFile(file.get(), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr) ||
        written != utf8.size())
        return L"";
    return path;
}

} // namespace rgtest
