// The message dialog's window: the dialog's design as real Win32 controls
// behind the DialogView interface, and the icons it draws.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "platform/dialog_view.h"
#include "platform/win32/form_window.h"
#include "platform/win32/unique_handle.h"

namespace tav::win32 {

// Control ids, so that other programs and tests can find the parts.
inline constexpr int kPictureCustomId = 1001;
inline constexpr int kLabelMessageId = 1002;
inline constexpr int kLabelContentId = 1003;
inline constexpr int kButtonBarId = 1004;
inline constexpr int kFirstOptionId = 1100;  // + slot

// The message body: wrapped at blanks, and a word wider than the label (a
// long path) broken where it reaches the edge instead of being cut off.
inline constexpr DWORD kBreakOverWideWords = SS_EDITCONTROL;
inline constexpr DWORD kContentStyle = WS_VISIBLE | SS_LEFT | SS_NOPREFIX | kBreakOverWideWords;

// An icon from a module's resources that draws itself at the size asked,
// picking the closest image the icon holds.
class Win32IconImage : public DialogImage {
public:
    // Throws Failure 326 when the module holds no icon with that id.
    Win32IconImage(HMODULE module, int id);
    // surface is a device context; the area is in its logical units.
    void Draw(uintptr_t surface, int32_t x, int32_t y, int32_t width, int32_t height,
              int32_t flags) override;

private:
    HMODULE module_;
    int id_;
};

class Win32DialogView final : public FormWindow, public DialogView {
public:
    explicit Win32DialogView(DialogEvents& events);

    // Creates the hidden window and its controls as designed.
    bool Build();

    int32_t Left() override;
    int32_t Top() override;
    int32_t Width() override;
    int32_t Height() override;
    void SetLeft(int32_t twips) override;
    void SetTop(int32_t twips) override;
    void SetHeight(int32_t twips) override;
    std::string Caption() override;
    void SetCaption(const std::string& text) override;
    void Refresh() override;
    int32_t PanelTop() override;
    void SetPanelTop(int32_t twips) override;
    int32_t LineY1() override { return lineY1_; }
    int32_t LineY2() override { return lineY2_; }
    void SetLineY1(int32_t twips) override;
    void SetLineY2(int32_t twips) override;
    void SetMessageText(const std::string& text) override;
    void SetContentText(const std::string& text) override;
    int32_t ContentTop() override;
    int32_t ContentTextHeight() override;
    void ShowPicture() override;
    uintptr_t PictureSurface() override;
    std::shared_ptr<DialogImage> Icon(int32_t id, int32_t width) override;
    bool ButtonVisible(int16_t slot) override;
    void SetButtonVisible(int16_t slot, bool visible) override;
    std::string ButtonCaption(int16_t slot) override;
    void SetButtonCaption(int16_t slot, const std::string& text) override;
    void SetDefaultButton(int16_t slot) override;
    void SetTimerInterval(uint32_t ms) override;
    void SetTimerEnabled(bool enabled) override;
    std::string LoadStyleResource(const std::string& libraryPath,
                                  const std::string& styleName) override;
    void ApplyStyle(const DialogStyle& style) override;
    void ShowModal() override;
    void Unload() override;

private:
    bool OnMessage(HWND from, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void OnPaint(HDC dc, const RECT& client) override;
    void OnPaintPane(HWND pane, HDC dc, const RECT& client) override;
    void OnTimer(UINT_PTR id) override;
    void OnSystemClose() override;
    void OnActivate() override;

    // The button under the mouse, drawn lit while styled.
    void TrackHover(HWND button, UINT msg);

    HWND Slot(int16_t slot) const;
    void UpdateButtonStyles();
    void ApplyTimer();
    void PaintBar(HDC dc, const RECT& barClient);
    void DrawPicture(const DRAWITEMSTRUCT& item);
    void DrawButton(const DRAWITEMSTRUCT& item);

    DialogEvents& events_;
    HWND picture_ = nullptr;
    HWND message_ = nullptr;
    HWND content_ = nullptr;
    HWND bar_ = nullptr;
    std::array<HWND, kDialogButtonSlots> buttons_{};
    std::optional<DialogStyle> style_;
    HWND hot_ = nullptr;
    int32_t lineY1_ = 1240;
    int32_t lineY2_ = 1240;
    uint32_t timerInterval_ = 1000;
    bool timerEnabled_ = false;
    // The picture box keeps what was drawn into it, like a persistent
    // bitmap, and paints from it.
    // Members end in reverse: the bitmap is deselected, then the DC and
    // the bitmap are freed.
    UniqueGdi surfaceBitmap_;
    UniqueMemoryDc surfaceDc_;
    std::unique_ptr<SelectedObject> surfaceSelection_;
    HDC surface_ = nullptr;
    int surfacePixels_ = 0;
};

class Win32DialogViews final : public DialogViews {
public:
    void InitCommonControls() override;
    std::shared_ptr<DialogView> Load(DialogEvents& events) override;
};

}  // namespace tav::win32
