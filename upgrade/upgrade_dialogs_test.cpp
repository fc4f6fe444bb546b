// The component's own windows during real checks against the test server,
// seen as a user sees them: a second thread finds each window, reads what
// it shows, answers it and takes its screenshot (in the test's directory,
// screenshots\), while the window thread runs the upgrade. Also the dialog
// texts of all 25 languages and the language the system chooses.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "testing/uiprobe.h"
#include "upgrade/languages.h"
#include "upgrade/upgrade_test_support.h"
#include "upgrade/upgrade_texts.h"

namespace au::testing {
namespace {

using namespace std::chrono_literals;
using Names = std::vector<std::wstring>;

struct Child {
    HWND hwnd;
    std::wstring cls, text;
    RECT rect;  // in the parent's client coordinates
    bool visible, enabled;
};

BOOL CALLBACK CollectChild(HWND h, LPARAM lp) {
    auto* out = reinterpret_cast<std::vector<Child>*>(lp);
    wchar_t cls[64] = {};
    ::GetClassNameW(h, cls, 64);
    RECT r;
    ::GetWindowRect(h, &r);
    ::MapWindowPoints(nullptr, ::GetParent(h), reinterpret_cast<POINT*>(&r), 2);
    out->push_back({h, cls, uiprobe::Text(h), r, ::IsWindowVisible(h) != FALSE, ::IsWindowEnabled(h) != FALSE});
    return TRUE;
}

std::vector<Child> Children(HWND parent) {
    std::vector<Child> children;
    ::EnumChildWindows(parent, &CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

const Child* ByText(const std::vector<Child>& children, const std::wstring& text) {
    for (const auto& c : children)
        if (c.text == text) return &c;
    return nullptr;
}

const Child* Starting(const std::vector<Child>& children, const std::wstring& start) {
    for (const auto& c : children)
        if (c.text.starts_with(start)) return &c;
    return nullptr;
}

SIZE ClientSize(HWND h) {
    RECT r{};
    ::GetClientRect(h, &r);
    return {r.right, r.bottom};
}

void Screenshot(HWND window, const std::wstring& name) {
    ::CreateDirectoryW(L"screenshots", nullptr);
    uiprobe::Pause(300ms);
    uiprobe::SaveScreenshot(window, L"screenshots\\" + name + L".bmp");
}

// A user at the screen: runs beside the window thread until the test joins it.
class User {
public:
    template <typename F>
    explicit User(F&& act) : thread_([this, act = std::forward<F>(act)] { act(); done_ = true; }) {}
    ~User() {
        if (thread_.joinable()) thread_.join();
    }
    bool Done() const { return done_; }

private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};

class AuUpgradeDialogs : public UpgradeTest, public ::testing::WithParamInterface<TauAutoUpgraderLanguage> {
protected:
    void SetUp() override {
        UpgradeTest::SetUp();
        upgrader->SetDialogs(MakeBuiltInUpgradeDialogs());
        user = nullptr;
        pid = ::GetCurrentProcessId();
        uiThread = ::GetCurrentThreadId();
        if (GetParam() != wlAuto) upgrader->Wizard().SetLanguage(GetParam());
        language = upgrader->Wizard().ResolvedLanguage();
        suffix = language == wlEnglish ? L"-en" : L"-zh";
    }
    std::wstring T(TextId id) const { return UpgradeText(language, id); }
    HWND WaitWindow(const std::wstring& caption, std::chrono::milliseconds limit = 30s) const {
        return uiprobe::WaitForWindow(pid, L"QuilletForm", caption, limit);
    }
    HWND Focused() const {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        ::GetGUIThreadInfo(uiThread, &info);
        return info.hwndFocus;
    }
    // Runs the check until the component rests and the user has finished.
    bool CheckWith(User& person, DWORD milliseconds = 60000) {
        upgrader->CheckUpdate();
        return PumpUntil([&] { return finished && !upgrader->Busy() && person.Done(); }, milliseconds);
    }

    DWORD pid = 0, uiThread = 0;
    TauAutoUpgraderLanguage language = wlAuto;
    std::wstring suffix;
};

TEST_P(AuUpgradeDialogs, QuestionShowsVersionsAndNotesAndLaterDeclines) {
    AU_REQUIRE_TEST_SERVER();
    // Information files are written in the system's code page.
    ServeInfo(win::ToAnsi(L"#version=2.0.1\r\n#message={修正：报表删除\r\nFixed: a crash\nthird line}\r\n"
                          L"#url=http://h/q.exe\r\n"));
    std::vector<Child> seen;
    std::wstring caption;
    SIZE client{};
    User person([&] {
        HWND form = WaitWindow(L"Quillet tests升级");
        if (!form) return;
        caption = uiprobe::Text(form);
        client = ClientSize(form);
        seen = Children(form);
        Screenshot(form, L"question" + suffix);
        if (const Child* later = ByText(seen, T(kTextLater))) uiprobe::Click(later->hwnd);
    });
    ASSERT_TRUE(CheckWith(person));
    EXPECT_EQ(events, (Strings{"BeginUpgrade", "LaterUpgrade"}));
    EXPECT_EQ(caption, L"Quillet tests升级");
    EXPECT_EQ(client.cx, 680);
    EXPECT_EQ(client.cy, 457);
    EXPECT_TRUE(ByText(seen, L"1版")) << "local version";
    EXPECT_TRUE(ByText(seen, L"2.0.1版")) << "server version";
    const Child* notes = Starting(seen, L"修正");
    ASSERT_TRUE(notes);
    EXPECT_EQ(notes->text, L"修正：报表删除\r\nFixed: a crash\r\nthird line") << "notes with their line breaks";
    EXPECT_TRUE(ByText(seen, L"是否确定要升级？"));
    EXPECT_TRUE(ByText(seen, T(kTextYes)));
    if (language == wlChineseSimplified) {
        EXPECT_TRUE(ByText(seen, L"[&Y]是"));
        EXPECT_TRUE(ByText(seen, L"[&L]稍等一下"));
    } else {
        EXPECT_TRUE(ByText(seen, L"&Yes"));
        EXPECT_TRUE(ByText(seen, L"&Later"));
    }
    EXPECT_EQ(RequestCount(tag), 1);
}

TEST_P(AuUpgradeDialogs, QuestionClosedByItsTitleBarDeclines) {
    AU_REQUIRE_TEST_SERVER();
    ServeInfo("#version=2\r\n#url=http://h/q.exe\r\n");
    User person([&] {
        if (HWND form = WaitWindow(L"Quillet tests升级")) ::PostMessageW(form, WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    ASSERT_TRUE(CheckWith(person));
    EXPECT_EQ(events, (Strings{"BeginUpgrade", "LaterUpgrade"}));
}

TEST_P(AuUpgradeDialogs, WizardFollowsARealDownloadAndOkRestarts) {
    AU_REQUIRE_TEST_SERVER();
    upgrader->Wizard().SetEnabled(true);
    const Names names{FileName(L"w1"), FileName(L"w2")};
    ServeInfo("#version=2\r\n#forceupgrade=true\r\n#url1=" +
              win::ToUtf8(FileUrl(names[0], L"size=81920&chunk=4096&drip=60")) + "\r\n#url2=" +
              win::ToUtf8(FileUrl(names[1], L"size=40960&chunk=4096&drip=60")) + "\r\n");
    std::vector<int> current, total;
    std::vector<Child> downloading, finishedState;
    std::wstring title;
    bool okFocused = false;
    User person([&] {
        HWND form = WaitWindow(L"系统升级");
        if (!form) return;
        title = uiprobe::Text(form);
        std::vector<HWND> bars;
        for (const auto& c : Children(form))
            if (c.cls == L"msctls_progress32") bars.push_back(c.hwnd);
        if (bars.size() != 2) return;
        bool shot = false;
        // Samples the bars until the finished state shows the OK button.
        for (int i = 0; i < 600; ++i) {
            current.push_back(static_cast<int>(::SendMessageW(bars[0], PBM_GETPOS, 0, 0)));
            total.push_back(static_cast<int>(::SendMessageW(bars[1], PBM_GETPOS, 0, 0)));
            auto now = Children(form);
            if (!shot && current.back() > 30) {
                downloading = now;
                Screenshot(form, L"wizard-downloading" + suffix);
                shot = true;
            }
            const Child* ok = ByText(now, T(kTextOK));
            if (ok && ok->enabled) {
                // The window thread runs on while the children are read: the
                // finished state is read again once OK is seen enabled.
                uiprobe::Pause(200ms);
                finishedState = Children(form);
                okFocused = Focused() == ok->hwnd;
                Screenshot(form, L"wizard-finished" + suffix);
                uiprobe::Click(ok->hwnd);
                return;
            }
            uiprobe::Pause(50ms);
        }
    });
    ASSERT_TRUE(CheckWith(person));
    EXPECT_EQ(events.back(), "Aborted") << "the test's OnEndUpgrade stands in for the restart";
    EXPECT_NE(std::find(events.begin(), events.end(), "EndUpgrade"), events.end()) << "OK led to the restart";
    EXPECT_EQ(title, L"系统升级");
    ASSERT_FALSE(current.empty());
    EXPECT_GT(std::count_if(current.begin(), current.end(), [](int p) { return p > 0 && p < 100; }), 2)
        << "the current file's bar moved through the download";
    EXPECT_GT(std::count_if(total.begin(), total.end(), [](int p) { return p > 0 && p < 100; }), 2);
    EXPECT_TRUE(std::is_sorted(total.begin(), total.end()));

    ASSERT_FALSE(downloading.empty());
    EXPECT_TRUE(ByText(downloading, T(kTextDownloadingFiles)));
    EXPECT_TRUE(ByText(downloading, L" " + T(kTextCurrentFile) + L" "));
    EXPECT_TRUE(ByText(downloading, L" " + T(kTextAllFiles) + L" "));
    EXPECT_TRUE(ByText(downloading, T(kTextDownloadingFileFrom)));
    EXPECT_TRUE(ByText(downloading, FillPlaceholders(T(kTextFileSize), {L"80.0"}))) << "Content-Length in Kb";
    EXPECT_TRUE(ByText(downloading, FillPlaceholders(T(kTextDownloadingNumber), {L"1", L"2"})));
    EXPECT_TRUE(Starting(downloading, T(kTextTransferRate).substr(0, T(kTextTransferRate).find(L'%'))))
        << "transfer rate";
    const Child* left = Starting(downloading, T(kTextTimeLeft).substr(0, T(kTextTimeLeft).find(L'%')));
    ASSERT_TRUE(left) << "time left";
    EXPECT_EQ(left->text.size(), T(kTextTimeLeft).size() - 5)
        << "\"0:00:01\" in place of \"%d:%.2d:%.2d\": " << win::ToUtf8(left->text);
    EXPECT_TRUE(ByText(downloading, T(kTextNext)) && !ByText(downloading, T(kTextNext))->enabled);

    ASSERT_FALSE(finishedState.empty());
    EXPECT_TRUE(ByText(finishedState, T(kTextUpgradeCompleted)));
    const Child* note = ByText(finishedState, FillPlaceholders(T(kTextRestartNote), {L"Quillet tests"}));
    ASSERT_TRUE(note) << "the note names the application";
    EXPECT_TRUE(note->visible);
    EXPECT_FALSE(ByText(finishedState, L" " + T(kTextCurrentFile) + L" ")->visible);
    EXPECT_FALSE(ByText(finishedState, L" " + T(kTextAllFiles) + L" ")->visible);
    for (const auto& c : finishedState) {
        if (c.cls == L"msctls_progress32") {
            EXPECT_FALSE(c.visible);
        }
    }
    EXPECT_FALSE(ByText(finishedState, T(kTextCancel))->enabled) << "Cancel is disabled";
    EXPECT_TRUE(okFocused) << "OK has the focus";
}

TEST_P(AuUpgradeDialogs, WizardTakesItsPictureAndStaysOnTopOnlyWhenAsked) {
    AU_REQUIRE_TEST_SERVER();
    upgrader->Wizard().SetEnabled(true);
    // A picture of the caller's own: plain red, which the wizard's own
    // picture never is.
    const HDC screen = ::GetDC(nullptr);
    win::UniqueGdiObject red(::CreateCompatibleBitmap(screen, 118, 218));
    const HDC dc = ::CreateCompatibleDC(screen);
    const HGDIOBJ old = ::SelectObject(dc, red.get());
    RECT all{0, 0, 118, 218};
    const win::UniqueGdiObject brush(::CreateSolidBrush(RGB(255, 0, 0)));
    ::FillRect(dc, &all, static_cast<HBRUSH>(brush.get()));
    ::SelectObject(dc, old);
    ::DeleteDC(dc);
    ::ReleaseDC(nullptr, screen);
    upgrader->Wizard().SetPic118x218(static_cast<HBITMAP>(red.get()));
    red.reset();  // the wizard keeps a copy of its own
    for (const bool onTop : {false, true}) {
        upgrader->Wizard().SetStayOnTop(onTop);
        finished = false;
        const std::wstring name = FileName(onTop ? L"top" : L"nottop");
        ServeInfo("#version=2\r\n#forceupgrade=true\r\n#url1=" +
                  win::ToUtf8(FileUrl(name, L"size=40000&chunk=4000&drip=100")) + "\r\n");
        LONG_PTR exStyle = 0;
        int redPixels = 0;
        User person([&] {
            HWND form = WaitWindow(L"系统升级");
            if (!form) return;
            uiprobe::Pause(300ms);
            exStyle = ::GetWindowLongPtrW(form, GWL_EXSTYLE);
            for (const auto& c : Children(form)) {
                if (c.cls == L"Static" && c.rect.right - c.rect.left == 100 && c.rect.bottom - c.rect.top == 239)
                    redPixels = uiprobe::CountPixels(c.hwnd, [](BYTE r, BYTE g, BYTE b) {
                        return r > 240 && g < 20 && b < 20;
                    });
            }
            for (int i = 0; i < 200; ++i) {
                const Child* ok = ByText(Children(form), T(kTextOK));
                if (ok && ok->enabled) {
                    uiprobe::Click(ok->hwnd);
                    return;
                }
                uiprobe::Pause(50ms);
            }
        });
        ASSERT_TRUE(CheckWith(person));
        EXPECT_EQ((exStyle & WS_EX_TOPMOST) != 0, onTop);
        EXPECT_GT(redPixels, 100 * 239 / 2) << "the caller's picture stands in for the side picture";
    }
}

TEST_P(AuUpgradeDialogs, CancelAsksFirstNoGoesOnYesAborts) {
    AU_REQUIRE_TEST_SERVER();
    upgrader->Wizard().SetEnabled(true);
    const std::wstring name = FileName(L"slow");
    ServeInfo("#version=2\r\n#forceupgrade=true\r\n#url1=" +
              win::ToUtf8(FileUrl(name, L"size=200000&chunk=2000&drip=50")) + "\r\n");
    std::vector<uiprobe::MessageBoxInfo> boxes;
    std::atomic<int> progressCount{0};
    int progressAfterNo = 0;
    onProgress = [&] { ++progressCount; };
    User person([&] {
        HWND form = WaitWindow(L"系统升级");
        if (!form) return;
        uiprobe::Pause(500ms);
        for (int answer : {IDNO, IDYES}) {
            const Child* cancel = ByText(Children(form), T(kTextCancel));
            if (!cancel) return;
            uiprobe::Click(cancel->hwnd);
            boxes.push_back(uiprobe::WaitForMessageBox(pid, 10s));
            if (answer == IDNO) Screenshot(boxes.back().hwnd, L"wizard-cancel-question" + suffix);
            uiprobe::Answer(boxes.back(), answer);
            if (answer == IDNO) {
                const int before = progressCount;
                uiprobe::Pause(800ms);
                progressAfterNo = progressCount - before;
            }
        }
    });
    ASSERT_TRUE(CheckWith(person));
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, T(kTextAbortQuestion));
    EXPECT_EQ(boxes[0].caption, L"Quillet tests");
    EXPECT_GT(progressAfterNo, 0) << "No lets the download go on";
    EXPECT_EQ(events.back(), "Aborted");
    EXPECT_EQ(std::find(events.begin(), events.end(), "EndUpgrade"), events.end()) << "nothing restarts";
    EXPECT_FALSE(::IsWindow(WaitWindow(L"系统升级", 100ms)));
}

TEST_P(AuUpgradeDialogs, FinishedWizardClosedByItsTitleBarAndConfirmedRestartsNothing) {
    AU_REQUIRE_TEST_SERVER();
    upgrader->Wizard().SetEnabled(true);
    const std::wstring name = FileName(L"done");
    ServeInfo("#version=2\r\n#forceupgrade=true\r\n#url1=" + win::ToUtf8(FileUrl(name, L"size=1000")) + "\r\n");
    User person([&] {
        HWND form = WaitWindow(L"系统升级");
        for (int i = 0; form && i < 200; ++i) {
            const Child* ok = ByText(Children(form), T(kTextOK));
            if (ok && ok->enabled) {
                ::PostMessageW(form, WM_SYSCOMMAND, SC_CLOSE, 0);
                uiprobe::Answer(uiprobe::WaitForMessageBox(pid, 10s), IDYES);
                return;
            }
            uiprobe::Pause(50ms);
        }
    });
    ASSERT_TRUE(CheckWith(person));
    EXPECT_EQ(events.back(), "Aborted");
    EXPECT_EQ(std::find(events.begin(), events.end(), "EndUpgrade"), events.end());
}

TEST_P(AuUpgradeDialogs, PasswordWindowGrowsWithItsTextAndOkFetchesTheFile) {
    AU_REQUIRE_TEST_SERVER();
    const std::wstring name = FileName(L"protected");
    const std::wstring account = L"dlg-" + std::to_wstring(::GetCurrentProcessId());
    const std::wstring longName = L"the%20protected%20update%20with%20a%20rather%20long%20name%20" + name;
    downloads.push_back(L"the protected update with a rather long name " + name + kDownloadSuffix);
    ServeInfo("#version=2\r\n#forceupgrade=true\r\n#url1=" +
              win::ToUtf8(FileUrl(longName, L"size=321&auth=" + QueryEscape(account + L":pw"))) + "\r\n");
    std::vector<Child> seen;
    SIZE client{};
    User person([&] {
        HWND form = WaitWindow(T(kTextEnterPassword));
        if (!form) return;
        client = ClientSize(form);
        seen = Children(form);
        Screenshot(form, L"password" + suffix);
        std::vector<HWND> edits;
        for (const auto& c : seen)
            if (c.cls == L"Edit") edits.push_back(c.hwnd);
        if (edits.size() != 2) return;
        ::SendMessageW(edits[0], WM_SETTEXT, 0, reinterpret_cast<LPARAM>(account.c_str()));
        ::SendMessageW(edits[1], WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"pw"));
        if (const Child* ok = ByText(seen, T(kTextOK))) uiprobe::Click(ok->hwnd);
    });
    ASSERT_TRUE(CheckWith(person));
    EXPECT_EQ(events, (Strings{"BeginUpgrade", "PasswordRequest", "FileStart", "Progress", "FileDone", "EndUpgrade",
                               "Aborted"}));
    EXPECT_EQ(FileBytes(win::ExeDir() + L"the protected update with a rather long name " + name + kDownloadSuffix),
              PatternBytes(0, 321));
    const Child* text = Starting(seen, T(kTextPasswordProtected).substr(0, 6));
    ASSERT_TRUE(text);
    EXPECT_NE(text->text.find(L"the protected update with a rather long name"), std::wstring::npos);
    EXPECT_GT(client.cy, 141) << "the long text grew the window";
    EXPECT_EQ(client.cx, 297);
    for (const auto& c : seen) {
        if (c.cls == L"Edit" || c.cls == L"Button") {
            EXPECT_GE(c.rect.top, text->rect.bottom) << "fields and buttons stay below the text";
            EXPECT_LE(c.rect.bottom, client.cy);
        }
    }
    EXPECT_EQ(client.cy - text->rect.bottom, 98 + 4) << "the panel sits right below the text";
}

TEST_P(AuUpgradeDialogs, PasswordWindowCancelledAborts) {
    AU_REQUIRE_TEST_SERVER();
    const std::wstring name = FileName(L"refused");
    ServeInfo("#version=2\r\n#forceupgrade=true\r\n#url1=" + win::ToUtf8(FileUrl(name, L"size=10&auth=x:y")) +
              "\r\n");
    User person([&] {
        HWND form = WaitWindow(T(kTextEnterPassword));
        const auto children = form ? Children(form) : std::vector<Child>{};
        if (const Child* cancel = ByText(children, T(kTextCancel))) uiprobe::Click(cancel->hwnd);
    });
    ASSERT_TRUE(CheckWith(person));
    EXPECT_EQ(events, (Strings{"BeginUpgrade", "PasswordRequest", "Aborted"}));
}

TEST_P(AuUpgradeDialogs, ErrorBoxesCarryTheTextsOfTheLanguage) {
    AU_REQUIRE_TEST_SERVER();
    upgrader->SetShowMessages({mNoInfoFile});
    upgrader->SetInfoFileURL(FileUrl(L"missing.txt", L"status=404"));
    uiprobe::MessageBoxInfo box;
    User person([&] {
        box = uiprobe::WaitForMessageBox(pid, 30s);
        Screenshot(box.hwnd, L"error-box" + suffix);
        uiprobe::Answer(box, IDOK);
    });
    ASSERT_TRUE(CheckWith(person));
    EXPECT_EQ(box.caption, T(kTextUpdateWizard));
    EXPECT_EQ(box.text, T(kTextNoInfoFile));
    EXPECT_TRUE(box.hasIcon);
}

INSTANTIATE_TEST_SUITE_P(Languages, AuUpgradeDialogs, ::testing::Values(wlAuto, wlEnglish),
                         [](const auto& info) { return info.param == wlAuto ? "SystemChinese" : "English"; });

TEST(AuUpgradeTexts, EveryLanguageHasAllTextsWithTheEnglishPlaceholdersAndAccelerators) {
    for (int k = 1; k <= kLanguageCount; ++k) {
        const auto language = static_cast<TauAutoUpgraderLanguage>(k);
        for (int i = 0; i < kTextCount; ++i) {
            const std::wstring english = UpgradeText(wlEnglish, i);
            const wchar_t* resource = nullptr;
            const int length = ::LoadStringW(::GetModuleHandleW(nullptr), TextResourceId(language, i),
                                             reinterpret_cast<LPWSTR>(&resource), 0);
            ASSERT_GT(length, 0) << "language " << k << " lacks text " << i;
            const std::wstring own = UpgradeText(language, i);
            EXPECT_EQ(PlaceholdersOf(own), PlaceholdersOf(english)) << "language " << k << " text " << i;
            EXPECT_EQ(std::count(own.begin(), own.end(), L'&'), std::count(english.begin(), english.end(), L'&'))
                << "language " << k << " text " << i;
        }
    }
}

TEST(AuUpgradeTexts, EnglishAndChineseAsGiven) {
    EXPECT_EQ(UpgradeText(wlEnglish, kTextUpdateWizard), L"Application update wizard");
    EXPECT_EQ(UpgradeText(wlEnglish, kTextTimeLeft), L"Estimated time left: %d:%.2d:%.2d");
    EXPECT_EQ(UpgradeText(wlEnglish, kTextHostUnreachable),
              L"Host %s unreachable.\r\rPlease check your Internet connection and\rtry to upgrade this software again "
              L"later.");
    EXPECT_EQ(UpgradeText(wlEnglish, kTextPasswordProtected),
              L"Access to remote file \"%s\" is password protected.\n\nPlease enter your username and password "
              L"(received after registration) to continue software upgrade.");
    EXPECT_EQ(UpgradeText(wlChineseSimplified, kTextUpdateWizard), L"软件升级精灵");
    EXPECT_EQ(UpgradeText(wlChineseSimplified, kTextDownloadingNumber), L"当前正在下载:%d of %d");
    EXPECT_EQ(UpgradeText(wlChineseSimplified, kTextRestartNote), L"%s 已经升级完成，\r\r请按[确定]键重新启动程序");
    EXPECT_EQ(UpgradeText(wlChineseSimplified, kTextYes), L"[&Y]是");
    EXPECT_EQ(UpgradeText(wlChineseSimplified, kTextLater), L"[&L]稍等一下");
    EXPECT_EQ(UpgradeText(wlChineseSimplified, kTextPasswordProtected),
              L"远端的文档\"%s\"被密码保护，\n\n请输入您的帐号及密码[注册用户]来继续进行升级操作。");
}

// Run under the suite's Chinese locale and once more under an English one
// (AU_EXPECT_LANGUAGE=en).
TEST(AuUpgradeSystemLanguage, AutoChoosesTheSystemsLanguage) {
    const char* expected = std::getenv("AU_EXPECT_LANGUAGE");
    const bool english = expected && std::string(expected) == "en";
    TauAutoUpgrader upgrader;
    EXPECT_EQ(upgrader.Wizard().Language(), wlAuto);
    EXPECT_EQ(upgrader.Wizard().ResolvedLanguage(), english ? wlEnglish : wlChineseSimplified)
        << "system language " << std::hex << ::GetSystemDefaultLangID();
    EXPECT_EQ(UpgradeText(wlAuto, kTextYes), english ? L"&Yes" : L"[&Y]是");
    upgrader.Wizard().SetLanguage(wlGerman);
    EXPECT_EQ(upgrader.Wizard().ResolvedLanguage(), wlGerman) << "an explicit language is used as set";
}

} // namespace
} // namespace au::testing
