// FormWindow: the common machinery of the program's windows (the message
// dialog, the main window, the read service's message-only window).
//
// - Geometry in twips from the design, converted at the window's real DPI
//   and laid out again when the window moves to a monitor of another DPI.
// - Child controls are real Win32 controls (STATIC, BUTTON, ...) so other
//   processes and accessibility tools can read them; "panes" are plain
//   child containers whose painting the form does.
// - Timers by id, delivered to OnTimer.
// - Every message enters through one procedure that counts the handler
//   (handler_scope.h) and lets no exception out; OnMessage sees the form's
//   messages, its panes' and those of the controls routed to it.
// - Closing never frees what a running handler still uses: Close() hides
//   the window and marks it closed at once; the window is destroyed once
//   no handler of the program is on the stack (handler_scope.h). The object stays alive while one
//   of its handlers runs, so it must be owned by a std::shared_ptr (use FormWindow::Make).
// - Keyboard: Tab and Shift+Tab move between tab stops, arrow keys between
//   buttons, Enter presses the focused or else the default button, Escape
//   sends the system close command. This works in every loop that offers
//   messages to FilterMessage (runtime_win32.h); the first Create adds
//   that filter beside any other. Not IsDialogMessageW: the dialog's
//   buttons live in a pane and are owner-drawn when styled, and the dialog
//   manager looks for the default button only among the window's own
//   children and by DLGC_DEFPUSHBUTTON, which owner-drawn buttons never say.
// - A modal show that disables the thread's other windows and runs its own
//   message loop until the window is closed.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/dpi.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/win.h"

namespace tav::win32 {

// The window class of every form, for programs that look for them.
inline constexpr wchar_t kFormWindowClass[] = L"TAVForm";

// Fills rect with a vertical gradient (colours 0x00BBGGRR).
void FillVerticalGradient(HDC dc, const RECT& rect, COLORREF top, COLORREF bottom);

struct TwipsRect {
    int32_t left = 0, top = 0, width = 0, height = 0;
};

struct FontDesign {
    std::wstring face = L"MS Sans Serif";
    double points = 8;
    bool bold = false;
};

enum class AutoSize {
    None,
    Height,          // wraps words at the designed width; height follows
    WidthAndHeight,  // one line; the control fits its text
};

struct ControlDesign {
    const wchar_t* className = L"STATIC";
    std::wstring text;
    DWORD style = 0;  // WS_CHILD is added
    DWORD exStyle = 0;
    int id = 0;
    TwipsRect rect;         // in the parent's client area
    HWND parent = nullptr;  // nullptr: the form
    FontDesign font;
    AutoSize autoSize = AutoSize::None;
    COLORREF textColor = CLR_INVALID;  // STATIC text; CLR_INVALID: system colour
};

struct FormDesign {
    const wchar_t* className = kFormWindowClass;
    std::wstring caption;
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    DWORD exStyle = 0;
    TwipsRect screenRect;  // position on the screen, client width and height
    COLORREF background = RGB(255, 255, 255);
    // The process ends when the last counted window closes.
    bool countsForProcess = false;
    // Never shown: a window only for posted messages (HWND_MESSAGE).
    bool messageOnly = false;
};

class FormWindow : public std::enable_shared_from_this<FormWindow> {
public:
    virtual ~FormWindow();
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;

    // Creates a form of type T (a FormWindow) owned by a shared_ptr.
    template <class T, class... Args>
    static std::shared_ptr<T> Make(Args&&... args) {
        return std::make_shared<T>(std::forward<Args>(args)...);
    }

    // Creates the hidden window; false when the system refused.
    bool Create(const FormDesign& design);
    // Creates a child control (hidden unless design.style has WS_VISIBLE).
    HWND AddControl(const ControlDesign& design);
    // A child container painted through OnPaintPane; its controls'
    // notifications reach this form's OnMessage.
    HWND AddPane(const TwipsRect& rect, HWND parent = nullptr);
    // The control's own messages reach OnMessage (from = the control)
    // before the control handles them.
    void RouteMessages(HWND control);

    HWND hwnd() const { return hwnd_; }
    UINT dpi() const { return dpi_; }
    bool closed() const { return closed_; }

    // Outer edges of the window on the screen, twips.
    RECT OuterTwips() const;
    void MoveOuterTwips(const int32_t* left, const int32_t* top, const int32_t* width,
                        const int32_t* height);

    // A control's designed rectangle; setting it lays the control out anew.
    TwipsRect ControlRect(HWND control) const;
    void SetControlRect(HWND control, const TwipsRect& rect);
    // Sets a control's text and fits its size to it when it sizes itself.
    void SetControlText(HWND control, const std::string& utf8);
    std::string ControlText(HWND control) const;

    // Converts for painting at the current DPI.
    int Px(int32_t twips) const { return TwipsToPixels(twips, dpi_); }
    HFONT Font(const FontDesign& design);

    void StartTimer(UINT_PTR id, UINT ms);
    void StopTimer(UINT_PTR id);

    // The button Enter presses when no button has the focus; null: none.
    void SetDefaultButton(HWND button) { defaultButton_ = button; }
    HWND DefaultButton() const { return defaultButton_; }

    // Shows the window and runs a message loop until it is closed; the
    // thread's other windows are disabled meanwhile. A WM_QUIT closes it
    // and is passed on to the outer loop.
    void RunModal();
    // Hides the window at once and destroys it as soon as that is safe.
    void Close();

protected:
    FormWindow();

    // Offered every message of the form, its panes and its routed controls
    // first; true when handled (result then holds the answer). from is null
    // for the form.
    virtual bool OnMessage(HWND from, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
    virtual void OnPaint(HDC dc, const RECT& client);
    virtual void OnPaintPane(HWND pane, HDC dc, const RECT& client);
    virtual void OnTimer(UINT_PTR id);
    // The system close command (close box, Alt+F4, Escape); closes by default.
    virtual void OnSystemClose();
    virtual void OnActivate();
    // After the controls were laid out again at a new DPI.
    virtual void OnDpiChanged();
    // The keyboard focus on showing; the default button unless overridden.
    virtual HWND InitialFocus();
    // Just before the window is destroyed, once no handler runs; counted
    // as a handler itself.
    virtual void OnDestroy();

private:
    struct Control {
        TwipsRect rect;
        FontDesign font;
        AutoSize autoSize = AutoSize::None;
        COLORREF textColor = CLR_INVALID;
        bool hasFont = true;  // false for panes
        bool routed = false;  // its own messages go through OnMessage
    };

    static LRESULT CALLBACK FormProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PaneProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR id, DWORD_PTR data);
    static FormWindow* FromHwnd(HWND hwnd);
    // Registers a form class once; false when the name is taken otherwise.
    static bool Register(const wchar_t* className);
    static bool KeyFilter(MSG& msg);

    LRESULT Dispatch(HWND from, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(HWND from, UINT msg, WPARAM wParam, LPARAM lParam);
    bool Routed(HWND control) const;
    bool IgnoredWhenClosed(HWND pane, UINT msg, WPARAM wParam);
    bool HandleDrawing(HWND pane, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool HandleFormMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void Activated(bool active);
    void DpiChanged(UINT dpi, const RECT& suggested);
    void Layout(HWND control);
    void LayoutAll();
    bool HandleKey(const MSG& msg);
    std::vector<HWND> TabStops() const;
    void DestroyNow();
    void EndModal();

    HWND hwnd_ = nullptr;
    UINT dpi_ = 96;
    COLORREF background_ = RGB(255, 255, 255);
    UniqueGdi backgroundBrush_;
    bool counted_ = false;
    bool closed_ = false;
    bool modal_ = false;
    std::vector<HWND> disabledByModal_;
    HWND defaultButton_ = nullptr;
    HWND lastFocus_ = nullptr;
    std::map<HWND, Control> controls_;
    std::vector<HWND> order_;                  // controls in creation order
    std::map<std::wstring, UniqueGdi> fonts_;  // by face/points/bold at dpi_
};

}  // namespace tav::win32
