// Black-box helpers: start a program of the build, find its windows, read
// what they show across the process boundary, click, answer message boxes
// and take screenshots - as a user at the screen would.
#pragma once
#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "win/handles.h"
#include "win/process.h"

namespace uiprobe {

using namespace std::chrono_literals;

class Program {
public:
    // Starts `exe` with `args` in `dir`; the process is ended when this dies.
    Program(const std::wstring& exe, const std::wstring& args, const std::wstring& dir);
    ~Program();
    DWORD Pid() const { return process_.Id(); }
    HANDLE Process() const { return process_.Handle(); }
    bool WaitExit(std::chrono::milliseconds timeout);
    DWORD ExitCode() const;

private:
    win::Process process_;
};

// Visible top-level window of `pid` with the class (empty: any) whose caption
// equals `caption` (empty: any); waits up to `timeout`.
HWND WaitForWindow(DWORD pid, const std::wstring& className, const std::wstring& caption,
                   std::chrono::milliseconds timeout);
// Visible top-level windows of `pid` (0: of any process) with the class (empty: any).
std::vector<HWND> TopLevelWindows(DWORD pid, const std::wstring& className);
// The first child of `parent` with the class and (when non-empty) text.
HWND FindChild(HWND parent, const std::wstring& className, const std::wstring& text = L"");
std::wstring Text(HWND hwnd);
// Clicks a button without needing the foreground.
void Click(HWND button);

struct MessageBoxInfo {
    HWND hwnd = nullptr;
    std::wstring caption;
    std::wstring text;
    std::vector<std::wstring> buttons;
    bool hasIcon = false;
};
MessageBoxInfo WaitForMessageBox(DWORD pid, std::chrono::milliseconds timeout);
// Presses the box's button with that caption (e.g. L"确定", L"是(&Y)") or id.
void Answer(const MessageBoxInfo& box, int id);

// List views of another process.
int ListViewRowCount(HWND lv);
std::wstring ListViewCell(HWND lv, int row, int column);
std::vector<std::wstring> ListViewHeaders(HWND lv);
std::vector<int> ListViewColumnWidths(HWND lv);
void ListViewSelect(HWND lv, int row);
COLORREF ListViewPixel(HWND lv, int x, int y);

// Number of screen pixels inside `hwnd`'s window rectangle whose colour
// satisfies `match` (smoothed text has few pixels of its exact colour).
int CountPixels(HWND hwnd, const std::function<bool(BYTE r, BYTE g, BYTE b)>& match);

// Saves what the screen shows of `hwnd` as a 24-bit BMP file.
bool SaveScreenshot(HWND hwnd, const std::wstring& path);

// Pumps this thread's messages while sleeping (for the waits above).
void Pause(std::chrono::milliseconds ms);

} // namespace uiprobe
