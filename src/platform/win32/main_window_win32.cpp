#include "platform/win32/main_window_win32.h"

#include "platform/win32/win.h"

#include <commctrl.h>
#include <objbase.h>
#include <shobjidl.h>
#include <uxtheme.h>
#include <wincodec.h>
#include <windowsx.h>

#include <algorithm>
#include <map>

#include "main_window/frmMain.h"
#include "platform/failure.h"
#include "platform/win32/dpi.h"
#include "platform/win32/handler_scope.h"
#include "platform/win32/runtime_win32.h"
#include "platform/win32/text.h"
#include "platform/win32/unique_handle.h"

namespace tav::win32 {

namespace {

constexpr wchar_t kClassName[] = L"TAVUpdateMainWindow";
constexpr UINT_PTR kStartTimer = 1;
constexpr UINT kStartTimerMs = 10;
constexpr int kArtworkResource = 200;

// Design geometry in twips, as laid out for the panel.
struct Rect {
    int left, top, width, height;
};
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
constexpr int kLabelGap = 60;     // twips between a label and a control
constexpr int kEdgeMargin = 30;   // twips kept free at the window's edge
constexpr int kCheckMarkPixels = 20;  // the box and the space after it, at 96 dpi

constexpr wchar_t kCopyrightText[] = L"Copyright \x00A9 2026 Corvel Systems. All rights reserved.";
constexpr wchar_t kSilentTip[] =
    L"After completing installer download, Run the installer in Slient mode with no prompts.  Only the "
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

int Px(int twips, UINT dpi) { return TwipsToPixels(twips, dpi); }

// Decodes the PNG artwork into a premultiplied 32-bit DIB for AlphaBlend.
HBITMAP LoadArtwork(int& width, int& height) {
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC res = ::FindResourceW(module, MAKEINTRESOURCEW(kArtworkResource), MAKEINTRESOURCEW(10));
    if (!res) return nullptr;
    HGLOBAL mem = ::LoadResource(module, res);
    const auto* bytes = static_cast<const BYTE*>(::LockResource(mem));
    const DWORD size = ::SizeofResource(module, res);
    if (!bytes || size == 0) return nullptr;

    ComPtr<IWICImagingFactory> factory;
    if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_PPV_ARGS(factory.put()))))
        return nullptr;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICFormatConverter> converter;
    if (FAILED(factory->CreateStream(stream.put())) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(bytes), size)) ||
        FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                                decoder.put())) ||
        FAILED(decoder->GetFrame(0, frame.put())) || FAILED(factory->CreateFormatConverter(converter.put())) ||
        FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone,
                                     nullptr, 0.0, WICBitmapPaletteTypeCustom)))
        return nullptr;
    UINT w = 0, h = 0;
    converter->GetSize(&w, &h);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = static_cast<LONG>(w);
    bi.bmiHeader.biHeight = -static_cast<LONG>(h);  // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueGdi bitmap(::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || FAILED(converter->CopyPixels(nullptr, w * 4, w * h * 4, static_cast<BYTE*>(bits))))
        return nullptr;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return static_cast<HBITMAP>(bitmap.release());
}

}  // namespace

struct Win32MainWindow::Impl {
    Win32MainWindow* owner = nullptr;
    frmMain* form = nullptr;
    HWND hwnd = nullptr;
    HWND version = nullptr, name = nullptr, copyright = nullptr, status = nullptr, bar = nullptr,
         silent = nullptr, abort = nullptr, tooltip = nullptr;
    std::map<int, UniqueGdi> fonts;  // by size in hundredths of a point, at dpi
    UniqueGdi artwork;
    // The client area as painted (white + artwork), and a brush of it that
    // transparent controls draw their background with.
    UniqueGdi background;
    UniqueGdi backgroundBrush;
    int artWidth = 0, artHeight = 0;
    UINT dpi = 96;
    ComPtr<ITaskbarList3> taskbar;
    bool closeRequested = false;
    int keyFilter = 0;

    // Runs one of the form's handlers; a close asked for inside it takes
    // effect once no handler of the program is running any more.
    template <class F>
    void Dispatch(F&& handler) {
        if (!form || closeRequested) return;
        const HandlerScope scope;
        try {
            handler();
        } catch (...) {
            // Handlers trap their own failures; nothing may cross the
            // window procedure.
        }
    }

    void Layout() {
        dpi = DpiOf(hwnd);
        RECT rc{0, 0, Px(kClientWidth, dpi), Px(kClientHeight, dpi)};
        ::SetWindowPos(hwnd, nullptr, 0, 0, rc.right, rc.bottom, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        fonts.clear();
        const auto place = [&](HWND child, const Rect& r) {
            ::SetWindowPos(child, nullptr, Px(r.left, dpi), Px(r.top, dpi), Px(r.width, dpi),
                           Px(r.height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
            ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(kDesignFontSize)), TRUE);
        };
        place(abort, kAbort);
        place(status, kStatus);
        place(bar, kBar);
        place(silent, kSilent);
        place(version, kVersion);
        place(name, kName);
        place(copyright, kCopyright);
        FitCheckBox();
        FitLabel(version, kVersion);
        FitLabel(name, kName);
        FitLabel(copyright, kCopyright);
        RenderBackground(rc.right, rc.bottom);
    }

    // Arial at size (hundredths of a point) and the window's own DPI.
    HFONT FontOf(int size) {
        UniqueGdi& font = fonts[size];
        if (!font) {
            font.reset(::CreateFontW(-::MulDiv(size, static_cast<int>(dpi), 7200), 0, 0, 0, FW_NORMAL, FALSE,
                                     FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                     CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Arial"));
        }
        return static_cast<HFONT>(font.get());
    }

    static SIZE TextSize(HWND control, HFONT font) {
        const int n = ::GetWindowTextLengthW(control);
        std::wstring text(static_cast<size_t>(n) + 1, L'\0');
        ::GetWindowTextW(control, text.data(), n + 1);
        SIZE size{};
        const WindowDc dc(control);
        const SelectedObject selected(dc.get(), font);
        ::GetTextExtentPoint32W(dc.get(), text.c_str(), n, &size);
        return size;
    }

    // The largest font size, from the design's down in steps, at which
    // width(font) fits into room; the smallest step when none does.
    template <class Width>
    int FittingFontSize(int room, Width&& width) {
        int size = kDesignFontSize;
        while (size > kSmallestFontSize && width(FontOf(size)) > room) size -= kFontStep;
        return size;
    }

    // The check box's caption shows whole: the box grows to the right up
    // to the window's edge, then to the left, and only then takes a
    // smaller font.
    void FitCheckBox() {
        const int mark = ::MulDiv(kCheckMarkPixels, static_cast<int>(dpi), 96);
        const int right = Px(kClientWidth, dpi) - Px(kEdgeMargin, dpi);
        const int leftmost = Px(kName.left + kName.width, dpi) + Px(kLabelGap, dpi);
        const auto needed = [&](HFONT font) { return static_cast<int>(TextSize(silent, font).cx) + mark; };
        const int size = FittingFontSize(right - leftmost, needed);
        const int width = std::max(Px(kSilent.width, dpi), needed(FontOf(size)));
        const int left = std::max(leftmost, std::min(Px(kSilent.left, dpi), right - width));
        ::SetWindowPos(silent, nullptr, left, Px(kSilent.top, dpi), width, Px(kSilent.height, dpi),
                       SWP_NOZORDER | SWP_NOACTIVATE);
        ::SendMessageW(silent, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(size)), TRUE);
    }

    // The information labels size themselves to their text but never run
    // under the button or the check box beside them: a text that does not
    // fit before them takes a smaller font.
    void FitLabel(HWND label, const Rect& r) {
        const int top = Px(r.top, dpi);
        const int bottom = Px(r.top + r.height, dpi);
        int limit = Px(kClientWidth, dpi) - Px(kEdgeMargin, dpi);
        for (HWND control : {abort, silent}) {
            RECT c;
            ::GetWindowRect(control, &c);
            ::MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&c), 2);
            if (c.top < bottom && c.bottom > top) limit = std::min<int>(limit, c.left - Px(kLabelGap, dpi));
        }
        const int left = Px(r.left, dpi);
        const int size = FittingFontSize(limit - left, [&](HFONT font) { return static_cast<int>(TextSize(label, font).cx) + 2; });
        const SIZE text = TextSize(label, FontOf(size));
        ::SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(size)), TRUE);
        ::SetWindowPos(label, nullptr, left, top, std::min<int>(text.cx + 2, limit - left),
                       std::max<LONG>(text.cy, bottom - top), SWP_NOZORDER | SWP_NOACTIVATE);
    }

    void RenderBackground(int width, int height) {
        const WindowDc screen(hwnd);
        const UniqueMemoryDc mem(::CreateCompatibleDC(screen.get()));
        background.reset(::CreateCompatibleBitmap(screen.get(), width, height));
        {
            const SelectedObject selected(mem.get(), background.get());
            Paint(mem.get());
        }
        backgroundBrush.reset(::CreatePatternBrush(static_cast<HBITMAP>(background.get())));
    }

    // Transparent labels leave their old text on the artwork unless the
    // parent repaints beneath them.
    void RepaintBehind(HWND child) {
        RECT rc;
        ::GetWindowRect(child, &rc);
        ::MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&rc), 2);
        ::RedrawWindow(hwnd, &rc, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    }

    void Paint(HDC dc) {
        RECT client;
        ::GetClientRect(hwnd, &client);
        ::FillRect(dc, &client, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
        if (!artwork) return;
        const UniqueMemoryDc mem(::CreateCompatibleDC(dc));
        const SelectedObject selected(mem.get(), artwork.get());
        BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        ::SetStretchBltMode(dc, HALFTONE);
        ::AlphaBlend(dc, Px(kArtwork.left, dpi), Px(kArtwork.top, dpi), Px(kArtwork.width, dpi),
                     Px(kArtwork.height, dpi), mem.get(), 0, 0, artWidth, artHeight, blend);
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
        const RECT art{Px(kArtwork.left, dpi), Px(kArtwork.top, dpi), Px(kArtwork.left + kArtwork.width, dpi),
                       Px(kArtwork.top + kArtwork.height, dpi)};
        return ::PtInRect(&art, pt) ? "aicAlphaImage1" : "Form";
    }

    void AddTip(HWND control, const wchar_t* text) {
        TTTOOLINFOW ti{};
        ti.cbSize = sizeof ti;
        ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        ti.hwnd = hwnd;
        ti.uId = reinterpret_cast<UINT_PTR>(control);
        ti.lpszText = const_cast<wchar_t*>(text);
        ::SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    }

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK LabelProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                      DWORD_PTR data);
};

LRESULT CALLBACK Win32MainWindow::Impl::LabelProc(HWND label, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                                  DWORD_PTR data) {
    auto* self = reinterpret_cast<Impl*>(data);
    switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_XBUTTONDOWN: {
        const std::string control = self->ControlAt(label);
        self->Dispatch([&] { self->form->MouseDown(control); });
        return 0;
    }
    case WM_NCHITTEST:
        // Statics are transparent to the mouse unless they say otherwise.
        return HTCLIENT;
    default:
        return ::DefSubclassProc(label, msg, wParam, lParam);
    }
}

LRESULT CALLBACK Win32MainWindow::Impl::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Impl*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        self = static_cast<Impl*>(cs->lpCreateParams);
        self->hwnd = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    if (!self) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    switch (msg) {
    case WM_ERASEBKGND:
        return 1;  // painted whole in WM_PAINT, without flicker
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(hwnd, &ps);
        RECT rc;
        ::GetClientRect(hwnd, &rc);
        ::FillRect(dc, &rc, self->backgroundBrush ? static_cast<HBRUSH>(self->backgroundBrush.get())
                                                  : static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
        ::EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        // White text on the artwork: the control's background is the
        // window's own picture, aligned to where the control sits.
        HDC dc = reinterpret_cast<HDC>(wParam);
        HWND control = reinterpret_cast<HWND>(lParam);
        ::SetTextColor(dc, RGB(255, 255, 255));
        ::SetBkMode(dc, TRANSPARENT);
        POINT origin{0, 0};
        ::MapWindowPoints(control, hwnd, &origin, 1);
        ::SetBrushOrgEx(dc, -origin.x, -origin.y, nullptr);
        return reinterpret_cast<LRESULT>(self->backgroundBrush ? self->backgroundBrush.get()
                                                               : ::GetStockObject(WHITE_BRUSH));
    }
    case WM_TIMER:
        if (wParam == kStartTimer) self->Dispatch([&] { self->form->TimerBeginUpdate_Timer(); });
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == kIdAbort && (HIWORD(wParam) == BN_CLICKED || lParam == 0))
            self->Dispatch([&] { self->form->cmdAbort_Click(); });
        return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_XBUTTONDOWN: {
        const std::string place = self->PlaceOf(lParam);
        self->Dispatch([&] { self->form->MouseDown(place); });
        return 0;
    }
    case WM_CLOSE:
        // Alt+F4 and the taskbar's close mean Abort.
        self->Dispatch([&] { self->form->cmdAbort_Click(); });
        return 0;
    case WM_DPICHANGED: {
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        ::SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        self->Layout();
        ::InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    }
    case WM_DESTROY:
        ::KillTimer(hwnd, kStartTimer);
        if (self->form) {
            frmMain* form = self->form;
            self->form = nullptr;
            const HandlerScope scope;
            try {
                form->Form_Unload();
            } catch (...) {
            }
        }
        self->taskbar.reset();
        self->hwnd = nullptr;
        RemoveMessageFilter(self->keyFilter);
        WindowClosed();
        return 0;
    default:
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

Win32MainWindow::Win32MainWindow() : impl_(std::make_unique<Impl>()) { impl_->owner = this; }

Win32MainWindow::~Win32MainWindow() {
    if (impl_->hwnd) ::DestroyWindow(impl_->hwnd);
}

bool Win32MainWindow::Create(frmMain& form) {
    Impl& w = *impl_;
    w.form = &form;
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&icc);

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = Impl::WindowProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kClassName;
    ::RegisterClassExW(&wc);

    // A taskbar button of its own: the window has no title bar to find it by.
    if (!::CreateWindowExW(WS_EX_APPWINDOW | WS_EX_CONTROLPARENT, kClassName, L"TAV Update Manager",
                           WS_POPUP | WS_CLIPCHILDREN, 0, 0, 400, 200, nullptr, nullptr, instance, &w))
        return false;
    WindowOpened();

    const auto child = [&](const wchar_t* cls, const wchar_t* text, DWORD style, int id) {
        return ::CreateWindowExW(0, cls, text, WS_CHILD | style, 0, 0, 10, 10, w.hwnd,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    };
    // Creation order is the tab order: Abort first.
    w.abort = child(L"BUTTON", L"Abort", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kIdAbort);
    w.version = child(L"STATIC", L"Version", WS_VISIBLE | SS_LEFT | SS_NOPREFIX, kIdVersion);
    w.name = child(L"STATIC", L"TAV Update Manager", WS_VISIBLE | SS_LEFT | SS_NOPREFIX, kIdName);
    w.copyright = child(L"STATIC", kCopyrightText, WS_VISIBLE | SS_LEFT | SS_NOPREFIX, kIdCopyright);
    w.status = child(L"STATIC", L"Initializing...", SS_CENTER | SS_NOPREFIX | SS_ENDELLIPSIS, kIdStatus);
    w.bar = child(PROGRESS_CLASSW, L"", PBS_SMOOTH, kIdBar);
    w.silent = child(L"BUTTON", L"Silent Installation", WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, kIdSilent);
    ::SendMessageW(w.bar, PBM_SETRANGE32, 0, 100);
    // Themed check boxes ignore the text colour: plain drawing keeps the
    // caption white and readable on the dark artwork.
    ::SetWindowTheme(w.silent, L"", L"");
    ::SetWindowTheme(w.bar, L"", L"");
    ::SendMessageW(w.bar, PBM_SETBARCOLOR, 0, RGB(70, 160, 255));
    ::SendMessageW(w.bar, PBM_SETBKCOLOR, 0, RGB(4, 18, 51));
    for (HWND label : {w.version, w.name, w.copyright, w.status})
        ::SetWindowSubclass(label, Impl::LabelProc, 1, reinterpret_cast<DWORD_PTR>(&w));

    w.tooltip = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, w.hwnd, nullptr,
                                  instance, nullptr);
    ::SendMessageW(w.tooltip, TTM_SETMAXTIPWIDTH, 0, 360);
    w.AddTip(w.silent, kSilentTip);
    w.AddTip(w.abort, kAbortTip);

    w.artwork.reset(LoadArtwork(w.artWidth, w.artHeight));
    w.Layout();
    if (FAILED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_PPV_ARGS(w.taskbar.put()))) ||
        FAILED(w.taskbar->HrInit())) {
        w.taskbar.reset();
    }
    // Keyboard: Tab moves between the controls, Escape presses Abort.
    w.keyFilter = AddMessageFilter([&w](MSG& msg) {
        HWND h = w.hwnd;
        return h && (msg.hwnd == h || ::IsChild(h, msg.hwnd)) && ::IsDialogMessageW(h, &msg);
    });
    return true;
}

void Win32MainWindow::Show() {
    if (impl_->hwnd && !impl_->closeRequested) {
        ::ShowWindow(impl_->hwnd, SW_SHOWNORMAL);
        ::UpdateWindow(impl_->hwnd);
    }
}

uintptr_t Win32MainWindow::Handle() { return reinterpret_cast<uintptr_t>(impl_->hwnd); }
int32_t Win32MainWindow::WidthTwips() { return kClientWidth; }
int32_t Win32MainWindow::HeightTwips() { return kClientHeight; }

void Win32MainWindow::MoveTwips(int32_t left, int32_t top) {
    // Screen twips follow the system DPI, the unit the screen size is in.
    const UINT dpi = SystemDpi();
    ::SetWindowPos(impl_->hwnd, nullptr, Px(left, dpi), Px(top, dpi), 0, 0,
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
    if (impl_->taskbar) {
        impl_->taskbar->SetProgressState(impl_->hwnd, TBPF_NORMAL);
        impl_->taskbar->SetProgressValue(impl_->hwnd, static_cast<ULONGLONG>(value), 100);
    }
}

void Win32MainWindow::SetBarVisible(bool visible) {
    ::ShowWindow(impl_->bar, visible ? SW_SHOWNA : SW_HIDE);
    impl_->RepaintBehind(impl_->bar);
    if (!visible && impl_->taskbar) impl_->taskbar->SetProgressState(impl_->hwnd, TBPF_NOPROGRESS);
}

void Win32MainWindow::SetBarError() {
    ::SendMessageW(impl_->bar, PBM_SETBARCOLOR, 0, RGB(220, 60, 60));
    if (impl_->taskbar) impl_->taskbar->SetProgressState(impl_->hwnd, TBPF_ERROR);
}

bool Win32MainWindow::SilentChecked() {
    return ::SendMessageW(impl_->silent, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32MainWindow::SetStartTimerEnabled(bool enabled) {
    if (enabled) {
        ::SetTimer(impl_->hwnd, kStartTimer, kStartTimerMs, nullptr);
    } else {
        ::KillTimer(impl_->hwnd, kStartTimer);
    }
}

void Win32MainWindow::BeginWindowMove() {
    ::ReleaseCapture();
    ::SendMessageW(impl_->hwnd, WM_NCLBUTTONDOWN, HTCAPTION, 0);
}

void Win32MainWindow::Close() {
    Impl& w = *impl_;
    if (!w.hwnd || w.closeRequested) return;
    w.closeRequested = true;
    ::KillTimer(w.hwnd, kStartTimer);
    ::ShowWindow(w.hwnd, SW_HIDE);
    DestroyWhenNoHandlerRuns([hwnd = w.hwnd] {
        if (::IsWindow(hwnd)) ::DestroyWindow(hwnd);
    });
}

}  // namespace tav::win32
