#include "platform/win32/dialog_view_win32.h"

#include <commctrl.h>

#include <algorithm>

#include "core/failure.h"
#include "platform/win32/runtime_win32.h"
#include "platform/win32/text.h"

namespace tav::win32 {

namespace {

constexpr UINT_PTR kCountdownTimer = 1;
constexpr int32_t kControlArrayMissing = 340;
constexpr int32_t kResourceNotFound = 326;
constexpr COLORREF kHeadlineColour = 0x008B3206;
constexpr COLORREF kLineColour = 0x00C0C0C0;

// The design, client twips.
constexpr TwipsRect kDialogRect{2760, 3750, 5250, 1845};
constexpr TwipsRect kPictureRect{120, 120, 480, 480};
constexpr TwipsRect kBarRect{-30, 1260, 5355, 735};
constexpr TwipsRect kMessageRect{780, 210, 4260, 300};
constexpr TwipsRect kContentRect{210, 750, 4890, 8000};
constexpr std::array<TwipsRect, kDialogButtonSlots> kSlotRects{{
    {4140, 120, 1005, 345},
    {3030, 120, 1005, 345},
    {1920, 120, 1005, 345},
}};
constexpr int32_t kLineX2 = 6000;
// How far inside a styled button its focus frame runs, pixels at 96 dpi.
constexpr int kFocusInsetPixels = 4;

Failure ResourceMissing(const std::string& name) {
    return Failure(kResourceNotFound, "Resource with identifier '" + name + "' not found");
}

// A solid pen selected into a device context for the guard's life.
class Pen {
public:
    Pen(HDC dc, COLORREF colour, int width = 1)
        : pen_(::CreatePen(PS_SOLID, width, colour)), selected_(dc, pen_.get()) {}

private:
    UniqueGdi pen_;  // declared first: deleted after the old pen is back
    SelectedObject selected_;
};

}  // namespace

// ------------------------------------------------------------------ icon

Win32IconImage::Win32IconImage(HMODULE module, int id) : module_(module), id_(id) {
    if (!::FindResourceW(module, MAKEINTRESOURCEW(id), RT_GROUP_ICON)) {
        throw ResourceMissing(std::to_string(id));
    }
}

void Win32IconImage::Draw(uintptr_t surface, int32_t x, int32_t y, int32_t width, int32_t height,
                          int32_t) {
    HDC dc = reinterpret_cast<HDC>(surface);
    if (!dc) throw err::Make(err::kObjectNotSet);
    // The surface may scale its units; the icon is loaded at the device
    // size so it stays sharp on screens above 96 dpi.
    POINT corners[2] = {{x, y}, {x + width, y + height}};
    ::LPtoDP(dc, corners, 2);
    const int cx = corners[1].x - corners[0].x;
    const int cy = corners[1].y - corners[0].y;
    const UniqueIcon icon(static_cast<HICON>(
        ::LoadImageW(module_, MAKEINTRESOURCEW(id_), IMAGE_ICON, cx, cy, LR_DEFAULTCOLOR)));
    if (!icon) throw ResourceMissing(std::to_string(id_));
    const SavedDc saved(dc);
    ::SetMapMode(dc, MM_TEXT);
    ::SetWindowOrgEx(dc, 0, 0, nullptr);
    ::SetViewportOrgEx(dc, 0, 0, nullptr);
    ::DrawIconEx(dc, corners[0].x, corners[0].y, icon.get(), cx, cy, 0, nullptr, DI_NORMAL);
}

// ----------------------------------------------------------------- build

Win32DialogView::Win32DialogView(DialogEvents& events) : events_(events) {}

bool Win32DialogView::Build() {
    FormDesign form;
    form.caption = L"TAV";
    form.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    // No owner: in the taskbar, so a user who switched away finds it.
    form.exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT | WS_EX_APPWINDOW;
    form.screenRect = kDialogRect;
    form.background = RGB(255, 255, 255);
    if (!Create(form)) return false;

    ControlDesign picture;
    picture.style = SS_OWNERDRAW;
    picture.id = kPictureCustomId;
    picture.rect = kPictureRect;
    picture_ = AddControl(picture);

    ControlDesign message;
    message.style = WS_VISIBLE | SS_LEFT | SS_NOPREFIX;
    message.id = kLabelMessageId;
    message.rect = kMessageRect;
    message.font = FontDesign{L"MS Sans Serif", 12, true};
    message.autoSize = AutoSize::WidthAndHeight;
    message.textColor = kHeadlineColour;
    message_ = AddControl(message);

    ControlDesign content;
    content.style = kContentStyle;
    content.id = kLabelContentId;
    content.rect = kContentRect;
    content.autoSize = AutoSize::Height;
    content_ = AddControl(content);

    bar_ = AddPane(kBarRect);
    if (bar_) ::SetWindowLongPtrW(bar_, GWLP_ID, kButtonBarId);
    // Left to right, so Tab walks the buttons as they are seen.
    for (int16_t slot = kDialogButtonSlots - 1; slot >= 0; --slot) {
        ControlDesign button;
        button.className = L"BUTTON";
        button.style = BS_PUSHBUTTON | WS_TABSTOP;
        button.id = kFirstOptionId + slot;
        button.rect = kSlotRects[static_cast<size_t>(slot)];
        button.parent = bar_;
        buttons_[static_cast<size_t>(slot)] = AddControl(button);
    }
    // The bar covers a body text that runs into it, as it always did.
    ::SetWindowPos(bar_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return picture_ && message_ && content_ && bar_ && buttons_[0] && buttons_[1] && buttons_[2];
}

// -------------------------------------------------------------- geometry

int32_t Win32DialogView::Left() { return OuterTwips().left; }
int32_t Win32DialogView::Top() { return OuterTwips().top; }
int32_t Win32DialogView::Width() { return OuterTwips().right; }
int32_t Win32DialogView::Height() { return OuterTwips().bottom; }
void Win32DialogView::SetLeft(int32_t twips) { MoveOuterTwips(&twips, nullptr, nullptr, nullptr); }
void Win32DialogView::SetTop(int32_t twips) { MoveOuterTwips(nullptr, &twips, nullptr, nullptr); }
void Win32DialogView::SetHeight(int32_t twips) {
    MoveOuterTwips(nullptr, nullptr, nullptr, &twips);
}

std::string Win32DialogView::Caption() { return ControlText(hwnd()); }

void Win32DialogView::SetCaption(const std::string& text) {
    ::SetWindowTextW(hwnd(), Widen(text).c_str());
}

void Win32DialogView::Refresh() {
    ::RedrawWindow(hwnd(), nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

int32_t Win32DialogView::PanelTop() { return ControlRect(bar_).top; }

void Win32DialogView::SetPanelTop(int32_t twips) {
    TwipsRect r = ControlRect(bar_);
    r.top = twips;
    SetControlRect(bar_, r);
}

void Win32DialogView::SetLineY1(int32_t twips) {
    lineY1_ = twips;
    ::InvalidateRect(hwnd(), nullptr, TRUE);
}

void Win32DialogView::SetLineY2(int32_t twips) {
    lineY2_ = twips;
    ::InvalidateRect(hwnd(), nullptr, TRUE);
}

void Win32DialogView::SetMessageText(const std::string& text) { SetControlText(message_, text); }
void Win32DialogView::SetContentText(const std::string& text) { SetControlText(content_, text); }
int32_t Win32DialogView::ContentTop() { return ControlRect(content_).top; }

int32_t Win32DialogView::ContentTextHeight() {
    // The label sizes itself to its wrapped text in its own font.
    RECT r{};
    ::GetWindowRect(content_, &r);
    return PixelsToTwips(r.bottom - r.top + 1, dpi());
}

// --------------------------------------------------------------- picture

void Win32DialogView::ShowPicture() { ::ShowWindow(picture_, SW_SHOWNA); }

uintptr_t Win32DialogView::PictureSurface() {
    if (!surface_) {
        surfacePixels_ = Px(kPictureRect.width);
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = surfacePixels_;
        bi.bmiHeader.biHeight = -surfacePixels_;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        UniqueGdi bitmap(::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
        UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
        if (!bitmap || !dc) throw err::Make(err::kOutOfMemory);
        surfaceBitmap_ = std::move(bitmap);
        surfaceDc_ = std::move(dc);
        surface_ = surfaceDc_.get();
        surfaceSelection_ = std::make_unique<SelectedObject>(surface_, surfaceBitmap_.get());
        RECT all{0, 0, surfacePixels_, surfacePixels_};
        ::FillRect(surface_, &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
        // Callers draw in 32 x 32 units whatever the DPI.
        ::SetMapMode(surface_, MM_ANISOTROPIC);
        ::SetWindowExtEx(surface_, 32, 32, nullptr);
        ::SetViewportExtEx(surface_, surfacePixels_, surfacePixels_, nullptr);
    }
    ::InvalidateRect(picture_, nullptr, FALSE);
    return reinterpret_cast<uintptr_t>(surface_);
}

std::shared_ptr<DialogImage> Win32DialogView::Icon(int32_t id, int32_t) {
    return std::make_shared<Win32IconImage>(::GetModuleHandleW(nullptr), id);
}

void Win32DialogView::DrawPicture(const DRAWITEMSTRUCT& item) {
    ::FillRect(item.hDC, &item.rcItem, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    if (!surface_) return;
    const SavedDc saved(surface_);
    ::SetMapMode(surface_, MM_TEXT);
    ::SetStretchBltMode(item.hDC, HALFTONE);
    ::StretchBlt(item.hDC, item.rcItem.left, item.rcItem.top, item.rcItem.right - item.rcItem.left,
                 item.rcItem.bottom - item.rcItem.top, surface_, 0, 0, surfacePixels_,
                 surfacePixels_, SRCCOPY);
}

// --------------------------------------------------------------- buttons

HWND Win32DialogView::Slot(int16_t slot) const {
    if (slot < 0 || slot >= kDialogButtonSlots) {
        throw Failure(kControlArrayMissing,
                      "Control array element '" + std::to_string(slot) + "' doesn't exist");
    }
    return buttons_[static_cast<size_t>(slot)];
}

bool Win32DialogView::ButtonVisible(int16_t slot) {
    // Its own flag: the window around it is still hidden while it is built.
    return (::GetWindowLongW(Slot(slot), GWL_STYLE) & WS_VISIBLE) != 0;
}

void Win32DialogView::SetButtonVisible(int16_t slot, bool visible) {
    ::ShowWindow(Slot(slot), visible ? SW_SHOWNA : SW_HIDE);
}

std::string Win32DialogView::ButtonCaption(int16_t slot) { return ControlText(Slot(slot)); }

void Win32DialogView::SetButtonCaption(int16_t slot, const std::string& text) {
    ::SetWindowTextW(Slot(slot), Widen(text).c_str());
}

void Win32DialogView::SetDefaultButton(int16_t slot) {
    FormWindow::SetDefaultButton(Slot(slot));
    UpdateButtonStyles();
}

void Win32DialogView::UpdateButtonStyles() {
    for (HWND b : buttons_) {
        const WPARAM type = style_                 ? BS_OWNERDRAW
                            : b == DefaultButton() ? BS_DEFPUSHBUTTON
                                                   : BS_PUSHBUTTON;
        ::SendMessageW(b, BM_SETSTYLE, type, TRUE);
    }
}

void Win32DialogView::TrackHover(HWND button, UINT msg) {
    if (msg == WM_MOUSEMOVE && hot_ != button) {
        if (hot_) ::InvalidateRect(hot_, nullptr, FALSE);
        hot_ = button;
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, button, 0};
        ::TrackMouseEvent(&track);
        ::InvalidateRect(button, nullptr, FALSE);
    } else if (msg == WM_MOUSELEAVE && hot_ == button) {
        hot_ = nullptr;
        ::InvalidateRect(button, nullptr, FALSE);
    }
}

void Win32DialogView::DrawButton(const DRAWITEMSTRUCT& item) {
    const DialogStyle& s = *style_;
    HDC dc = item.hDC;
    RECT rc = item.rcItem;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    const bool hot = item.hwndItem == hot_;
    const bool isDefault = item.hwndItem == DefaultButton();
    const ButtonFace& face = disabled ? s.disabled : pressed ? s.pressed : hot ? s.hot : s.normal;

    // The bar shows through the rounded corners.
    POINT offset{0, 0};
    ::MapWindowPoints(item.hwndItem, bar_, &offset, 1);
    RECT barClient;
    ::GetClientRect(bar_, &barClient);
    POINT oldOrigin;
    ::SetViewportOrgEx(dc, -offset.x, -offset.y, &oldOrigin);
    PaintBar(dc, barClient);
    ::SetViewportOrgEx(dc, oldOrigin.x, oldOrigin.y, nullptr);

    const int radius = ScalePixels(s.cornerRadius, dpi());
    {
        const UniqueGdi shape(::CreateRoundRectRgn(rc.left, rc.top, rc.right + 1, rc.bottom + 1,
                                                   2 * radius, 2 * radius));
        const ClipRegion clip(dc, static_cast<HRGN>(shape.get()));
        FillVerticalGradient(dc, rc, face.fill.top, face.fill.bottom);
        Pen highlight(dc, face.highlight);
        ::MoveToEx(dc, rc.left + radius, rc.top + 1, nullptr);
        ::LineTo(dc, rc.right - radius, rc.top + 1);
    }

    {
        const SelectedObject hollow(dc, ::GetStockObject(NULL_BRUSH));
        Pen border(dc, isDefault && !disabled ? s.defaultBorder : face.border);
        ::RoundRect(dc, rc.left, rc.top, rc.right, rc.bottom, 2 * radius, 2 * radius);
        if (isDefault && !disabled) {
            ::RoundRect(dc, rc.left + 1, rc.top + 1, rc.right - 1, rc.bottom - 1, 2 * radius,
                        2 * radius);
        }
    }

    const std::wstring text = WindowText(item.hwndItem);
    {
        const SelectedObject font(
            dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(item.hwndItem, WM_GETFONT, 0, 0)));
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, face.text);
        RECT textRect = rc;
        if (pressed) ::OffsetRect(&textRect, 1, 1);
        ::DrawTextW(dc, text.c_str(), -1, &textRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }

    if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT)) {
        RECT focus = rc;
        const int inset = ScalePixels(kFocusInsetPixels, dpi());
        ::InflateRect(&focus, -inset, -inset);
        // Dotted: every other pixel of the frame.
        for (int x = focus.left; x < focus.right; x += 2) {
            ::SetPixel(dc, x, focus.top, s.focus);
            ::SetPixel(dc, x, focus.bottom - 1, s.focus);
        }
        for (int y = focus.top; y < focus.bottom; y += 2) {
            ::SetPixel(dc, focus.left, y, s.focus);
            ::SetPixel(dc, focus.right - 1, y, s.focus);
        }
    }
}

// ------------------------------------------------------------ bar, line

void Win32DialogView::PaintBar(HDC dc, const RECT& r) {
    if (!style_) {
        ::FillRect(dc, &r, ::GetSysColorBrush(COLOR_BTNFACE));
        RECT edge = r;
        ::DrawEdge(dc, &edge, BDR_RAISEDINNER, BF_RECT);
        return;
    }
    FillVerticalGradient(dc, r, style_->bar.top, style_->bar.bottom);
    Pen dark(dc, style_->barEdgeDark);
    ::MoveToEx(dc, r.left, r.top, nullptr);
    ::LineTo(dc, r.right, r.top);
    Pen light(dc, style_->barEdgeLight);
    ::MoveToEx(dc, r.left, r.top + 1, nullptr);
    ::LineTo(dc, r.right, r.top + 1);
}

void Win32DialogView::OnPaintPane(HWND, HDC dc, const RECT& client) { PaintBar(dc, client); }

void Win32DialogView::OnPaint(HDC dc, const RECT&) {
    Pen line(dc, kLineColour);
    ::MoveToEx(dc, Px(0), Px(lineY1_), nullptr);
    ::LineTo(dc, Px(kLineX2), Px(lineY2_));
}

// ---------------------------------------------------------------- style

std::string Win32DialogView::LoadStyleResource(const std::string& libraryPath,
                                               const std::string& styleName) {
    // As data only: no code of the library runs, wherever it came from.
    UniqueModule library(
        ::LoadLibraryExW(Widen(libraryPath).c_str(), nullptr,
                         LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (!library) {
        const DWORD e = ::GetLastError();
        throw err::Make(e == ERROR_MOD_NOT_FOUND ? err::kFileNotFound : ClassicFileError(e));
    }
    HRSRC found = ::FindResourceW(library.get(), Widen(styleName).c_str(), RT_RCDATA);
    HGLOBAL loaded = found ? ::LoadResource(library.get(), found) : nullptr;
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data) throw ResourceMissing(styleName);
    return std::string(static_cast<const char*>(data), ::SizeofResource(library.get(), found));
}

void Win32DialogView::ApplyStyle(const DialogStyle& style) {
    const bool first = !style_;
    style_ = style;
    if (first) {
        // The styled buttons light up under the mouse.
        for (HWND b : buttons_) RouteMessages(b);
    }
    UpdateButtonStyles();
    ::RedrawWindow(bar_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

// ---------------------------------------------------------- timer, life

void Win32DialogView::SetTimerInterval(uint32_t ms) {
    timerInterval_ = ms;
    ApplyTimer();
}

void Win32DialogView::SetTimerEnabled(bool enabled) {
    timerEnabled_ = enabled;
    ApplyTimer();
}

void Win32DialogView::ApplyTimer() {
    if (timerEnabled_ && timerInterval_ > 0) {
        StartTimer(kCountdownTimer, timerInterval_);
    } else {
        StopTimer(kCountdownTimer);
    }
}

void Win32DialogView::ShowModal() { RunModal(); }
void Win32DialogView::Unload() { Close(); }

void Win32DialogView::OnTimer(UINT_PTR id) {
    if (id == kCountdownTimer) events_.ISTimer_Timer();
}

void Win32DialogView::OnSystemClose() { events_.SystemClose(); }
void Win32DialogView::OnActivate() { events_.Form_Activate(); }

bool Win32DialogView::OnMessage(HWND from, UINT msg, WPARAM wParam, LPARAM lParam,
                                LRESULT& result) {
    if (from && std::find(buttons_.begin(), buttons_.end(), from) != buttons_.end()) {
        TrackHover(from, msg);
        return false;  // the button goes on as a button
    }
    switch (msg) {
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            if (HIWORD(wParam) == BN_CLICKED && id >= kFirstOptionId &&
                id < kFirstOptionId + kDialogButtonSlots) {
                events_.cmdOption_Click(static_cast<int16_t>(id - kFirstOptionId));
                result = 0;
                return true;
            }
            return false;
        }
        case WM_DRAWITEM: {
            const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item.CtlID == kPictureCustomId) {
                DrawPicture(item);
            } else if (item.CtlType == ODT_BUTTON && style_) {
                DrawButton(item);
            } else {
                return false;
            }
            result = TRUE;
            return true;
        }
        default:
            return false;
    }
}

// -------------------------------------------------------------- factory

void Win32DialogViews::InitCommonControls() { ::InitCommonControls(); }

std::shared_ptr<DialogView> Win32DialogViews::Load(DialogEvents& events) {
    auto view = FormWindow::Make<Win32DialogView>(events);
    if (!view->Build()) throw err::Make(err::kOutOfMemory);
    return view;
}

}  // namespace tav::win32
