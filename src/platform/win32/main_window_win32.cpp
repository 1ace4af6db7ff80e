#include "platform/win32/main_window_win32.h"

#include "platform/win32/win.h"

#include <commctrl.h>
#include <uxtheme.h>
#include <windowsx.h>

#include <algorithm>
#include <map>

#include "core/failure.h"
#include "platform/win32/artwork_win32.h"
#include "platform/win32/dpi.h"
#include "platform/win32/form_window.h"
#include "platform/win32/runtime_win32.h"
#include "platform/win32/taskbar_progress_win32.h"
#include "platform/win32/text.h"
#include "platform/win32/unique_handle.h"

namespace tav::win32 {

namespace {

constexpr UINT_PTR kStartTimer = 1;
constexpr int kArtworkResource = 200;

// Design geometry in twips, as laid out for the panel.
using Rect = TwipsRect;
constexpr int kClientWidth = 6000;
constexpr int kClientHeight = 3000;
constexpr Rect kArtwork{-405, -30, 7020, 3075};
constexpr Rect kVersion{555, 2200, 570, 210};
constexpr Rect kName{555, 2425, 1545, 210};
constexpr Rect kCopyright{555, 2650, 3765, 210};
constexpr Rect kStatus{45, 150, 5925, 195};
constexpr Rect kBar{0, 0, 6030, 105};
constexpr Rect kSilent{4320, 2160, 1575, 315};
constexpr Rect kAbort{4680, 2535, 930, 315};

// Arial 8.25 pt, and the steps a text that does not fit goes down by.
constexpr int kDesignFontSize = 825;
constexpr int kFontStep = 75;
constexpr int kSmallestFontSize = 600;
constexpr int kLabelGap = 60;         // twips between a label and a control
constexpr int kEdgeMargin = 30;       // twips kept free at the window's edge
constexpr int kCheckMarkPixels = 20;  // the box and the space after it, at 96 dpi

constexpr wchar_t kCopyrightText[] = L"Copyright \x00A9 2026 Corvel Systems. All rights reserved.";
constexpr wchar_t kSilentTip[] =
    L"After completing installer download, Run the installer in Slient mode with no prompts.  Only "
    L"the "
    L"TAV Installer icon will be visible in the system tray and the system will reboot once "
    L"installation is complete.";
constexpr wchar_t kAbortTip[] = L"Abort Download and Update process.";

enum ControlId : int {
    kIdAbort = IDCANCEL,  // Escape presses Abort
    kIdVersion = 101,
    kIdName,
    kIdCopyright,
    kIdStatus,
    kIdBar,
    kIdSilent,
};

}  // namespace

// The panel on the program's one window framework: class, DPI, the close
// rule and the keyboard are FormWindow's; this adds the artwork, the white
// labels on it and the fitting of texts that a wider font makes longer.
struct Win32MainWindow::Impl final : FormWindow {
    MainWindowEvents* form = nullptr;
    HWND version = nullptr, name = nullptr, copyright = nullptr, status = nullptr, bar = nullptr,
         silent = nullptr, abort = nullptr, tooltip = nullptr;
    UniqueGdi artwork;
    // The client area as painted (white + artwork), and a brush of it that
    // transparent controls draw their background with.
    UniqueGdi background;
    UniqueGdi backgroundBrush;
    int artWidth = 0, artHeight = 0;
    TaskbarProgress taskbar;

    bool Build(MainWindowEvents& owner);

    // The logic, while the window still takes its events.
    MainWindowEvents* Events() const { return closed() ? nullptr : form; }

    HWND Child(const wchar_t* cls, const wchar_t* text, DWORD style, int id, const Rect& rect) {
        ControlDesign design;
        design.className = cls;
        design.text = text;
        design.style = style;
        design.id = id;
        design.rect = rect;
        design.font = FontOfSize(kDesignFontSize);
        return AddControl(design);
    }

    static FontDesign FontOfSize(int size) { return FontDesign{L"Arial", size / 100.0, false}; }

    // After the framework placed the controls as designed at the DPI.
    void Fit() {
        FitCheckBox();
        FitLabel(version, kVersion);
        FitLabel(name, kName);
        FitLabel(copyright, kCopyright);
        RECT rc;
        ::GetClientRect(hwnd(), &rc);
        RenderBackground(rc.right, rc.bottom);
    }

    static SIZE TextSize(HWND control, HFONT font) {
        const std::wstring text = WindowText(control);
        SIZE size{};
        const WindowDc dc(control);
        const SelectedObject selected(dc.get(), font);
        ::GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &size);
        return size;
    }

    // The largest font size, from the design's down in steps, at which
    // width(font) fits into room; the smallest step when none does.
    template <class Width>
    int FittingFontSize(int room, Width&& width) {
        int size = kDesignFontSize;
        while (size > kSmallestFontSize && width(Font(FontOfSize(size))) > room) size -= kFontStep;
        return size;
    }

    // The check box's caption shows whole: the box grows to the right up
    // to the window's edge, then to the left, and only then takes a
    // smaller font.
    void FitCheckBox() {
        const int mark = ScalePixels(kCheckMarkPixels, dpi());
        const int right = Px(kClientWidth) - Px(kEdgeMargin);
        const int leftmost = Px(kName.left + kName.width) + Px(kLabelGap);
        const auto needed = [&](HFONT font) {
            return static_cast<int>(TextSize(silent, font).cx) + mark;
        };
        const int size = FittingFontSize(right - leftmost, needed);
        const HFONT font = Font(FontOfSize(size));
        const int width = std::max(Px(kSilent.width), needed(font));
        const int left = std::max(leftmost, std::min(Px(kSilent.left), right - width));
        ::SetWindowPos(silent, nullptr, left, Px(kSilent.top), width, Px(kSilent.height),
                       SWP_NOZORDER | SWP_NOACTIVATE);
        ::SendMessageW(silent, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }

    // The information labels size themselves to their text but never run
    // under the button or the check box beside them: a text that does not
    // fit before them takes a smaller font.
    void FitLabel(HWND label, const Rect& r) {
        const int top = Px(r.top);
        const int bottom = Px(r.top + r.height);
        int limit = Px(kClientWidth) - Px(kEdgeMargin);
        for (HWND control : {abort, silent}) {
            RECT c;
            ::GetWindowRect(control, &c);
            ::MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&c), 2);
            if (c.top < bottom && c.bottom > top)
                limit = std::min<int>(limit, c.left - Px(kLabelGap));
        }
        const int left = Px(r.left);
        const int size = FittingFontSize(limit - left, [&](HFONT font) {
            return static_cast<int>(TextSize(label, font).cx) + 2;
        });
        const HFONT font = Font(FontOfSize(size));
        const SIZE text = TextSize(label, font);
        ::SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        ::SetWindowPos(label, nullptr, left, top, std::min<int>(text.cx + 2, limit - left),
                       std::max<LONG>(text.cy, bottom - top), SWP_NOZORDER | SWP_NOACTIVATE);
    }

    void RenderBackground(int width, int height) {
        const WindowDc screen(hwnd());
        const UniqueMemoryDc mem(::CreateCompatibleDC(screen.get()));
        background.reset(::CreateCompatibleBitmap(screen.get(), width, height));
        {
            const SelectedObject selected(mem.get(), background.get());
            PaintArtwork(mem.get());
        }
        backgroundBrush.reset(::CreatePatternBrush(static_cast<HBITMAP>(background.get())));
    }

    // Transparent labels leave their old text on the artwork unless the
    // parent repaints beneath them.
    void RepaintBehind(HWND child) {
        RECT rc;
        ::GetWindowRect(child, &rc);
        ::MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&rc), 2);
        ::RedrawWindow(hwnd(), &rc, nullptr,
                       RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    }

    void PaintArtwork(HDC dc) {
        RECT client;
        ::GetClientRect(hwnd(), &client);
        ::FillRect(dc, &client, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
        if (!artwork) return;
        const UniqueMemoryDc mem(::CreateCompatibleDC(dc));
        const SelectedObject selected(mem.get(), artwork.get());
        BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        ::SetStretchBltMode(dc, HALFTONE);
        ::AlphaBlend(dc, Px(kArtwork.left), Px(kArtwork.top), Px(kArtwork.width),
                     Px(kArtwork.height), mem.get(), 0, 0, artWidth, artHeight, blend);
    }

    HBRUSH BackgroundBrush() const {
        return backgroundBrush ? static_cast<HBRUSH>(backgroundBrush.get())
                               : static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    }

    std::string ControlAt(HWND child) const {
        if (child == version) return "lblVersion";
        if (child == name) return "lblName";
        if (child == copyright) return "LabelCopyright";
        if (child == status) return "txtStatus";
        return "";
    }

    std::string PlaceOf(LPARAM lParam) const {
        const POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        const RECT art{Px(kArtwork.left), Px(kArtwork.top), Px(kArtwork.left + kArtwork.width),
                       Px(kArtwork.top + kArtwork.height)};
        return ::PtInRect(&art, pt) ? "aicAlphaImage1" : "Form";
    }

    void AddTip(HWND control, const wchar_t* text) {
        TTTOOLINFOW ti{};
        ti.cbSize = sizeof ti;
        ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        ti.hwnd = hwnd();
        ti.uId = reinterpret_cast<UINT_PTR>(control);
        ti.lpszText = const_cast<wchar_t*>(text);
        ::SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    }

    // White text on the artwork: the control's background is the window's
    // own picture, aligned to where the control sits.
    LRESULT ControlColours(HDC dc, HWND control) {
        ::SetTextColor(dc, RGB(255, 255, 255));
        ::SetBkMode(dc, TRANSPARENT);
        POINT origin{0, 0};
        ::MapWindowPoints(control, hwnd(), &origin, 1);
        ::SetBrushOrgEx(dc, -origin.x, -origin.y, nullptr);
        return reinterpret_cast<LRESULT>(BackgroundBrush());
    }

    // The labels' own messages: a click on one is the logic's, by its name.
    bool OnLabelMessage(HWND label, UINT msg, LRESULT& result) {
        switch (msg) {
            case WM_LBUTTONDOWN:
            case WM_RBUTTONDOWN:
            case WM_MBUTTONDOWN:
            case WM_XBUTTONDOWN:
                if (MainWindowEvents* events = Events()) events->MouseDown(ControlAt(label));
                result = 0;
                return true;
            case WM_NCHITTEST:
                // Statics are transparent to the mouse unless they say otherwise.
                result = HTCLIENT;
                return true;
            default:
                return false;
        }
    }

    bool OnMessage(HWND from, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        if (from) return OnLabelMessage(from, msg, result);
        switch (msg) {
            case WM_ERASEBKGND:
                result = 1;  // painted whole in WM_PAINT, without flicker
                return true;
            case WM_CTLCOLORSTATIC:
            case WM_CTLCOLORBTN:
                result =
                    ControlColours(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
                return true;
            case WM_COMMAND:
                if (LOWORD(wParam) != kIdAbort || (HIWORD(wParam) != BN_CLICKED && lParam != 0))
                    return true;
                if (MainWindowEvents* events = Events()) events->cmdAbort_Click();
                return true;
            case WM_LBUTTONDOWN:
            case WM_RBUTTONDOWN:
            case WM_MBUTTONDOWN:
            case WM_XBUTTONDOWN:
                if (MainWindowEvents* events = Events()) events->MouseDown(PlaceOf(lParam));
                return true;
            default:
                return false;
        }
    }

    void OnPaint(HDC dc, const RECT& client) override {
        ::FillRect(dc, &client, BackgroundBrush());
    }
    void OnTimer(UINT_PTR id) override {
        MainWindowEvents* events = Events();
        if (events && id == kStartTimer) events->TimerBeginUpdate_Timer();
    }
    // Alt+F4, Escape and the taskbar's close mean Abort.
    void OnSystemClose() override {
        if (MainWindowEvents* events = Events()) events->cmdAbort_Click();
    }
    void OnDpiChanged() override { Fit(); }
    void OnDestroy() override {
        StopTimer(kStartTimer);
        taskbar.Detach();
        if (MainWindowEvents* f = std::exchange(form, nullptr)) f->Form_Unload();
    }
};

bool Win32MainWindow::Impl::Build(MainWindowEvents& owner) {
    form = &owner;
    INITCOMMONCONTROLSEX icc{sizeof icc,
                             ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&icc);

    FormDesign design;
    design.className = kMainWindowClass;
    design.caption = L"TAV Update Manager";
    design.style = WS_POPUP | WS_CLIPCHILDREN;
    // A taskbar button of its own: the window has no title bar to find it by.
    design.exStyle = WS_EX_APPWINDOW | WS_EX_CONTROLPARENT;
    design.screenRect = TwipsRect{0, 0, kClientWidth, kClientHeight};
    design.countsForProcess = true;
    if (!Create(design)) return false;

    // Creation order is the tab order: Abort first.
    abort = Child(L"BUTTON", L"Abort", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kIdAbort, kAbort);
    version =
        Child(L"STATIC", L"Version", WS_VISIBLE | SS_LEFT | SS_NOPREFIX, kIdVersion, kVersion);
    name =
        Child(L"STATIC", L"TAV Update Manager", WS_VISIBLE | SS_LEFT | SS_NOPREFIX, kIdName, kName);
    copyright = Child(L"STATIC", kCopyrightText, WS_VISIBLE | SS_LEFT | SS_NOPREFIX, kIdCopyright,
                      kCopyright);
    status = Child(L"STATIC", L"Initializing...", SS_CENTER | SS_NOPREFIX | SS_ENDELLIPSIS,
                   kIdStatus, kStatus);
    bar = Child(PROGRESS_CLASSW, L"", PBS_SMOOTH, kIdBar, kBar);
    silent = Child(L"BUTTON", L"Silent Installation", WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX,
                   kIdSilent, kSilent);
    ::SendMessageW(bar, PBM_SETRANGE32, 0, 100);
    // Themed check boxes ignore the text colour: plain drawing keeps the
    // caption white and readable on the dark artwork.
    ::SetWindowTheme(silent, L"", L"");
    ::SetWindowTheme(bar, L"", L"");
    ::SendMessageW(bar, PBM_SETBARCOLOR, 0, RGB(70, 160, 255));
    ::SendMessageW(bar, PBM_SETBKCOLOR, 0, RGB(4, 18, 51));
    for (HWND label : {version, name, copyright, status}) RouteMessages(label);

    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    tooltip =
        ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                          WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, hwnd(), nullptr, instance, nullptr);
    ::SendMessageW(tooltip, TTM_SETMAXTIPWIDTH, 0, 360);
    AddTip(silent, kSilentTip);
    AddTip(abort, kAbortTip);

    artwork = LoadPngResource(kArtworkResource, artWidth, artHeight);
    Fit();
    taskbar.Attach(hwnd());
    return abort && version && name && copyright && status && bar && silent;
}

Win32MainWindow::Win32MainWindow() = default;

Win32MainWindow::~Win32MainWindow() {
    if (impl_) {
        // The logic may be gone already; the window goes without it.
        impl_->form = nullptr;
        impl_->Close();
    }
}

bool Win32MainWindow::Create(MainWindowEvents& form) {
    impl_ = FormWindow::Make<Impl>();
    return impl_->Build(form);
}

void Win32MainWindow::Show() {
    if (impl_ && impl_->hwnd() && !impl_->closed()) {
        ::ShowWindow(impl_->hwnd(), SW_SHOWNORMAL);
        ::UpdateWindow(impl_->hwnd());
    }
}

uintptr_t Win32MainWindow::Handle() { return reinterpret_cast<uintptr_t>(impl_->hwnd()); }
int32_t Win32MainWindow::WidthTwips() { return kClientWidth; }
int32_t Win32MainWindow::HeightTwips() { return kClientHeight; }

void Win32MainWindow::MoveTwips(int32_t left, int32_t top) {
    // Screen twips follow the system DPI, the unit the screen size is in.
    const UINT dpi = SystemDpi();
    ::SetWindowPos(impl_->hwnd(), nullptr, TwipsToPixels(left, dpi), TwipsToPixels(top, dpi), 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32MainWindow::SetVersionText(const std::string& text) {
    ::SetWindowTextW(impl_->version, Widen(text).c_str());
    impl_->FitLabel(impl_->version, kVersion);
    impl_->RepaintBehind(impl_->version);
}

void Win32MainWindow::SetStatusText(const std::string& text) {
    ::SetWindowTextW(impl_->status, Widen(text).c_str());
    impl_->RepaintBehind(impl_->status);
}

void Win32MainWindow::SetStatusVisible(bool visible) {
    ::ShowWindow(impl_->status, visible ? SW_SHOWNA : SW_HIDE);
    impl_->RepaintBehind(impl_->status);
}

void Win32MainWindow::SetBarValue(int16_t value) {
    if (value < 0 || value > 100) throw err::Make(err::kInvalidPropertyValue);
    ::SendMessageW(impl_->bar, PBM_SETPOS, static_cast<WPARAM>(value), 0);
    impl_->taskbar.SetValue(value);
}

void Win32MainWindow::SetBarVisible(bool visible) {
    ::ShowWindow(impl_->bar, visible ? SW_SHOWNA : SW_HIDE);
    impl_->RepaintBehind(impl_->bar);
    if (!visible) impl_->taskbar.Hide();
}

void Win32MainWindow::SetBarError() {
    ::SendMessageW(impl_->bar, PBM_SETBARCOLOR, 0, RGB(220, 60, 60));
    impl_->taskbar.SetError();
}

bool Win32MainWindow::SilentChecked() {
    return ::SendMessageW(impl_->silent, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32MainWindow::SetStartTimerInterval(uint32_t ms) { startTimerMs_ = ms; }

void Win32MainWindow::SetStartTimerEnabled(bool enabled) {
    if (enabled) {
        impl_->StartTimer(kStartTimer, startTimerMs_);
    } else {
        impl_->StopTimer(kStartTimer);
    }
}

void Win32MainWindow::BeginWindowMove() {
    ::ReleaseCapture();
    ::SendMessageW(impl_->hwnd(), WM_NCLBUTTONDOWN, HTCAPTION, 0);
}

void Win32MainWindow::Close() {
    if (!impl_->hwnd() || impl_->closed()) return;
    impl_->StopTimer(kStartTimer);
    impl_->Close();
}

}  // namespace tav::win32
