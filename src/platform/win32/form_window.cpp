#include "platform/win32/form_window.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "platform/win32/handler_scope.h"
#include "platform/win32/runtime_win32.h"
#include "platform/win32/text.h"

namespace tav::win32 {

namespace {

constexpr wchar_t kPaneClass[] = L"TAVPane";
// Posted by a form let go of while its window lived: destroys the window
// from the message loop.
constexpr UINT kDestroyMessage = WM_APP + 0x3A0;

// Every class a form was made with, registered once with FormProc.
std::vector<ATOM>& FormAtoms() {
    static std::vector<ATOM> atoms;
    return atoms;
}

bool IsPushButton(HWND h) {
    wchar_t cls[16] = {};
    if (!::GetClassNameW(h, cls, 16) || ::lstrcmpiW(cls, L"Button") != 0) return false;
    const LONG type = ::GetWindowLongW(h, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON || type == BS_OWNERDRAW;
}

bool Usable(HWND h) { return h && ::IsWindowVisible(h) && ::IsWindowEnabled(h); }

struct ModalDisable {
    HWND modal;
    std::vector<HWND>* disabled;
};

BOOL CALLBACK DisableOther(HWND w, LPARAM p) {
    auto* m = reinterpret_cast<ModalDisable*>(p);
    if (w != m->modal && ::IsWindowVisible(w) && ::IsWindowEnabled(w)) {
        ::EnableWindow(w, FALSE);
        m->disabled->push_back(w);
    }
    return TRUE;
}

}  // namespace

void FillVerticalGradient(HDC dc, const RECT& rect, COLORREF top, COLORREF bottom) {
    TRIVERTEX v[2] = {};
    v[0].x = rect.left;
    v[0].y = rect.top;
    v[0].Red = static_cast<COLOR16>(GetRValue(top) << 8);
    v[0].Green = static_cast<COLOR16>(GetGValue(top) << 8);
    v[0].Blue = static_cast<COLOR16>(GetBValue(top) << 8);
    v[1].x = rect.right;
    v[1].y = rect.bottom;
    v[1].Red = static_cast<COLOR16>(GetRValue(bottom) << 8);
    v[1].Green = static_cast<COLOR16>(GetGValue(bottom) << 8);
    v[1].Blue = static_cast<COLOR16>(GetBValue(bottom) << 8);
    GRADIENT_RECT r{0, 1};
    ::GradientFill(dc, v, 2, &r, 1, GRADIENT_FILL_RECT_V);
}

// ----------------------------------------------------------------- life

FormWindow::FormWindow() = default;

FormWindow::~FormWindow() {
    EndModal();
    if (HWND h = std::exchange(hwnd_, nullptr)) {
        // A handler of a child control may still be on the stack (the
        // last owner let go inside a click): only the loop may destroy.
        ::SetWindowLongPtrW(h, GWLP_USERDATA, 0);
        ::ShowWindow(h, SW_HIDE);
        ::PostMessageW(h, kDestroyMessage, 0, 0);
    }
    if (counted_) WindowClosed();
}

FormWindow* FormWindow::FromHwnd(HWND hwnd) {
    if (!hwnd) return nullptr;
    const auto atom = static_cast<ATOM>(::GetClassLongPtrW(hwnd, GCW_ATOM));
    const auto& atoms = FormAtoms();
    if (std::find(atoms.begin(), atoms.end(), atom) == atoms.end()) return nullptr;
    return reinterpret_cast<FormWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

bool FormWindow::Register(const wchar_t* className) {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (::GetClassInfoExW(instance, className, &existing)) return existing.lpfnWndProc == FormProc;
    const auto registerClass = [instance](const wchar_t* name, WNDPROC proc) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.style = CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = proc;
        wc.hInstance = instance;
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = name;
        return ::RegisterClassExW(&wc);
    };
    if (FormAtoms().empty()) {
        registerClass(kPaneClass, PaneProc);
        // Every loop that offers its messages to the filter gets the
        // forms' keyboard navigation.
        AddMessageFilter(&FormWindow::KeyFilter);
    }
    const ATOM atom = registerClass(className, FormProc);
    if (atom) FormAtoms().push_back(atom);
    return atom != 0;
}

bool FormWindow::Create(const FormDesign& design) {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    if (!Register(design.className)) return false;

    background_ = design.background;
    backgroundBrush_.reset(::CreateSolidBrush(background_));
    dpi_ = SystemDpi();
    ::CreateWindowExW(design.exStyle, design.className, design.caption.c_str(),
                      design.style & ~WS_VISIBLE, 0, 0, 0, 0,
                      design.messageOnly ? HWND_MESSAGE : nullptr, nullptr, instance, this);
    if (!hwnd_) return false;
    if (design.messageOnly) return true;
    if (design.countsForProcess) {
        counted_ = true;
        WindowOpened();
    }
    // Placed first at the system DPI; the monitor it lands on may differ.
    for (int pass = 0; pass < 2; ++pass) {
        RECT r{0, 0, Px(design.screenRect.width), Px(design.screenRect.height)};
        AdjustWindowRectForDpi(r, design.style, design.exStyle, dpi_);
        ::SetWindowPos(hwnd_, nullptr, Px(design.screenRect.left), Px(design.screenRect.top),
                       r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
        const UINT now = DpiOf(hwnd_);
        if (now == dpi_) break;
        dpi_ = now;
    }
    return true;
}

HWND FormWindow::AddControl(const ControlDesign& design) {
    HWND parent = design.parent ? design.parent : hwnd_;
    HWND h = ::CreateWindowExW(design.exStyle, design.className, design.text.c_str(),
                               design.style | WS_CHILD | WS_CLIPSIBLINGS, 0, 0, 0, 0, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(design.id)),
                               ::GetModuleHandleW(nullptr), nullptr);
    if (!h) return nullptr;
    controls_[h] = Control{design.rect, design.font, design.autoSize, design.textColor, true};
    order_.push_back(h);
    Layout(h);
    return h;
}

HWND FormWindow::AddPane(const TwipsRect& rect, HWND parent) {
    HWND h =
        ::CreateWindowExW(WS_EX_CONTROLPARENT, kPaneClass, L"",
                          WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, 0, 0,
                          parent ? parent : hwnd_, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (!h) return nullptr;
    controls_[h] = Control{rect, FontDesign{}, AutoSize::None, CLR_INVALID, false};
    order_.push_back(h);
    Layout(h);
    return h;
}

void FormWindow::RouteMessages(HWND control) {
    auto it = controls_.find(control);
    if (it == controls_.end() || it->second.routed) return;
    it->second.routed = ::SetWindowSubclass(control, ControlProc, 0, 0) != 0;
}

bool FormWindow::Routed(HWND control) const {
    auto it = controls_.find(control);
    return it != controls_.end() && it->second.routed;
}

// ------------------------------------------------------------- geometry

RECT FormWindow::OuterTwips() const {
    RECT r{};
    ::GetWindowRect(hwnd_, &r);
    return RECT{PixelsToTwips(r.left, dpi_), PixelsToTwips(r.top, dpi_),
                PixelsToTwips(r.right - r.left, dpi_), PixelsToTwips(r.bottom - r.top, dpi_)};
}

void FormWindow::MoveOuterTwips(const int32_t* left, const int32_t* top, const int32_t* width,
                                const int32_t* height) {
    RECT r{};
    ::GetWindowRect(hwnd_, &r);
    const int x = left ? Px(*left) : r.left;
    const int y = top ? Px(*top) : r.top;
    const int cx = width ? Px(*width) : r.right - r.left;
    const int cy = height ? Px(*height) : r.bottom - r.top;
    ::SetWindowPos(hwnd_, nullptr, x, y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

TwipsRect FormWindow::ControlRect(HWND control) const {
    auto it = controls_.find(control);
    return it == controls_.end() ? TwipsRect{} : it->second.rect;
}

void FormWindow::SetControlRect(HWND control, const TwipsRect& rect) {
    auto it = controls_.find(control);
    if (it == controls_.end()) return;
    it->second.rect = rect;
    Layout(control);
}

void FormWindow::SetControlText(HWND control, const std::string& utf8) {
    ::SetWindowTextW(control, Widen(utf8).c_str());
    if (auto it = controls_.find(control);
        it != controls_.end() && it->second.autoSize != AutoSize::None) {
        Layout(control);
    }
}

std::string FormWindow::ControlText(HWND control) const { return Narrow(WindowText(control)); }

HFONT FormWindow::Font(const FontDesign& design) {
    const std::wstring key = design.face + L"|" + std::to_wstring(design.points) + L"|" +
                             (design.bold ? L"b" : L"") + L"|" + std::to_wstring(dpi_);
    UniqueGdi& font = fonts_[key];
    if (!font) {
        LOGFONTW lf{};
        lf.lfHeight = -PointsToPixels(design.points, dpi_);
        lf.lfWeight = design.bold ? FW_BOLD : FW_NORMAL;
        lf.lfCharSet = DEFAULT_CHARSET;
        lf.lfQuality = CLEARTYPE_QUALITY;
        ::lstrcpynW(lf.lfFaceName, design.face.c_str(), LF_FACESIZE);
        font.reset(::CreateFontIndirectW(&lf));
    }
    return static_cast<HFONT>(font.get());
}

void FormWindow::Layout(HWND control) {
    const Control& c = controls_.at(control);
    int width = Px(c.rect.width);
    int height = Px(c.rect.height);
    if (c.hasFont) {
        HFONT font = Font(c.font);
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if (c.autoSize != AutoSize::None) {
            const std::wstring text = WindowText(control);
            const WindowDc dc(control);
            const SelectedObject selected(dc.get(), font);
            RECT r{0, 0, width, 0};
            UINT flags = DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS;
            // Measured as a label that wraps draws (SS_LEFT, SS_EDITCONTROL):
            // a word too wide for one line is broken, not cut off.
            if (c.autoSize == AutoSize::Height) flags |= DT_WORDBREAK | DT_EDITCONTROL;
            ::DrawTextW(dc.get(), text.empty() ? L" " : text.c_str(), -1, &r, flags);
            if (c.autoSize == AutoSize::WidthAndHeight) width = r.right - r.left;
            height = r.bottom - r.top;
        }
    }
    ::SetWindowPos(control, nullptr, Px(c.rect.left), Px(c.rect.top), width, height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    ::InvalidateRect(control, nullptr, TRUE);
}

void FormWindow::LayoutAll() {
    for (HWND h : order_) Layout(h);
}

// --------------------------------------------------------------- timers

void FormWindow::StartTimer(UINT_PTR id, UINT ms) {
    if (hwnd_ && !closed_) ::SetTimer(hwnd_, id, ms, nullptr);
}

void FormWindow::StopTimer(UINT_PTR id) {
    if (hwnd_) ::KillTimer(hwnd_, id);
}

// ------------------------------------------------------ modal and close

void FormWindow::RunModal() {
    if (!hwnd_ || closed_) return;
    // The last owner may let go while the loop runs (a button unloads).
    const std::shared_ptr<FormWindow> keep = shared_from_this();
    modal_ = true;
    ModalDisable disable{hwnd_, &disabledByModal_};
    ::EnumThreadWindows(::GetCurrentThreadId(), DisableOther, reinterpret_cast<LPARAM>(&disable));
    ::ShowWindow(hwnd_, SW_SHOWNORMAL);
    ::SetForegroundWindow(hwnd_);
    ::UpdateWindow(hwnd_);
    MSG msg;
    while (!closed_) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            Close();
            break;
        }
        if (got == -1) {
            Close();
            break;
        }
        DeliverMessage(msg);
    }
    EndModal();
}

void FormWindow::EndModal() {
    if (!modal_) return;
    modal_ = false;
    for (HWND w : disabledByModal_) {
        if (::IsWindow(w)) ::EnableWindow(w, TRUE);
    }
    disabledByModal_.clear();
}

void FormWindow::Close() {
    if (!hwnd_ || closed_) return;
    closed_ = true;
    // A click sent from another thread runs inside the modal loop's
    // GetMessage, which would wait on: wake it to see the window closed.
    if (modal_) ::PostThreadMessageW(::GetCurrentThreadId(), WM_NULL, 0, 0);
    // Enabled again before hiding, so activation returns to them.
    EndModal();
    ::ShowWindow(hwnd_, SW_HIDE);
    DestroyWhenNoHandlerRuns([weak = weak_from_this()] {
        if (const auto self = weak.lock()) self->DestroyNow();
    });
}

void FormWindow::DestroyNow() {
    if (!hwnd_) return;
    {
        const HandlerScope scope;
        try {
            OnDestroy();
        } catch (...) {
            // The window goes whatever its last handler met.
        }
    }
    HWND h = std::exchange(hwnd_, nullptr);
    ::SetWindowLongPtrW(h, GWLP_USERDATA, 0);
    ::DestroyWindow(h);
    controls_.clear();
    order_.clear();
    if (counted_) {
        counted_ = false;
        WindowClosed();
    }
}

// ------------------------------------------------------------- messages

LRESULT CALLBACK FormWindow::FormProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    FormWindow* self = nullptr;
    if (msg == WM_NCCREATE) {
        self = static_cast<FormWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->hwnd_ = hwnd;
    } else {
        self = FromHwnd(hwnd);
    }
    if (!self) {
        if (msg == kDestroyMessage) {
            ::DestroyWindow(hwnd);
            return 0;
        }
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    return self->Dispatch(nullptr, msg, wParam, lParam);
}

LRESULT CALLBACK FormWindow::PaneProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    FormWindow* form = FromHwnd(::GetAncestor(hwnd, GA_ROOT));
    if (!form) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    return form->Dispatch(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK FormWindow::ControlProc(HWND control, UINT msg, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR) {
    if (msg == WM_NCDESTROY) ::RemoveWindowSubclass(control, ControlProc, id);
    FormWindow* form = msg == WM_NCDESTROY ? nullptr : FromHwnd(::GetAncestor(control, GA_ROOT));
    if (!form || !form->Routed(control)) return ::DefSubclassProc(control, msg, wParam, lParam);
    return form->Dispatch(control, msg, wParam, lParam);
}

LRESULT FormWindow::Dispatch(HWND from, UINT msg, WPARAM wParam, LPARAM lParam) {
    // Declared first, so the form outlives a destroy that the scope's end runs.
    const std::shared_ptr<FormWindow> keep = weak_from_this().lock();
    if (!keep) {
        if (Routed(from)) return ::DefSubclassProc(from, msg, wParam, lParam);
        return ::DefWindowProcW(from ? from : hwnd_, msg, wParam, lParam);
    }
    const HandlerScope scope;
    try {
        return Handle(from, msg, wParam, lParam);
    } catch (...) {
        // Nothing leaves a window procedure.
        return 0;
    }
}

LRESULT FormWindow::Handle(HWND pane, UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (pane && Routed(pane)) {
        // A control keeps its own behaviour for what the form leaves alone.
        if (OnMessage(pane, msg, wParam, lParam, result)) return result;
        return ::DefSubclassProc(pane, msg, wParam, lParam);
    }
    if (!pane && msg == kDestroyMessage) {
        // Posted by a form that was let go of; this dispatch counts as
        // a handler, so the destroy runs once it and any outer one return.
        DestroyWhenNoHandlerRuns([weak = weak_from_this()] {
            if (const auto self = weak.lock()) self->DestroyNow();
        });
        return 0;
    }
    if (closed_ && IgnoredWhenClosed(pane, msg, wParam)) return 0;
    if (OnMessage(pane, msg, wParam, lParam, result)) return result;
    if (HandleDrawing(pane, msg, wParam, lParam, result)) return result;
    if (pane) return ::DefWindowProcW(pane, msg, wParam, lParam);
    if (HandleFormMessage(msg, wParam, lParam)) return 0;
    return ::DefWindowProcW(hwnd_, msg, wParam, lParam);
}

bool FormWindow::IgnoredWhenClosed(HWND pane, UINT msg, WPARAM wParam) {
    // A closed window takes no more commands, ticks or close requests.
    switch (msg) {
        case WM_TIMER:
            if (!pane) ::KillTimer(hwnd_, wParam);
            return true;
        case WM_COMMAND:
        case WM_CLOSE:
        case WM_SYSCOMMAND:
        case WM_ACTIVATE:
            return true;
        default:
            return false;
    }
}

bool FormWindow::HandleDrawing(HWND pane, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (msg) {
        case WM_ERASEBKGND:
            if (!pane) {
                RECT rc;
                ::GetClientRect(hwnd_, &rc);
                ::FillRect(reinterpret_cast<HDC>(wParam), &rc,
                           static_cast<HBRUSH>(backgroundBrush_.get()));
            }
            result = 1;  // panes paint everything in WM_PAINT
            return true;
        case WM_PAINT: {
            HWND target = pane ? pane : hwnd_;
            const PaintDc dc(target);
            RECT rc;
            ::GetClientRect(target, &rc);
            if (pane) {
                OnPaintPane(pane, dc.get(), rc);
            } else {
                OnPaint(dc.get(), rc);
            }
            result = 0;
            return true;
        }
        case WM_CTLCOLORSTATIC: {
            HDC dc = reinterpret_cast<HDC>(wParam);
            auto it = controls_.find(reinterpret_cast<HWND>(lParam));
            ::SetBkColor(dc, background_);
            ::SetTextColor(dc, it != controls_.end() && it->second.textColor != CLR_INVALID
                                   ? it->second.textColor
                                   : ::GetSysColor(COLOR_WINDOWTEXT));
            result = reinterpret_cast<LRESULT>(backgroundBrush_.get());
            return true;
        }
        case DM_GETDEFID:
            if (pane || !defaultButton_) return false;
            result = MAKELRESULT(::GetDlgCtrlID(defaultButton_), DC_HASDEFID);
            return true;
        default:
            return false;
    }
}

bool FormWindow::HandleFormMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_TIMER:
            OnTimer(wParam);
            return true;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) != SC_CLOSE) return false;
            OnSystemClose();
            return true;
        case WM_CLOSE:
            OnSystemClose();
            return true;
        case WM_ACTIVATE:
            Activated(LOWORD(wParam) != WA_INACTIVE);
            return true;
        case WM_DPICHANGED:
            DpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return true;
        default:
            return false;
    }
}

void FormWindow::Activated(bool active) {
    if (!active) {
        HWND focus = ::GetFocus();
        if (focus && ::IsChild(hwnd_, focus)) lastFocus_ = focus;
        return;
    }
    HWND focus = lastFocus_ && Usable(lastFocus_) ? lastFocus_ : InitialFocus();
    ::SetFocus(focus ? focus : hwnd_);
    OnActivate();
}

void FormWindow::DpiChanged(UINT dpi, const RECT& suggested) {
    dpi_ = dpi;
    ::SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    LayoutAll();
    OnDpiChanged();
    ::InvalidateRect(hwnd_, nullptr, TRUE);
}

bool FormWindow::OnMessage(HWND, UINT, WPARAM, LPARAM, LRESULT&) { return false; }
void FormWindow::OnPaint(HDC, const RECT&) {}
void FormWindow::OnPaintPane(HWND, HDC, const RECT&) {}
void FormWindow::OnTimer(UINT_PTR) {}
void FormWindow::OnSystemClose() { Close(); }
void FormWindow::OnActivate() {}
void FormWindow::OnDpiChanged() {}
void FormWindow::OnDestroy() {}

HWND FormWindow::InitialFocus() {
    if (Usable(defaultButton_)) return defaultButton_;
    const std::vector<HWND> stops = TabStops();
    return stops.empty() ? nullptr : stops.front();
}

// ------------------------------------------------------------- keyboard

std::vector<HWND> FormWindow::TabStops() const {
    std::vector<HWND> stops;
    for (HWND h : order_) {
        if ((::GetWindowLongW(h, GWL_STYLE) & WS_TABSTOP) && Usable(h)) stops.push_back(h);
    }
    return stops;
}

bool FormWindow::KeyFilter(MSG& msg) {
    if (msg.message != WM_KEYDOWN || !msg.hwnd) return false;
    FormWindow* form = FromHwnd(::GetAncestor(msg.hwnd, GA_ROOT));
    if (!form || form->closed_) return false;
    const std::shared_ptr<FormWindow> keep = form->weak_from_this().lock();
    return keep && form->HandleKey(msg);
}

bool FormWindow::HandleKey(const MSG& msg) {
    const bool shift = ::GetKeyState(VK_SHIFT) < 0;
    const bool ctrl = ::GetKeyState(VK_CONTROL) < 0;
    HWND focus = ::GetFocus();
    const auto move = [&](bool buttonsOnly, int step) {
        std::vector<HWND> stops = TabStops();
        if (buttonsOnly) std::erase_if(stops, [](HWND h) { return !IsPushButton(h); });
        if (stops.empty()) return;
        auto it = std::find(stops.begin(), stops.end(), focus);
        const ptrdiff_t n = static_cast<ptrdiff_t>(stops.size());
        const ptrdiff_t at = it == stops.end() ? (step > 0 ? -1 : 0) : it - stops.begin();
        ::SetFocus(stops[static_cast<size_t>(((at + step) % n + n) % n)]);
    };
    switch (msg.wParam) {
        case VK_TAB:
            if (ctrl) return false;
            move(false, shift ? -1 : 1);
            return true;
        case VK_LEFT:
        case VK_UP:
        case VK_RIGHT:
        case VK_DOWN:
            if (!focus || !IsPushButton(focus)) return false;
            move(true, msg.wParam == VK_LEFT || msg.wParam == VK_UP ? -1 : 1);
            return true;
        case VK_RETURN: {
            HWND target = focus && IsPushButton(focus) && Usable(focus) ? focus : nullptr;
            if (!target && Usable(defaultButton_)) target = defaultButton_;
            if (target) ::SendMessageW(target, BM_CLICK, 0, 0);
            return true;
        }
        case VK_ESCAPE:
            ::SendMessageW(hwnd_, WM_SYSCOMMAND, SC_CLOSE, 0);
            return true;
        default:
            return false;
    }
}

}  // namespace tav::win32
