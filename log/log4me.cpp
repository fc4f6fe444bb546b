#include "log/log4me.h"

#include <windows.h>

#include <atomic>
#include <mutex>
#include <utility>

#include "log/log4me_environment.h"
#include "log/log4me_format.h"
#include "log/log4me_internal.h"
#include "win/handles.h"
#include "win/ini.h"
#include "win/locale_info.h"
#include "win/strings.h"

using log4me::Environment;
using log4me::Stamp;
using log4me::Switches;

namespace {

class Platform final : public Environment {
public:
    Stamp Now() override {
        SYSTEMTIME t{};
        ::GetLocalTime(&t);
        Stamp s;
        s.year = t.wYear;
        s.month = t.wMonth;
        s.day = t.wDay;
        s.hour = t.wHour;
        s.minute = t.wMinute;
        s.second = t.wSecond;
        s.millisecond = t.wMilliseconds;
        return s;
    }
    std::wstring BaseDir() override { return win::ExeDir(); }
};

// Read by every LogError/LogInfo outside any lock, so a filtered line costs
// no more than one atomic load.
std::atomic<bool> gErrorOn{false};
std::atomic<bool> gInfoOn{false};
std::atomic<bool> gDebugOn{false};

// What the reload changes. Its own lock makes the reload one step even when
// several threads log; it is never held while the file lock is taken.
struct SettingsState {
    std::mutex mu;
    Environment* env = &log4me::PlatformEnvironment();
    std::string logDir;  // ANSI, ends with '\' once a load has found the ini
    double lastLoad = 0.0;
};

// The file lock of the logger: choosing, opening and writing the file (and
// the fallback) happen under it, so lines never interleave.
struct FileState {
    std::mutex mu;
    std::string currentName;
    win::UniqueHFile file;
};

SettingsState& Settings() {
    static SettingsState s;
    return s;
}

FileState& Files() {
    static FileState f;
    return f;
}

Stamp NowLocked(const SettingsState& st) { return st.env->Now(); }

Stamp Now() {
    SettingsState& st = Settings();
    std::lock_guard<std::mutex> lock(st.mu);
    return NowLocked(st);
}

// The user's choice at the time of the first line; the program does not
// follow later changes of the regional settings.
const std::string& TimeSeparator() {
    static const std::string sep = [] {
        std::string s = win::ToAnsi(win::LocaleTimeSeparator());
        return s.empty() ? std::string(":") : s;
    }();
    return sep;
}

std::wstring BaseDirLocked(const SettingsState& st) {
    std::wstring dir = st.env->BaseDir();
    if (!dir.empty() && dir.back() != L'\\' && dir.back() != L'/') dir += L'\\';
    return dir;
}

std::wstring BaseDir() {
    SettingsState& st = Settings();
    std::lock_guard<std::mutex> lock(st.mu);
    return BaseDirLocked(st);
}

void LoadLocked(SettingsState& st, const Stamp& now) {
    Switches sw;
    const std::wstring base = BaseDirLocked(st);
    const std::wstring ini = base + L"log4me.ini";
    const DWORD attr = ::GetFileAttributesW(ini.c_str());
    if (attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY)) {
        std::wstring path = win::ReadIniString(ini, L"log4me", L"path", L"logs");
        // "logs\" and "logs" name the same place; an empty value means the
        // executable's directory itself, without a doubled separator.
        while (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
        st.logDir = win::ToAnsi(path.empty() ? base : base + path + L"\\");
        sw = log4me::SwitchesForLevel(win::ToAnsi(win::ReadIniString(ini, L"log4me", L"level", L"info")));
    }
    // Stored together at the end rather than cleared first, so a thread
    // logging during the reload sees either the old or the new switches.
    gErrorOn = sw.error;
    gInfoOn = sw.info;
    gDebugOn = sw.debug;
    st.lastLoad = log4me::ToDateTime(now);
}

// Opens for appending with no sharing restriction so that people can read
// (and other processes write) the file while the program runs.
win::UniqueHFile OpenForAppend(const std::string& name, DWORD& error) {
    win::UniqueHFile h(::CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) {
        error = ::GetLastError();
        return {};
    }
    LARGE_INTEGER zero{};
    if (!::SetFilePointerEx(h.get(), zero, nullptr, FILE_END)) {
        error = ::GetLastError();
        return {};
    }
    return h;
}

bool WriteAll(HANDLE h, const std::string& text, DWORD& error) {
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        DWORD done = 0;
        if (!::WriteFile(h, p, static_cast<DWORD>(left), &done, nullptr)) {
            error = ::GetLastError();
            return false;
        }
        if (done == 0) {
            error = ERROR_WRITE_FAULT;
            return false;
        }
        p += done;
        left -= done;
    }
    return true;
}

std::string FailureText(const char* what, const std::string& name, DWORD error) {
    return std::string(what) + " \"" + name + "\". " + win::ToAnsi(win::SystemMessage(error));
}

// Called with the file lock held. Losing this entry too is accepted: there
// is nowhere left to report to.
void WriteFallback(const std::string& message) {
    try {
        const std::string name = win::ToAnsi(BaseDir() + L"log4me_err.log");
        DWORD error = 0;
        win::UniqueHFile h = OpenForAppend(name, error);
        if (!h) return;
        WriteAll(h.get(), log4me::FormatFallbackLine(Now(), TimeSeparator(), message), error);
    } catch (...) {
    }
}

} // namespace

void LoadLogSettings() {
    try {
        SettingsState& st = Settings();
        std::lock_guard<std::mutex> lock(st.mu);
        LoadLocked(st, NowLocked(st));
    } catch (...) {
    }
}

void WriteLogLine(const std::string& taggedMessage) {
    try {
        SettingsState& st = Settings();
        Stamp now;
        std::string dir;
        {
            std::lock_guard<std::mutex> lock(st.mu);
            now = NowLocked(st);
            if (log4me::ReloadDue(st.lastLoad, log4me::ToDateTime(now))) LoadLocked(st, now);
            dir = st.logDir;
        }
        AppendLogText(log4me::DayFileName(dir, now), log4me::FormatLogLine(now, TimeSeparator(), taggedMessage));
    } catch (...) {
    }
}

void AppendLogText(const std::string& fileName, const std::string& text) {
    try {
        FileState& fs = Files();
        std::lock_guard<std::mutex> lock(fs.mu);
        if (fileName != fs.currentName) {
            fs.currentName = fileName;
            fs.file.reset();
        }
        DWORD error = 0;
        if (!fs.file) {
            fs.file = OpenForAppend(fs.currentName, error);
            if (!fs.file) {
                WriteFallback(FailureText("Cannot open file", fs.currentName, error));
                return;
            }
        }
        // A failed write keeps the file open: the next line tries it again.
        if (!WriteAll(fs.file.get(), text, error))
            WriteFallback(FailureText("Cannot write file", fs.currentName, error));
    } catch (...) {
    }
}

void LogError(const std::string& ansiMessage) {
    if (!gErrorOn) return;
    try {
        WriteLogLine("[error]" + ansiMessage);
    } catch (...) {
    }
}

void LogInfo(const std::string& ansiMessage) {
    if (!gInfoOn) return;
    try {
        WriteLogLine("[info ]" + ansiMessage);
    } catch (...) {
    }
}

void Log4meStartup() {
    // Both locks are function-local statics; touching them here creates them
    // before any other thread can log.
    Settings();
    Files();
    LoadLogSettings();
    LogInfo("log4me:application starting....");
}

void Log4meShutdown() {
    LogInfo("log4me:application stoping....");
    ::Sleep(1000);
    try {
        FileState& fs = Files();
        std::lock_guard<std::mutex> lock(fs.mu);
        fs.file.reset();
        fs.currentName.clear();
    } catch (...) {
    }
}

namespace log4me {

Environment& PlatformEnvironment() {
    static Platform platform;
    return platform;
}

ScopedEnvironment::ScopedEnvironment(Environment& environment) {
    {
        SettingsState& st = Settings();
        std::lock_guard<std::mutex> lock(st.mu);
        previous_ = std::exchange(st.env, &environment);
    }
    Reset();
}

ScopedEnvironment::~ScopedEnvironment() {
    Reset();
    SettingsState& st = Settings();
    std::lock_guard<std::mutex> lock(st.mu);
    st.env = previous_;
}

void ScopedEnvironment::Reset() {
    {
        SettingsState& st = Settings();
        std::lock_guard<std::mutex> lock(st.mu);
        st.logDir.clear();
        st.lastLoad = 0.0;
        gErrorOn = gInfoOn = gDebugOn = false;
    }
    FileState& fs = Files();
    std::lock_guard<std::mutex> lock(fs.mu);
    fs.file.reset();
    fs.currentName.clear();
}

} // namespace log4me
