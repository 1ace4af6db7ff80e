// A dialog window in memory: records what the logic set, lets a test act as
// the user, and counts time with its own clock so countdowns run without
// waiting.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dialog_view.h"

namespace tav::fakes {

class FakeDialogView;

// An image that writes what it was asked to draw into the fake surface.
class FakeImage : public DialogImage {
public:
    explicit FakeImage(std::string name) : name_(std::move(name)) {}
    void Draw(uintptr_t surface, int32_t x, int32_t y, int32_t width, int32_t height,
              int32_t flags) override;

private:
    std::string name_;
};

struct FakeDialogSettings {
    // The style resource's text; none: the library cannot be loaded.
    std::optional<std::string> styleText = std::string("[ButtonBar]\n[Button]\n");
    std::function<void(FakeDialogView&)> onShowModal;  // the user's part
    std::function<void(FakeDialogView&)> onSetCaption;
    // The height of one body line as drawn; 0: the text takes no room.
    int32_t renderedLineTwips = 0;
};

class FakeDialogView : public DialogView {
public:
    FakeDialogView(DialogEvents& events, const FakeDialogSettings& settings);

    int32_t Left() override { return left; }
    int32_t Top() override { return top; }
    int32_t Width() override { return width; }
    int32_t Height() override { return height; }
    void SetLeft(int32_t twips) override;
    void SetTop(int32_t twips) override;
    void SetHeight(int32_t twips) override;
    std::string Caption() override { return caption; }
    void SetCaption(const std::string& text) override;
    void Refresh() override;
    int32_t PanelTop() override { return panelTop; }
    void SetPanelTop(int32_t twips) override;
    int32_t LineY1() override { return lineY1; }
    int32_t LineY2() override { return lineY2; }
    void SetLineY1(int32_t twips) override;
    void SetLineY2(int32_t twips) override;
    void SetMessageText(const std::string& text) override;
    void SetContentText(const std::string& text) override;
    int32_t ContentTop() override { return 750; }
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

    // The user and the clock.
    void Click(int16_t slot);  // only a visible button of a shown window
    void Close();              // the system's close command
    void Activate();
    // A timer message dispatched right now, whatever the timer's state.
    void Tick();
    // Lets ms pass: the timer ticks once per full interval while enabled.
    void Elapse(uint32_t ms);

    // What the window holds. Sizes are the design's; the outer window is
    // the 5250 x 1845 client area plus a border and caption.
    int32_t left = 2760, top = 3750, width = 5340, height = 2340;
    int32_t panelTop = 1260, lineY1 = 1240, lineY2 = 1240;
    std::string caption = "TAV";
    std::vector<std::string> captions;  // every caption set, in order
    std::string messageText, contentText;
    bool pictureVisible = false;
    std::vector<std::string> pictureDraws;  // "icon 104 0,0 32x32 0"
    std::array<bool, 3> buttonVisible{};
    std::array<std::string, 3> buttonCaption{};
    int16_t defaultSlot = -1;
    uint32_t timerInterval = 1000;
    bool timerEnabled = false;
    uint32_t timerRunMs = 0;  // since the timer's period last started
    std::string styleLibrary, styleName;
    std::optional<DialogStyle> style;
    int refreshes = 0;
    bool shown = false;
    bool unloaded = false;
    std::vector<std::string> calls;  // operation names, in order

private:
    void Touch(const char* operation);

    DialogEvents& events_;
    FakeDialogSettings settings_;
};

class FakeDialogViews : public DialogViews {
public:
    void InitCommonControls() override { ++commonControlsInits; }
    std::shared_ptr<DialogView> Load(DialogEvents& events) override;

    // The window most recently loaded.
    FakeDialogView& last() { return *loaded.back(); }

    FakeDialogSettings settings;
    int commonControlsInits = 0;
    std::vector<std::shared_ptr<FakeDialogView>> loaded;
};

}  // namespace tav::fakes
