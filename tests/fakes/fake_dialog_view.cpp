#include "fakes/fake_dialog_view.h"

#include <algorithm>

#include "platform/failure.h"

namespace tav::fakes {

void FakeImage::Draw(uintptr_t surface, int32_t x, int32_t y, int32_t w, int32_t h, int32_t) {
    reinterpret_cast<FakeDialogView*>(surface)->picture.push_back(
        name + " " + std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(w) + "x" + std::to_string(h));
}

void FakeDialogView::Set(const std::string& name, int32_t v) {
    // A real window is gone once unloaded: the logic must never reach it again.
    if (n["Unload"]) throw Failure(364, "Object was unloaded");
    calls.push_back("Set" + name);
    n[name] = v;
}

void FakeDialogView::SetText(const std::string& name, const std::string& t) {
    Set(name, 0);
    text[name] = t;
}

void FakeDialogView::SetCaption(const std::string& t) {
    SetText("Caption", t);
    captions.push_back(t);
    if (settings_.onSetCaption) settings_.onSetCaption(*this);
}

int32_t FakeDialogView::ContentTextHeight() {
    const std::string& body = text["Content"];
    return static_cast<int32_t>(1 + std::count(body.begin(), body.end(), '\r')) * settings_.renderedLineTwips;
}

std::shared_ptr<DialogImage> FakeDialogView::Icon(int32_t id, int32_t width) {
    if (id < 100 || id > 104) throw Failure(326, "Resource with identifier not found");
    return std::make_shared<FakeImage>("icon " + std::to_string(id) + "/" + std::to_string(width));
}

std::string FakeDialogView::LoadStyleResource(const std::string& library, const std::string& name) {
    calls.push_back("LoadStyleResource " + library + " " + name);
    if (!settings_.styleText) throw err::Make(err::kFileNotFound);
    return *settings_.styleText;
}

void FakeDialogView::ShowModal() {
    Set("ShowModal", 1);
    events_.Form_Activate();
    if (settings_.onShowModal) settings_.onShowModal(*this);
    // A real modal show cannot return before the window has gone.
    if (!unloaded()) throw Failure(err::kInternalError, "the test left the modal dialog open");
}

void FakeDialogView::Click(int16_t slot) {
    if (!unloaded() && ButtonVisible(slot)) events_.cmdOption_Click(slot);
}
void FakeDialogView::Close() {
    if (!unloaded()) events_.SystemClose();
}
void FakeDialogView::Activate() {
    if (!unloaded()) events_.Form_Activate();
}
void FakeDialogView::Tick() {
    if (!unloaded()) events_.ISTimer_Timer();
}

void FakeDialogView::Elapse(uint32_t ms) {
    while (ms > 0 && !unloaded() && n["TimerEnabled"] && n["TimerInterval"] > 0) {
        const auto interval = static_cast<uint32_t>(n["TimerInterval"]);
        const uint32_t step = std::min(ms, interval - runMs);
        ms -= step;
        if ((runMs += step) == interval) runMs = 0, events_.ISTimer_Timer();
    }
}

}  // namespace tav::fakes
