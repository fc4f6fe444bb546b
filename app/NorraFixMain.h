// The main window: the repair list, the log box, the report button.
#pragma once
#include <array>
#include <memory>
#include <string>

#include "loglines.h"
#include "upgrade/auAutoUpgrader.h"
#include "win/version.h"
#include "win/window.h"

class TfrmReportDelete;

class TfrmQuillet : public win::Form {
public:
    TfrmQuillet();
    ~TfrmQuillet() override;

    // The report window the report button shows; created after this window.
    void SetReportWindow(TfrmReportDelete* window) { reportWindow_ = window; }

    // The upgrade component reports through these (its check is off here).
    void upgraderMainHostUnreachable(const std::wstring& url, const std::wstring& hostname);
    void upgraderMainNoInfoFile();
    void upgraderMainNoUpdateAvailable();

    win::ListView& LvFixItem() { return *LvFixItem_; }
    win::Memo& rzmLogs() { return *rzmLogs_; }
    win::StatusBar& RzStatusBar1() { return *RzStatusBar1_; }
    au::TauAutoUpgrader& upgraderMain() { return *upgraderMain_; }

private:
    void FormCreate();
    void FormShow() {}
    void btnFixClick(win::Button& sender);
    void btnDeleteClick(win::Button& sender);
    void LvFixItemCustomDrawSubItem(win::ListView& sender, int row, int column, NMLVCUSTOMDRAW& draw);
    void FormClose(win::Form& sender);
    void SetResult(int row, bool ok);
    // The upgrade component as the window keeps it; its check is armed by
    // the stored settings and switched off again at creation.
    void CreateUpgrader();
    void FitLogBoxAboveStatusBar();
    void UpdateClock();

    class MemoLines : public TLogLines {
    public:
        explicit MemoLines(win::Memo& memo) : memo_(memo) {}
        void Add(const std::wstring& line) override { memo_.AppendLine(line); }

    private:
        win::Memo& memo_;
    };

    win::ListView* LvFixItem_ = nullptr;
    win::Control* RzGroupBox1_ = nullptr;
    win::Button* btnFix_ = nullptr;
    win::Button* btnDelete_ = nullptr;
    win::Memo* rzmLogs_ = nullptr;
    win::StatusBar* RzStatusBar1_ = nullptr;
    win::VersionInfo verSystem_;
    std::unique_ptr<au::TauAutoUpgrader> upgraderMain_;
    std::unique_ptr<MemoLines> logLines_;
    TfrmReportDelete* reportWindow_ = nullptr;
};
