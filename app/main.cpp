// quillet.exe: the logger starts before any window and stops after the last.
#include <windows.h>

#include <memory>

#include "NorraFixMain.h"
#include "log/log4me.h"
#include "reports/uReportDelete.h"

namespace {

int RunProgram(HINSTANCE instance) {
    win::Application::Initialize(instance);
    TfrmQuillet frmQuillet;
    auto frmReportDelete = std::make_unique<TfrmReportDelete>(frmQuillet.Handle());
    frmQuillet.SetReportWindow(frmReportDelete.get());
    int code = win::Application::Run(frmQuillet);
    frmQuillet.SetReportWindow(nullptr);
    return code;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    Log4meStartup();
    int code = 0;
    try {
        code = RunProgram(instance);
    } catch (const std::exception& e) {
        win::Application::ShowException(e);
        code = 1;
    }
    Log4meShutdown();
    return code;
}
