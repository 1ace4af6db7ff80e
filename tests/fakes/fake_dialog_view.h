// A dialog window in memory: keeps what the logic set, logs the order it
// was set in, lets a test act as the user, and runs the countdown timer on
// its own clock.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dialog_view.h"
#include "platform/failure.h"

namespace tav::fakes {

class FakeDialogView;

// Logs "<name> <x>,<y> <w>x<h>" on the fake surface it draws on.
class FakeImage : public DialogImage {
public:
    explicit FakeImage(std::string name) : name_(std::move(name)) {}
    void Draw(uintptr_t surface, int32_t x, int32_t y, int32_t width, int32_t height, int32_t flags) override;

private:
    std::string name_;
};

struct FakeDialogSettings {
    // The style resource's text; none: the library cannot be loaded.
    std::optional<std::string> styleText = std::string("[ButtonBar]\n[Button]\n");
    std::function<void(FakeDialogView&)> onShowModal;  // the user's part
    std::function<void(FakeDialogView&)> onSetCaption;
    int32_t renderedLineTwips = 0;  // height of one body line as drawn
};

class FakeDialogView : public DialogView {
public:
    FakeDialogView(DialogEvents& events, FakeDialogSettings settings)
        : events_(events), settings_(std::move(settings)) {}

    int32_t Left() override { return left; }
    int32_t Top() override { return top; }
    int32_t Width() override { return width; }
    int32_t Height() override { return height; }
    void SetLeft(int32_t v) override { Touch("SetLeft"), left = v; }
    void SetTop(int32_t v) override { Touch("SetTop"), top = v; }
    void SetHeight(int32_t v) override { Touch("SetHeight"), height = v; }
    std::string Caption() override { return caption; }
    void SetCaption(const std::string& text) override;
    void Refresh() override { Touch("Refresh"); }
    int32_t PanelTop() override { return panelTop; }
    void SetPanelTop(int32_t v) override { Touch("SetPanelTop"), panelTop = v; }
    int32_t LineY1() override { return lineY1; }
    int32_t LineY2() override { return lineY2; }
    void SetLineY1(int32_t v) override { Touch("SetLineY1"), lineY1 = v; }
    void SetLineY2(int32_t v) override { Touch("SetLineY2"), lineY2 = v; }
    void SetMessageText(const std::string& text) override { Touch("SetMessageText"), messageText = text; }
    void SetContentText(const std::string& text) override { Touch("SetContentText"), contentText = text; }
    int32_t ContentTop() override { return 750; }
    int32_t ContentTextHeight() override;  // lines (CRs + 1) x renderedLineTwips
    void ShowPicture() override { Touch("ShowPicture"), pictureVisible = true; }
    uintptr_t PictureSurface() override { return reinterpret_cast<uintptr_t>(this); }
    std::shared_ptr<DialogImage> Icon(int32_t id, int32_t width) override;
    bool ButtonVisible(int16_t slot) override { return buttonVisible.at(static_cast<size_t>(slot)); }
    void SetButtonVisible(int16_t slot, bool v) override;
    std::string ButtonCaption(int16_t slot) override { return buttonCaption.at(static_cast<size_t>(slot)); }
    void SetButtonCaption(int16_t slot, const std::string& text) override;
    void SetDefaultButton(int16_t slot) override { Touch("SetDefaultButton"), defaultSlot = slot; }
    void SetTimerInterval(uint32_t ms) override { Touch("SetTimerInterval"), timerInterval = ms, timerRunMs = 0; }
    void SetTimerEnabled(bool enabled) override;
    std::string LoadStyleResource(const std::string& libraryPath, const std::string& styleName) override;
    void ApplyStyle(const DialogStyle& s) override { Touch("ApplyStyle"), style = s; }
    void ShowModal() override;
    void Unload() override { Touch("Unload"), unloaded = true; }

    // The user and the clock; nothing reaches an unloaded window.
    void Click(int16_t slot);  // a visible button only
    void Close();              // the system's close command
    void Activate();
    void Tick();               // a timer message, whatever the timer's state
    void Elapse(uint32_t ms);  // the timer ticks once per full interval while enabled

    // The design's sizes: a 5250 x 1845 client area plus border and caption.
    int32_t left = 2760, top = 3750, width = 5340, height = 2340;
    int32_t panelTop = 1260, lineY1 = 1240, lineY2 = 1240;
    std::string caption = "TAV", messageText, contentText, styleSource;
    std::vector<std::string> captions, pictureDraws, calls;  // calls: operation names in order
    bool pictureVisible = false, timerEnabled = false, unloaded = false;
    std::array<bool, 3> buttonVisible{};
    std::array<std::string, 3> buttonCaption{};
    int16_t defaultSlot = -1;
    uint32_t timerInterval = 1000, timerRunMs = 0;
    std::optional<DialogStyle> style;

private:
    void Touch(const char* operation);
    DialogEvents& events_;
    FakeDialogSettings settings_;
};

class FakeDialogViews : public DialogViews {
public:
    void InitCommonControls() override { ++commonControlsInits; }
    std::shared_ptr<DialogView> Load(DialogEvents& events) override {
        return loaded.emplace_back(std::make_shared<FakeDialogView>(events, settings));
    }
    FakeDialogView& last() { return *loaded.back(); }

    FakeDialogSettings settings;
    int commonControlsInits = 0;
    std::vector<std::shared_ptr<FakeDialogView>> loaded;
};

}  // namespace tav::fakes
