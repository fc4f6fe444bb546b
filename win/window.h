// A small window and control layer over user32/comctl32: forms with child
// controls, click and notification events, modal showing, and the message
// loop with an application-wide handler for errors that escape a handler.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "handles.h"

namespace win {

class Form;

// Moves `window` (keeping its size and z-order) so that it is centred over
// `area`, in screen coordinates.
void CenterWindow(HWND window, const RECT& area);

class Application {
public:
    // Registers the window class and loads the common controls.
    static void Initialize(HINSTANCE instance);
    static HINSTANCE Instance();
    // Runs the message loop until the main form is destroyed.
    static int Run(Form& mainForm);
    // Dispatches every pending message, then returns.
    static void ProcessMessages();
    // Shows the message of an error that escaped a handler in an error box.
    static void ShowException(const std::exception& e);
    // The caption of that error box: the executable's name without extension.
    static std::wstring Title();
};

// A child control owned by a form; the form destroys the window.
class Control {
public:
    explicit Control(HWND hwnd = nullptr) : hwnd_(hwnd) {}
    virtual ~Control() = default;
    HWND Handle() const { return hwnd_; }
    int Id() const { return ::GetDlgCtrlID(hwnd_); }
    void SetText(const std::wstring& text);
    std::wstring Text() const;
    void SetEnabled(bool enabled) { ::EnableWindow(hwnd_, enabled); }

protected:
    HWND hwnd_;
};

class Button : public Control {
public:
    using Control::Control;
    std::function<void(Button& sender)> OnClick;
};

// Multi-line text box whose lines are appended one by one.
class Memo : public Control {
public:
    using Control::Control;
    void Clear();
    void AppendLine(const std::wstring& line);
    std::vector<std::wstring> Lines() const;
};

class ListView : public Control {
public:
    using Control::Control;
    void AddColumn(const std::wstring& header, int width);
    int AddItem(const std::wstring& caption);
    void SetCell(int row, int column, const std::wstring& text);
    std::wstring Cell(int row, int column) const;
    int RowCount() const;
    int SelectedIndex() const;
    void Select(int row);
    void Clear();
    // Lets a handler change the colours of a cell before it is drawn.
    std::function<void(ListView& sender, int row, int column, NMLVCUSTOMDRAW& draw)> OnCustomDrawSubItem;
};

class StatusBar : public Control {
public:
    using Control::Control;
    // Pane widths from left to right; -1 for the last one stretches.
    void SetPanes(const std::vector<int>& widths);
    void SetPaneText(int pane, const std::wstring& text);
    std::wstring PaneText(int pane) const;
};

struct FormStyle {
    std::wstring caption;
    int clientWidth = 0;
    int clientHeight = 0;
    bool whiteBackground = false;
};

class Form {
public:
    Form();
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    // Creates the window (hidden) with a fixed dialog border and Tahoma 8pt.
    void CreateWindowFor(const FormStyle& style, HWND owner = nullptr);
    HWND Handle() const { return hwnd_; }
    void SetCaption(const std::wstring& caption);
    std::wstring Caption() const;

    // Over the work area of the screen (without the task bar).
    void CenterOnScreen();
    void CenterOn(HWND other);
    void Show();
    void Close();
    // Shows the form modally over `owner`, returns when it is closed.
    void ShowModal(HWND owner);
    bool IsModal() const { return modal_; }

    Button& AddButton(const std::wstring& caption, int x, int y, int w, int h);
    Control& AddGroupBox(const std::wstring& caption, int x, int y, int w, int h);
    Memo& AddMemo(int x, int y, int w, int h);
    ListView& AddListView(int x, int y, int w, int h, DWORD extraStyle, DWORD exStyle);
    StatusBar& AddStatusBar();

    std::function<void(Form& sender)> OnClose;
    std::function<void(Form& sender)> OnShow;

protected:
    virtual LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
    void SetTimer(UINT_PTR id, UINT ms, std::function<void()> tick);

private:
    friend class Application;
    static LRESULT CALLBACK WndProc(HWND, UINT, WPARAM, LPARAM);
    HWND MakeChild(const wchar_t* cls, const std::wstring& text, DWORD style, DWORD exStyle, int x, int y, int w, int h);
    template <typename T> T& Own(HWND h);

    HWND hwnd_ = nullptr;
    UniqueGdiObject font_;
    int nextId_ = 100;
    bool modal_ = false;
    bool modalDone_ = false;
    bool whiteBackground_ = false;
    std::vector<std::unique_ptr<Control>> controls_;
    std::vector<HWND> groupBoxes_;
    std::map<UINT_PTR, std::function<void()>> timers_;
};

} // namespace win
