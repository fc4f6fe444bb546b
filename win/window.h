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

// Registers `windowClass` in its module, which may be done already: a class
// of that name with the same procedure is kept. One with another procedure
// would route the messages elsewhere, so it is replaced, which fails while
// windows of it exist. Raises win::Error with the platform's code when the
// class cannot be registered; true when this call registered it.
bool RegisterWindowClass(const WNDCLASSEXW& windowClass);

// A window that is never shown and only receives messages, of a class of the
// program's module with nothing but its name and `procedure`, registered as
// RegisterWindowClass does. `createParam` reaches WM_NCCREATE and WM_CREATE.
// Raises win::Error with the platform's code when the class or the window
// cannot be made; a class registered for a window that could not be made is
// unregistered again.
HWND CreateHiddenWindow(const wchar_t* className, WNDPROC procedure, DWORD style = 0, void* createParam = nullptr);

class Application {
public:
    // Registers the forms' window class and loads the common controls;
    // raises win::Error when the class cannot be registered.
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
    // On a modal form a click with a modal result (IDOK, IDYES, ...) closes
    // the form with it, after OnClick.
    int ModalResult() const noexcept { return modalResult_; }
    void SetModalResult(int value) noexcept { modalResult_ = value; }
    void Focus() { ::SetFocus(hwnd_); }
    std::function<void(Button& sender)> OnClick;

private:
    int modalResult_ = 0;
};

// A static text; its colour and boldness are its own.
class Label : public Control {
public:
    using Control::Control;
    COLORREF Color() const noexcept { return color_; }
    void SetColor(COLORREF color);
    // The height the text needs when wrapped at the label's width.
    int TextHeight() const;

private:
    COLORREF color_ = CLR_INVALID;
};

class ProgressBar : public Control {
public:
    using Control::Control;
    void SetPosition(int percent);
    int Position() const;
};

class Edit : public Control {
public:
    using Control::Control;
};

// A picture drawn over the whole control: a bitmap stretched to it, an
// icon, or a plain colour when it holds neither (a line).
class Picture : public Control {
public:
    using Control::Control;
    // Keeps a copy; the caller keeps its own.
    void SetBitmap(HBITMAP bitmap);
    HBITMAP Bitmap() const noexcept { return static_cast<HBITMAP>(bitmap_.get()); }
    void SetIcon(HICON icon);
    void SetFill(COLORREF color);
    void Draw(HDC dc, const RECT& area) const;

private:
    UniqueGdiObject bitmap_;
    HICON icon_ = nullptr;
    COLORREF fill_ = CLR_INVALID;
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
    // The font of the form and its controls.
    std::wstring fontName = L"Tahoma";
    int fontHeight = -11;
    BYTE fontCharset = DEFAULT_CHARSET;
    // A modal form goes over the middle of the screen instead of its owner's.
    bool centerOnScreen = false;
    // A dialog's frame: a caption with only the close button.
    bool dialogFrame = false;
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
    // Shows the form modally over `owner` and returns, once it is closed,
    // the modal result of the button that closed it (IDCANCEL otherwise).
    int ShowModal(HWND owner);
    bool IsModal() const { return modal_; }
    // Above all other windows, without taking the focus.
    void MakeTopMost();
    // The size of the client area; the window grows or shrinks around it.
    void SetClientSize(int width, int height);
    SIZE ClientSize() const;
    // Enter presses the default button, Escape the cancel button.
    void SetDefaultButton(Button& button);
    void SetCancelButton(Button& button) { cancelButton_ = &button; }

    Button& AddButton(const std::wstring& caption, int x, int y, int w, int h);
    Control& AddGroupBox(const std::wstring& caption, int x, int y, int w, int h);
    Memo& AddMemo(int x, int y, int w, int h, bool readOnly = false, bool border = true);
    // SS_LEFT by default; SS_CENTER, SS_ENDELLIPSIS and the like through `style`.
    Label& AddLabel(const std::wstring& text, int x, int y, int w, int h, DWORD style = 0, bool bold = false);
    ProgressBar& AddProgressBar(int x, int y, int w, int h);
    Edit& AddEdit(int x, int y, int w, int h, bool password = false);
    Picture& AddPicture(int x, int y, int w, int h);
    ListView& AddListView(int x, int y, int w, int h, DWORD extraStyle, DWORD exStyle);
    StatusBar& AddStatusBar();

    // Asked before the form closes; false keeps it open.
    std::function<void(Form& sender, bool& canClose)> OnCloseQuery;
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

    HFONT BoldFont();
    void Click(Button& button);

    HWND hwnd_ = nullptr;
    UniqueGdiObject font_, boldFont_;
    Button* defaultButton_ = nullptr;
    Button* cancelButton_ = nullptr;
    int modalResult_ = 0;
    bool centerOnScreen_ = false;
    int nextId_ = 100;
    bool modal_ = false;
    bool modalDone_ = false;
    bool whiteBackground_ = false;
    std::vector<std::unique_ptr<Control>> controls_;
    std::vector<HWND> groupBoxes_;
    std::map<UINT_PTR, std::function<void()>> timers_;
};

} // namespace win
