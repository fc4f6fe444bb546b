// Runs the real Virorova3.exe over a fresh directory per test, with copies
// of arg_recorder.exe standing in for the program being upgraded and for a
// downloaded setup program, and judges it only by the files it leaves and
// the starts the recorders write down.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "testing/uiprobe.h"
#include "win/handles.h"
#include "win/strings.h"

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

std::string ReadBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteBytes(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

DWORD Attributes(const fs::path& p) { return ::GetFileAttributesW(p.c_str()); }

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0, end;
    while ((end = text.find("\r\n", start)) != std::string::npos) {
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// "*.uTMP" as the directory lists it, so a test can follow its order.
std::vector<std::wstring> Downloads(const fs::path& dir) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    win::UniqueFindHandle find(::FindFirstFileW((dir / L"*.uTMP").c_str(), &found));
    if (!find) return names;
    do {
        names.emplace_back(found.cFileName);
    } while (::FindNextFileW(find.get(), &found));
    return names;
}

// The standard icon the pixels of the box's icon control look most like.
// The box reports no icon identity across processes, so its picture is
// compared with each standard one drawn here on the same background.
LPCWSTR ClosestStandardIcon(HWND box) {
    HWND control = nullptr;
    for (HWND c = ::GetWindow(box, GW_CHILD); c && !control; c = ::GetWindow(c, GW_HWNDNEXT))
        if ((::GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) control = c;
    RECT r;
    if (!control || !::GetClientRect(control, &r)) return nullptr;
    const int w = r.right, h = r.bottom;
    POINT origin{0, 0};
    ::ClientToScreen(control, &origin);
    HDC screen = ::GetDC(nullptr);
    win::ScopeExit releaseScreen([screen] { ::ReleaseDC(nullptr, screen); });
    HDC mem = ::CreateCompatibleDC(screen);
    win::ScopeExit deleteMem([mem] { ::DeleteDC(mem); });
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* shownBits = nullptr;
    void* drawnBits = nullptr;
    win::UniqueGdiObject shown(::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &shownBits, nullptr, 0));
    win::UniqueGdiObject drawn(::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &drawnBits, nullptr, 0));
    if (!shown || !drawn || w <= 0 || h <= 0) return nullptr;
    const HGDIOBJ old = ::SelectObject(mem, shown.get());
    ::BitBlt(mem, 0, 0, w, h, screen, origin.x, origin.y, SRCCOPY);
    const auto* shownPx = static_cast<const DWORD*>(shownBits);
    const auto* drawnPx = static_cast<const DWORD*>(drawnBits);
    const COLORREF background = ::GetPixel(mem, 0, 0);  // a corner the round icons leave clear
    LPCWSTR best = nullptr;
    int bestSame = -1;
    for (LPCWSTR id : {IDI_INFORMATION, IDI_QUESTION, IDI_WARNING, IDI_ERROR}) {
        ::SelectObject(mem, drawn.get());
        win::UniqueGdiObject brush(::CreateSolidBrush(background));
        RECT all{0, 0, w, h};
        ::FillRect(mem, &all, static_cast<HBRUSH>(brush.get()));
        ::DrawIconEx(mem, 0, 0, ::LoadIconW(nullptr, id), w, h, 0, nullptr, DI_NORMAL);
        ::GdiFlush();
        int same = 0;
        for (int i = 0; i < w * h; ++i) same += (shownPx[i] & 0xFFFFFF) == (drawnPx[i] & 0xFFFFFF);
        if (same > bestSame) {
            bestSame = same;
            best = id;
        }
    }
    ::SelectObject(mem, old);
    return best;
}

class SelfUpgradeRun : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t tmp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, tmp);
        temp_ = tmp;
        dir_ = temp_ / (L"selfupgrade_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
                        std::to_wstring(::GetTickCount64()));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        // Frees any holder a failed test left, lets read-only files be
        // deleted, then waits for the recorders still ending to let go.
        std::error_code ec;
        for (const auto& entry : fs::recursive_directory_iterator(dir_, ec)) {
            ::SetFileAttributesW(entry.path().c_str(), entry.is_directory() ? FILE_ATTRIBUTE_DIRECTORY
                                                                            : FILE_ATTRIBUTE_NORMAL);
            if (entry.is_directory()) WriteBytes(entry.path() / L"release", "");
        }
        WriteBytes(dir_ / L"release", "");
        for (int i = 0; i < 100; ++i, ::Sleep(100))
            if (fs::remove_all(dir_, ec), !fs::exists(dir_)) return;
        ADD_FAILURE() << "the test directory stayed: " << ec.message();
    }

    // A copy of the recorder; `marker` at its end tells versions apart.
    static void Recorder(const fs::path& to, const std::string& marker) {
        fs::copy_file(win::ExeDir() + L"arg_recorder.exe", to, fs::copy_options::overwrite_existing);
        std::ofstream(to, std::ios::binary | std::ios::app) << marker;
    }
    static bool EndsWith(const fs::path& p, const std::string& marker) { return ReadBytes(p).ends_with(marker); }

    // The upgrader started as the engine starts it; it is ended, should it
    // still run, when the test is over.
    std::unique_ptr<uiprobe::Program> StartUpgrader(const std::wstring& args) {
        return std::make_unique<uiprobe::Program>(win::ExeDir() + L"Virorova3.exe", args, temp_.wstring());
    }
    DWORD RunUpgrader(const std::wstring& args, std::chrono::milliseconds limit = 60s) {
        const auto upgrader = StartUpgrader(args);
        if (!upgrader->WaitExit(limit)) ADD_FAILURE() << "Virorova3 still ran after the time limit";
        return upgrader->ExitCode();
    }
    static std::wstring Quoted(const fs::path& p) { return L"\"" + p.wstring() + L"\""; }

    // The starts written down in `dir`, once there are at least `count` of
    // them; a little longer, so that one start too many shows as well.
    static std::vector<std::string> Starts(const fs::path& dir, size_t count) {
        const auto end = std::chrono::steady_clock::now() + 30s;
        while (Lines(ReadBytes(dir / L"starts.log")).size() < count && std::chrono::steady_clock::now() < end)
            ::Sleep(50);
        ::Sleep(300);
        return Lines(ReadBytes(dir / L"starts.log"));
    }

    // The usual directory: the program, its download and a data file's.
    void Populate(const fs::path& dir) {
        Recorder(dir / L"App.exe", "old");
        Recorder(dir / L"App.exe.uTMP", "new");
        WriteBytes(dir / L"data.dat", "old data");
        WriteBytes(dir / L"data.dat.uTMP", "new data");
    }
    void ExpectReplaced(const fs::path& dir) {
        EXPECT_TRUE(EndsWith(dir / L"App.exe", "new"));
        EXPECT_EQ(ReadBytes(dir / L"data.dat"), "new data");
        EXPECT_TRUE(Downloads(dir).empty());
        EXPECT_EQ(Attributes(dir / L"App.exe"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
        EXPECT_EQ(Attributes(dir / L"data.dat"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
    }

    fs::path temp_;
    fs::path dir_;
};

TEST_F(SelfUpgradeRun, WithoutArgumentsItOnlyShowsTheInformationBox) {
    // Downloads lie in its current directory, which it must not take for
    // the program's.
    Populate(dir_);
    uiprobe::Program upgrader(win::ExeDir() + L"Virorova3.exe", L"", dir_.wstring());
    const uiprobe::MessageBoxInfo box = uiprobe::WaitForMessageBox(upgrader.Pid(), 30s);
    ASSERT_NE(box.hwnd, nullptr) << "no box";
    EXPECT_EQ(box.caption, L"Upgrader v3.4");
    EXPECT_NE(box.text.find(L"Virorova3"), std::wstring::npos) << win::ToUtf8(box.text);
    EXPECT_NE(box.text.find(L'\n'), std::wstring::npos) << "two lines";
    EXPECT_EQ(box.buttons.size(), 1u);
    EXPECT_TRUE(box.hasIcon);
    EXPECT_EQ(ClosestStandardIcon(box.hwnd), IDI_INFORMATION);
    EXPECT_EQ(uiprobe::TopLevelWindows(upgrader.Pid(), L"").size(), 1u) << "no window besides the box";
    uiprobe::Answer(box, IDOK);
    ASSERT_TRUE(upgrader.WaitExit(20s));
    EXPECT_EQ(upgrader.ExitCode(), 0u);
    EXPECT_TRUE(EndsWith(dir_ / L"App.exe", "old"));
    EXPECT_EQ(ReadBytes(dir_ / L"data.dat"), "old data");
    EXPECT_EQ(Downloads(dir_).size(), 2u);
    EXPECT_FALSE(fs::exists(dir_ / L"starts.log"));
}

TEST_F(SelfUpgradeRun, ReplacesEveryDownloadAndRestartsTheProgram) {
    Populate(dir_);
    ::SetFileAttributesW((dir_ / L"data.dat.uTMP").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(RunUpgrader(Quoted(dir_ / L"App.exe") + L" +/afterupgrade0"), 0u);
    ExpectReplaced(dir_);
    EXPECT_EQ(Starts(dir_, 1), (std::vector<std::string>{"App.exe|/afterupgrade0|/afterupgrade0"}));
}

TEST_F(SelfUpgradeRun, NothingDownloadedOnlyRestartsWithTheCallersText) {
    Recorder(dir_ / L"App.exe", "old");
    EXPECT_EQ(RunUpgrader(Quoted(dir_ / L"App.exe") + L" +/open  report.txt"), 0u);
    EXPECT_TRUE(EndsWith(dir_ / L"App.exe", "old"));
    // The caller's words arrive as separate arguments and are handed on
    // joined by single blanks.
    EXPECT_EQ(Starts(dir_, 1), (std::vector<std::string>{"App.exe|/open report.txt|/open"}));
}

TEST_F(SelfUpgradeRun, ReadOnlyAndHiddenTargetsAreReplaced) {
    Populate(dir_);
    ::SetFileAttributesW((dir_ / L"App.exe").c_str(), FILE_ATTRIBUTE_READONLY);
    ::SetFileAttributesW((dir_ / L"data.dat").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(RunUpgrader(Quoted(dir_ / L"App.exe") + L" +/afterupgrade0"), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 20s) << "a read-only program is not waited for";
    ExpectReplaced(dir_);
    EXPECT_EQ(Starts(dir_, 1).size(), 1u);
}

TEST_F(SelfUpgradeRun, ADownloadedProgramUnderAnotherNameStandsInForTheProgram) {
    Recorder(dir_ / L"App.exe", "old");
    Recorder(dir_ / L"new.exe.uTMP", "first");
    Recorder(dir_ / L"other.exe.uTMP", "second");
    WriteBytes(dir_ / L"TOOL.EXE.uTMP", "tool");
    // Whichever of the two programs the directory lists first stands in.
    std::vector<std::wstring> programs;
    for (const std::wstring& name : Downloads(dir_))
        if (name != L"TOOL.EXE.uTMP") programs.push_back(name.substr(0, name.size() - 5));
    ASSERT_EQ(programs.size(), 2u);
    const std::wstring first = programs[0], second = programs[1];
    const std::string firstMarker = first == L"new.exe" ? "first" : "second";
    const std::string secondMarker = first == L"new.exe" ? "second" : "first";

    // The caller spells the program in lower case; the stand-in takes the
    // name the directory holds.
    EXPECT_EQ(RunUpgrader(Quoted(dir_ / L"app.exe") + L" +/afterupgrade0"), 0u);
    EXPECT_TRUE(EndsWith(dir_ / L"App.exe", firstMarker));
    EXPECT_FALSE(fs::exists(dir_ / first));
    EXPECT_TRUE(EndsWith(dir_ / second, secondMarker));
    EXPECT_EQ(ReadBytes(dir_ / L"TOOL.EXE"), "tool") << "an upper-case EXE keeps its name";
    EXPECT_TRUE(Downloads(dir_).empty());
    std::vector<std::wstring> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().wstring());
    EXPECT_EQ(std::count(names.begin(), names.end(), L"App.exe"), 1);
    const auto starts = Starts(dir_, 1);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_TRUE(starts[0].ends_with("|/afterupgrade0|/afterupgrade0")) << starts[0];
}

TEST_F(SelfUpgradeRun, AnUpperCaseExeDownloadLeavesTheProgramAlone) {
    Recorder(dir_ / L"App.exe", "old");
    WriteBytes(dir_ / L"TOOL.EXE.uTMP", "tool");
    EXPECT_EQ(RunUpgrader(Quoted(dir_ / L"App.exe") + L" +/afterupgrade0"), 0u);
    EXPECT_EQ(ReadBytes(dir_ / L"TOOL.EXE"), "tool");
    EXPECT_TRUE(EndsWith(dir_ / L"App.exe", "old"));
    EXPECT_EQ(Starts(dir_, 1), (std::vector<std::string>{"App.exe|/afterupgrade0|/afterupgrade0"}));
}

TEST_F(SelfUpgradeRun, WaitsUntilTheProgramHasEnded) {
    Recorder(dir_ / L"holdApp.exe", "old");
    Recorder(dir_ / L"holdApp.exe.uTMP", "new");
    WriteBytes(dir_ / L"data.dat.uTMP", "new data");
    uiprobe::Program holder((dir_ / L"holdApp.exe").wstring(), L"running", dir_.wstring());
    ASSERT_EQ(Starts(dir_, 1).size(), 1u) << "the program did not start";

    const auto upgrader = StartUpgrader(Quoted(dir_ / L"holdApp.exe") + L" +/afterupgrade0");
    EXPECT_FALSE(upgrader->WaitExit(3s)) << "it did not wait";
    EXPECT_TRUE(EndsWith(dir_ / L"holdApp.exe", "old"));
    EXPECT_EQ(Downloads(dir_).size(), 2u) << "files were moved while the program ran";

    WriteBytes(dir_ / L"release", "");
    EXPECT_TRUE(holder.WaitExit(10s));
    ASSERT_TRUE(upgrader->WaitExit(30s));
    EXPECT_EQ(upgrader->ExitCode(), 0u);
    EXPECT_TRUE(EndsWith(dir_ / L"holdApp.exe", "new"));
    EXPECT_EQ(ReadBytes(dir_ / L"data.dat"), "new data");
    EXPECT_EQ(Starts(dir_, 2), (std::vector<std::string>{"holdApp.exe|running|running",
                                                          "holdApp.exe|/afterupgrade0|/afterupgrade0"}));
}

TEST_F(SelfUpgradeRun, AFileThatCannotBeReplacedKeepsItsOldContent) {
    Populate(dir_);
    WriteBytes(dir_ / L"more.dat.uTMP", "more");
    ::SetFileAttributesW((dir_ / L"data.dat").c_str(), FILE_ATTRIBUTE_READONLY);
    {
        win::UniqueHFile held(::CreateFileW((dir_ / L"data.dat").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(held);
        EXPECT_EQ(RunUpgrader(Quoted(dir_ / L"App.exe") + L" +/afterupgrade0"), 0u);
    }
    EXPECT_EQ(ReadBytes(dir_ / L"data.dat"), "old data");
    EXPECT_EQ(Attributes(dir_ / L"data.dat") & FILE_ATTRIBUTE_READONLY, static_cast<DWORD>(FILE_ATTRIBUTE_READONLY))
        << "its attributes are as before";
    EXPECT_EQ(ReadBytes(dir_ / L"data.dat.uTMP"), "new data") << "the download stays for another attempt";
    EXPECT_EQ(Downloads(dir_), (std::vector<std::wstring>{L"data.dat.uTMP"}));
    EXPECT_TRUE(EndsWith(dir_ / L"App.exe", "new"));
    EXPECT_EQ(ReadBytes(dir_ / L"more.dat"), "more");
    EXPECT_EQ(Starts(dir_, 1).size(), 1u);
}

TEST_F(SelfUpgradeRun, ExternalSetupRunsBeforeTheProgramAndIsRemoved) {
    Recorder(dir_ / L"App.exe", "old");
    Recorder(dir_ / L"slowsetup.exe.uTMP", "setup");
    WriteBytes(dir_ / L"data.dat.uTMP", "new data");
    const auto upgrader = StartUpgrader(Quoted(dir_ / L"App.exe") + L" +/afterupgrade1");
    // While it runs the setup program is in place, out of sight.
    ASSERT_EQ(Starts(dir_, 1).size(), 1u);
    EXPECT_EQ(Attributes(dir_ / L"slowsetup.exe"),
              static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(upgrader->WaitExit(30s));
    EXPECT_EQ(upgrader->ExitCode(), 0u);
    EXPECT_EQ(Starts(dir_, 2), (std::vector<std::string>{"slowsetup.exe|/afterupgrade1|/afterupgrade1",
                                                          "App.exe|/afterupgrade1|/afterupgrade1"}));
    EXPECT_FALSE(fs::exists(dir_ / L"slowsetup.exe"));
    EXPECT_TRUE(EndsWith(dir_ / L"App.exe", "old"));
    EXPECT_EQ(ReadBytes(dir_ / L"data.dat"), "new data");
    EXPECT_TRUE(Downloads(dir_).empty());
}

TEST_F(SelfUpgradeRun, AProgramPathWithBlanksWorksQuotedAndUnquoted) {
    const fs::path quoted = dir_ / L"up grade  dir", unquoted = dir_ / L"up grade dir";
    fs::create_directories(quoted);
    fs::create_directories(unquoted);
    Populate(quoted);
    Populate(unquoted);
    EXPECT_EQ(RunUpgrader(Quoted(quoted / L"App.exe") + L" +/afterupgrade0"), 0u);
    EXPECT_EQ(RunUpgrader((unquoted / L"App.exe").wstring() + L" +/afterupgrade0"), 0u);
    for (const fs::path& dir : {quoted, unquoted}) {
        SCOPED_TRACE(win::ToUtf8(dir.wstring()));
        ExpectReplaced(dir);
        EXPECT_EQ(Starts(dir, 1), (std::vector<std::string>{"App.exe|/afterupgrade0|/afterupgrade0"}));
    }
}

TEST_F(SelfUpgradeRun, AMissingProgramIsNotWaitedForAndItsStandInStarts) {
    Recorder(dir_ / L"new.exe.uTMP", "new");
    WriteBytes(dir_ / L"data.dat.uTMP", "new data");
    EXPECT_EQ(RunUpgrader(Quoted(dir_ / L"App.exe") + L" +/afterupgrade0", 20s), 0u);
    EXPECT_TRUE(EndsWith(dir_ / L"App.exe", "new"));
    EXPECT_EQ(ReadBytes(dir_ / L"data.dat"), "new data");
    EXPECT_EQ(Starts(dir_, 1), (std::vector<std::string>{"App.exe|/afterupgrade0|/afterupgrade0"}));
}

TEST_F(SelfUpgradeRun, NothingToStartOrAMissingDirectoryEndsQuietly) {
    WriteBytes(dir_ / L"data.dat.uTMP", "new data");
    EXPECT_EQ(RunUpgrader(Quoted(dir_ / L"App.exe") + L" +/afterupgrade1", 20s), 0u);
    EXPECT_EQ(ReadBytes(dir_ / L"data.dat"), "new data");
    EXPECT_EQ(RunUpgrader(Quoted(dir_ / L"no such dir" / L"App.exe") + L" +/afterupgrade0", 20s), 0u);
    EXPECT_FALSE(fs::exists(dir_ / L"starts.log"));
}

} // namespace
