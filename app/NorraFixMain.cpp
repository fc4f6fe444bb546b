#include "NorraFixMain.h"

#include "quillet_version.h"

#include <algorithm>
#include <ctime>

#include "repair_rules.h"
#include "reports/uReportDelete.h"
#include "reports/uReportEntity.h"
#include "uPublic.h"
#include "win/strings.h"
#include "win/version.h"

namespace {

constexpr wchar_t kNotRun[] = L"未处理";
constexpr wchar_t kSucceeded[] = L"成功";
constexpr wchar_t kFailed[] = L"失败";
constexpr wchar_t kDoneMessage[] =
    L"尊敬的纳税人，已完成信任站点的安全设置，你可以使用IE浏览器进行登录。提示：在日常使用中，可能会由于人为或者其它"
    L"一些因素造成IE安全设置的改变而影响正常使用，您可以重新运行Quillet再次尝试。！";
constexpr UINT_PTR kClockTimer = 1;
// Between the log box and the status bar below it.
constexpr int kLogBoxGap = 2;

} // namespace

TfrmQuillet::TfrmQuillet() {
    CreateWindowFor({L"", 820, 408, /*whiteBackground=*/true});
    // Creation order is the tab order.
    LvFixItem_ = &AddListView(8, 68, 804, 213, LVS_SINGLESEL, LVS_EX_FULLROWSELECT);
    RzGroupBox1_ = &AddGroupBox(L"操作", 8, 8, 804, 54);
    btnFix_ = &AddButton(L"一键修复", 8 + 651, 8 + 10, 113, 33);
    btnDelete_ = &AddButton(L"报表删除", 8 + 480, 8 + 10, 113, 33);
    rzmLogs_ = &AddMemo(8, 287, 804, 113);
    RzStatusBar1_ = &AddStatusBar();
    FitLogBoxAboveStatusBar();
    logLines_ = std::make_unique<MemoLines>(*rzmLogs_);

    LvFixItem_->AddColumn(L"修复项目", 600);
    LvFixItem_->AddColumn(L"结果", 200);
    for (const wchar_t* item : {L"浏览器兼容性修复", L"添加信任站点", L"注册必要控件"}) {
        int row = LvFixItem_->AddItem(item);
        LvFixItem_->SetCell(row, 1, kNotRun);
    }
    RzStatusBar1_->SetPanes({100, 501, -1});

    btnFix_->OnClick = [this](win::Button& b) { btnFixClick(b); };
    btnDelete_->OnClick = [this](win::Button& b) { btnDeleteClick(b); };
    LvFixItem_->OnCustomDrawSubItem = [this](win::ListView& lv, int row, int column, NMLVCUSTOMDRAW& draw) {
        LvFixItemCustomDrawSubItem(lv, row, column, draw);
    };
    OnClose = [this](win::Form& f) { FormClose(f); };
    CreateUpgrader();
    FormCreate();
    CenterOnScreen();
}

TfrmQuillet::~TfrmQuillet() = default;

void TfrmQuillet::FormCreate() {
    verSystem_ = win::ReadVersionInfo(win::ExePath());
    // Nothing here starts a check, and the automatic one is switched off
    // before it is due: a normal run contacts no server.
    upgraderMain_->SetAutoCheck(false);
    RzStatusBar1_->SetPaneText(0, verSystem_.fileVersion);
    RzStatusBar1_->SetPaneText(1, L"");
    UpdateClock();
    SetTimer(kClockTimer, 1000, [this] { UpdateClock(); });
    SetCaption(L"Quillet（仅修复）(" + verSystem_.fileVersion + L")");
}

void TfrmQuillet::FitLogBoxAboveStatusBar() {
    // Laid out at 113 pixels the box ran under the status bar, which hid its
    // last line and its scroll-down arrow; it now ends just above the bar.
    RECT bar;
    ::GetWindowRect(RzStatusBar1_->Handle(), &bar);
    ::MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&bar), 2);
    RECT box;
    ::GetWindowRect(rzmLogs_->Handle(), &box);
    ::MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&box), 2);
    const int height = std::min<int>(box.bottom - box.top, bar.top - kLogBoxGap - box.top);
    ::SetWindowPos(rzmLogs_->Handle(), nullptr, 0, 0, box.right - box.left, height,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TfrmQuillet::CreateUpgrader() {
    upgraderMain_ = std::make_unique<au::TauAutoUpgrader>();
    au::TauAutoUpgrader& u = *upgraderMain_;
    u.SetApplicationTitle(L"Vortan税控客户端服务");
    u.InfoFile().SetFiles({L"http://update.vortan.cn/quillet/quillet.exe"});
    u.InfoFile().SetUpgradeMsg(L"升级测试\r\n第二行说明");
    u.SetInfoFileURL(L"http://");
    u.SetInUpgrade(false);
    u.SetForceUpgrade(true);
    u.SetHasUpgraded(true);
    u.SetVersionControl(au::byNumber);
    u.SetVersionDate(L"2016-05-26 11:16:38");
    u.SetVersionDateAutoSet(true);
    u.SetVersionNumber(L"1");
    // Checked when the build was configured; a key the curve refuses stops
    // the window here rather than letting unsigned updates through.
    if (*QUILLET_UPDATE_PUBLIC_KEY) u.SetPublicKey(QUILLET_UPDATE_PUBLIC_KEY);
    u.OnHostUnreachable = [this](au::TauAutoUpgrader*, const std::wstring& url, const std::wstring& hostname) {
        upgraderMainHostUnreachable(url, hostname);
    };
    u.OnNoInfoFile = [this](au::TauAutoUpgrader*) { upgraderMainNoInfoFile(); };
    u.OnNoUpdateAvailable = [this](au::TauAutoUpgrader*) { upgraderMainNoUpdateAvailable(); };
    // As stored, the check is on: setting it arms the timer.
    u.SetAutoCheck(true);
    u.Loaded();
}

void TfrmQuillet::UpdateClock() {
    SYSTEMTIME t;
    ::GetLocalTime(&t);
    wchar_t text[64];
    swprintf(text, 64, L"%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    RzStatusBar1_->SetPaneText(2, text);
}

void TfrmQuillet::SetResult(int row, bool ok) { LvFixItem_->SetCell(row, 1, ok ? kSucceeded : kFailed); }

void TfrmQuillet::btnFixClick(win::Button&) {
    rzmLogs_->Clear();
    SetResult(0, EnableTrustedZoneActiveX(*logLines_));
    SetResult(1, AddTrustedSites(*logLines_, repair::kTrustedSiteList));
    SetResult(2, RegisterControls(*logLines_));
    ::MessageBoxW(Handle(), kDoneMessage, L"提示", MB_OK | MB_ICONINFORMATION);
}

void TfrmQuillet::btnDeleteClick(win::Button&) {
    if (reportWindow_) reportWindow_->ShowModal(Handle());
}

void TfrmQuillet::LvFixItemCustomDrawSubItem(win::ListView& sender, int row, int, NMLVCUSTOMDRAW& draw) {
    std::wstring result = sender.Cell(row, 1);
    draw.clrText = (result == kSucceeded || result == kFailed) ? RGB(0, 0, 255) : RGB(0, 0, 0);
}

void TfrmQuillet::FormClose(win::Form&) { ReleaseReportCatalogue(); }

void TfrmQuillet::upgraderMainHostUnreachable(const std::wstring& url, const std::wstring& hostname) {
    rzmLogs_->AppendLine(L"更新服务器不可达:" + url + hostname);
}

void TfrmQuillet::upgraderMainNoInfoFile() { rzmLogs_->AppendLine(L"没有可更新的配置文件"); }

void TfrmQuillet::upgraderMainNoUpdateAvailable() { rzmLogs_->AppendLine(L"没有可更新的文件"); }
