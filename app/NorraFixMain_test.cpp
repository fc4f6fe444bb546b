// The main window created in this process: how a run that fails part-way
// leaves the window, and what the upgrade notifications add to the log box.
#include "NorraFixMain.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <thread>

#include "repair_rules.h"
#include "testing/uiprobe.h"
#include "uPublic.h"
#include "win/registry.h"
#include "win/version.h"

using namespace std::chrono_literals;

namespace {

// Answers the next message box of this process from another thread, since
// the box runs its own loop inside the click.
class BoxAnswerer {
public:
    BoxAnswerer() {
        thread_ = std::thread([this] {
            info_ = uiprobe::WaitForMessageBox(::GetCurrentProcessId(), 60s);
            if (info_.hwnd) uiprobe::Answer(info_, IDOK);
            done_ = true;
        });
    }
    ~BoxAnswerer() {
        if (thread_.joinable()) thread_.join();
    }
    const uiprobe::MessageBoxInfo& Wait() {
        while (!done_) uiprobe::Pause(50ms);
        thread_.join();
        return info_;
    }

private:
    std::thread thread_;
    std::atomic<bool> done_{false};
    uiprobe::MessageBoxInfo info_;
};

class MainWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { win::Application::Initialize(::GetModuleHandleW(nullptr)); }
    void SetUp() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, repair::kZoneKey);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, repair::kDomainsKey);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, repair::kRangesKey);
        form_ = std::make_unique<TfrmQuillet>();
        form_->Show();
        uiprobe::Pause(100ms);
    }
    void TearDown() override {
        gate_.reset();
        form_.reset();
    }
    // Refuses the n-th registry write from now on (0-based).
    void RefuseWrite(int n) {
        gate_.reset();
        refuse_.n = n;
        refuse_.count = 0;
        gate_.emplace(refuse_);
    }
    const uiprobe::MessageBoxInfo& ClickFixAndAnswer(BoxAnswerer& answerer) {
        HWND fix = uiprobe::FindChild(form_->Handle(), L"Button", L"一键修复");
        EXPECT_NE(fix, nullptr);
        ::PostMessageW(fix, BM_CLICK, 0, 0);
        return answerer.Wait();
    }
    std::vector<std::wstring> Results() {
        return {form_->LvFixItem().Cell(0, 1), form_->LvFixItem().Cell(1, 1), form_->LvFixItem().Cell(2, 1)};
    }

    struct RefuseNth : win::Registry::WriteGate {
        int n = -1;
        int count = 0;
        LONG Check(const std::wstring&) override { return count++ == n ? ERROR_ACCESS_DENIED : ERROR_SUCCESS; }
    };

    std::unique_ptr<TfrmQuillet> form_;
    RefuseNth refuse_;
    std::optional<win::Registry::ScopedWriteGate> gate_;
};

TEST_F(MainWindowTest, CaptionAndVersionPaneWithoutAVersionBlock) {
    // This test program carries no version block.
    EXPECT_EQ(form_->Caption(), std::wstring(L"Quillet（仅修复）(") + win::kValueNotAvailable + L")");
    HWND bar = uiprobe::FindChild(form_->Handle(), L"msctls_statusbar32");
    ASSERT_NE(bar, nullptr);
    wchar_t pane[64] = {};
    ::SendMessageW(bar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(pane));
    EXPECT_STREQ(pane, win::kValueNotAvailable);
    ::SendMessageW(bar, SB_GETTEXTW, 1, reinterpret_cast<LPARAM>(pane));
    EXPECT_STREQ(pane, L"");
}

TEST_F(MainWindowTest, ZoneFailureOnAFirstRunShowsOnlyTheErrorBox) {
    RefuseWrite(0);
    BoxAnswerer answerer;
    const auto& box = ClickFixAndAnswer(answerer);
    EXPECT_EQ(box.text, repair::kRegistryFailure);
    EXPECT_EQ(box.caption, win::Application::Title());
    EXPECT_TRUE(box.hasIcon);
    uiprobe::Pause(300ms);
    EXPECT_TRUE(uiprobe::TopLevelWindows(::GetCurrentProcessId(), L"#32770").empty()) << "no completion box follows";
    EXPECT_EQ(Results(), (std::vector<std::wstring>{L"未处理", L"未处理", L"未处理"}));
    EXPECT_TRUE(form_->rzmLogs().Lines().empty());
}

TEST_F(MainWindowTest, SiteFailureKeepsTheZoneResultAndTheLinesSoFar) {
    // Twelve zone values, then two writes per host name: the fourth host's first write fails.
    RefuseWrite(12 + 2 + 2 + 2 + 3);
    BoxAnswerer answerer;
    const auto& box = ClickFixAndAnswer(answerer);
    EXPECT_EQ(box.text, repair::kRegistryFailure);
    uiprobe::Pause(300ms);
    EXPECT_EQ(Results(), (std::vector<std::wstring>{L"成功", L"未处理", L"未处理"}));
    auto lines = form_->rzmLogs().Lines();
    ASSERT_EQ(lines.size(), 12u + 4u);  // the address at position 3 took three writes
    EXPECT_EQ(lines.back(), repair::TrustedSiteLine(repair::SplitSiteList(repair::kTrustedSiteList)[3]));
}

TEST_F(MainWindowTest, LogBoxLiesWhollyAboveTheStatusBar) {
    auto rectOf = [&](HWND h) {
        RECT r;
        ::GetWindowRect(h, &r);
        ::MapWindowPoints(nullptr, form_->Handle(), reinterpret_cast<POINT*>(&r), 2);
        return r;
    };
    const RECT box = rectOf(form_->rzmLogs().Handle()), bar = rectOf(form_->RzStatusBar1().Handle());
    EXPECT_LE(box.bottom, bar.top);
    EXPECT_GE(box.bottom, bar.top - 4) << "and reaches down to it";
    EXPECT_EQ(box.left, 8);
    EXPECT_EQ(box.top, 287);
    EXPECT_EQ(box.right - box.left, 804);
}

TEST_F(MainWindowTest, EscapeDoesNotCloseTheMainWindow) {
    // What IsDialogMessage sends for the Escape key.
    ::SendMessageW(form_->Handle(), WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
    uiprobe::Pause(100ms);
    EXPECT_TRUE(::IsWindowVisible(form_->Handle()));
}

TEST_F(MainWindowTest, UpgradeNotificationsAppendTheirLines) {
    form_->upgraderMainHostUnreachable(L"http://upd.example.cn/info.ini", L"upd.example.cn");
    form_->upgraderMainNoInfoFile();
    form_->upgraderMainNoUpdateAvailable();
    EXPECT_EQ(form_->rzmLogs().Lines(),
              (std::vector<std::wstring>{L"更新服务器不可达:http://upd.example.cn/info.iniupd.example.cn",
                                         L"没有可更新的配置文件", L"没有可更新的文件"}));
}

TEST_F(MainWindowTest, UpgraderIsConfiguredAndItsCheckIsSwitchedOff) {
    au::TauAutoUpgrader& u = form_->upgraderMain();
    EXPECT_EQ(u.ApplicationTitle(), L"Vortan税控客户端服务");
    EXPECT_EQ(u.InfoFileURL(), L"http://");
    EXPECT_TRUE(u.ForceUpgrade());
    EXPECT_EQ(u.VersionControl(), au::byNumber);
    EXPECT_EQ(u.VersionNumber(), L"1");
    EXPECT_EQ(u.VersionDate(), L"2016-05-26 11:16:38");
    EXPECT_EQ(u.RestartParams(), L"/afterupgrade");
    EXPECT_EQ(u.InfoFile().Files().size(), 1u);
    EXPECT_FALSE(u.AutoCheck());
    EXPECT_FALSE(::KillTimer(u.Handle(), au::kCheckTimerId)) << "no check timer is armed";
    uiprobe::Pause(200ms);
    EXPECT_FALSE(u.Busy());
    EXPECT_TRUE(form_->rzmLogs().Lines().empty());
}

TEST_F(MainWindowTest, UpgraderOutcomesReachTheLogBox) {
    // Checks started by hand against local files and a closed port: the
    // window itself never starts one.
    au::TauAutoUpgrader& u = form_->upgraderMain();
    auto check = [&](const std::wstring& url) {
        u.SetInfoFileURL(url);
        u.CheckUpdate();
        const auto end = std::chrono::steady_clock::now() + 20s;
        while ((u.Busy() || u.InUpgrade()) && std::chrono::steady_clock::now() < end) uiprobe::Pause(50ms);
        uiprobe::Pause(100ms);
    };
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring info =
        std::wstring(temp) + L"quillet-info-" + std::to_wstring(::GetCurrentProcessId()) + L".txt";
    {
        win::UniqueHFile file(::CreateFileW(info.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        ::WriteFile(file.get(), "#version=1\r\n", 12, &written, nullptr);
    }
    check(L"file:///" + info);
    check(L"file:///" + info + L".missing");
    check(L"http://127.0.0.1:1/info.txt");
    ::DeleteFileW(info.c_str());
    EXPECT_EQ(form_->rzmLogs().Lines(),
              (std::vector<std::wstring>{L"没有可更新的文件", L"没有可更新的配置文件",
                                         L"更新服务器不可达:http://127.0.0.1:1/info.txt127.0.0.1"}));
    EXPECT_TRUE(uiprobe::TopLevelWindows(::GetCurrentProcessId(), L"#32770").empty()) << "no box by default";
}

} // namespace
