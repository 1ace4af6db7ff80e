// A dialog window in memory: keeps what the logic set by name ("Height",
// "Caption1", "Visible0", "Default", "TimerInterval"...) and lets a test act
// as the user and as the timer.
#pragma once

#include <functional>
#include <map>

#include "core/failure.h"
#include "platform/dialog_view.h"

namespace tav::fakes {

class FakeDialogView;

// Logs "<name> <x>,<y> <w>x<h>" into the picture of the view it draws on.
struct FakeImage : DialogImage {
    explicit FakeImage(std::string n) : name(std::move(n)) {}
    void Draw(uintptr_t surface, int32_t x, int32_t y, int32_t w, int32_t h, int32_t) override;
    std::string name;
};

// The user's part.
struct FakeDialogSettings {
    std::function<void(FakeDialogView&)> onShowModal;
    std::function<void(FakeDialogView&)> onSetCaption;
};

class FakeDialogView : public DialogView {
public:
    FakeDialogView(DialogEvents& events, FakeDialogSettings settings)
        : events_(events), settings_(std::move(settings)) {}

    // The placement is the Windows tier's.
    int32_t Left() override { return 0; }
    int32_t Top() override { return 0; }
    int32_t Width() override { return n["Width"]; }
    int32_t Height() override { return n["Height"]; }
    int32_t PanelTop() override { return n["PanelTop"]; }
    int32_t LineY1() override { return n["LineY1"]; }
    int32_t LineY2() override { return n["LineY2"]; }
    void SetLeft(int32_t) override {}
    void SetTop(int32_t) override {}
    void SetHeight(int32_t v) override { Set("Height", v); }
    void SetPanelTop(int32_t v) override { Set("PanelTop", v); }
    void SetLineY1(int32_t v) override { Set("LineY1", v); }
    void SetLineY2(int32_t v) override { Set("LineY2", v); }
    void SetDefaultButton(int16_t slot) override { Set("Default", slot); }
    void SetTimerInterval(uint32_t ms) override { Set("TimerInterval", static_cast<int32_t>(ms)); }
    void SetTimerEnabled(bool on) override { Set("TimerEnabled", on); }
    bool ButtonVisible(int16_t slot) override { return n["Visible" + std::to_string(slot)]; }
    void SetButtonVisible(int16_t slot, bool v) override {
        Set("Visible" + std::to_string(slot), v);
    }
    std::string Caption() override { return text["Caption"]; }
    std::string ButtonCaption(int16_t slot) override {
        return text["Caption" + std::to_string(slot)];
    }
    void SetButtonCaption(int16_t slot, const std::string& t) override {
        SetText("Caption" + std::to_string(slot), t);
    }
    void SetMessageText(const std::string& t) override { SetText("Message", t); }
    void SetContentText(const std::string& t) override { SetText("Content", t); }
    void SetCaption(const std::string& t) override {
        SetText("Caption", t);
        captions.push_back(t);
        if (settings_.onSetCaption) settings_.onSetCaption(*this);
    }
    int32_t ContentTop() override { return 750; }
    int32_t ContentTextHeight() override { return 0; }
    void ShowPicture() override { Set("Picture", 1); }
    uintptr_t PictureSurface() override { return reinterpret_cast<uintptr_t>(this); }
    std::shared_ptr<DialogImage> Icon(int32_t id, int32_t width) override {
        return std::make_shared<FakeImage>("icon " + std::to_string(id) + "/" +
                                           std::to_string(width));
    }
    std::string LoadStyleResource(const std::string&, const std::string&) override {
        return "[ButtonBar]\n[Button]\n";
    }
    void ApplyStyle(const DialogStyle&) override {}
    void Refresh() override {}
    void ShowModal() override {
        events_.Form_Activate();
        if (settings_.onShowModal) settings_.onShowModal(*this);
        // A real modal show cannot return before the window has gone.
        if (!Unloaded()) throw Failure(err::kInternalError, "the test left the modal dialog open");
    }
    void Unload() override { Set("Unload", 1); }

    // The user and the timer; nothing reaches an unloaded window.
    void Click(int16_t slot) {
        if (!Unloaded() && ButtonVisible(slot)) events_.cmdOption_Click(slot);
    }
    void Close() {  // the system's close command
        if (!Unloaded()) events_.SystemClose();
    }
    void Tick() {
        if (!Unloaded()) events_.ISTimer_Timer();
    }
    bool Unloaded() { return n["Unload"]; }

    // The design: a 5250 x 1845 client area plus border and caption.
    std::map<std::string, int32_t> n{{"Width", 5340},        {"Height", 2340}, {"PanelTop", 1260},
                                     {"LineY1", 1240},       {"LineY2", 1240}, {"Default", -1},
                                     {"TimerInterval", 1000}};
    std::map<std::string, std::string> text{{"Caption", "TAV"}};
    std::vector<std::string> captions;
    std::vector<std::string> picture;

private:
    void Set(const std::string& name, int32_t v) {
        // A real window is gone once unloaded: the logic must never reach it again.
        if (n["Unload"]) throw Failure(err::kInternalError, "the logic reached an unloaded window");
        n[name] = v;
    }
    void SetText(const std::string& name, const std::string& t) {
        Set(name, 0);
        text[name] = t;
    }
    DialogEvents& events_;
    FakeDialogSettings settings_;
};

inline void FakeImage::Draw(uintptr_t surface, int32_t x, int32_t y, int32_t w, int32_t h,
                            int32_t) {
    reinterpret_cast<FakeDialogView*>(surface)->picture.push_back(
        name + " " + std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(w) + "x" +
        std::to_string(h));
}

struct FakeDialogViews : DialogViews {
    void InitCommonControls() override {}
    std::shared_ptr<DialogView> Load(DialogEvents& events) override {
        return loaded.emplace_back(std::make_shared<FakeDialogView>(events, settings));
    }
    FakeDialogView& last() { return *loaded.back(); }
    FakeDialogSettings settings;
    std::vector<std::shared_ptr<FakeDialogView>> loaded;
};

}  // namespace tav::fakes
