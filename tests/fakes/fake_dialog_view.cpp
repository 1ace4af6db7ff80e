#include "fakes/fake_dialog_view.h"

#include <algorithm>

namespace tav::fakes {

void FakeImage::Draw(uintptr_t surface, int32_t x, int32_t y, int32_t width, int32_t height, int32_t) {
    reinterpret_cast<FakeDialogView*>(surface)->pictureDraws.push_back(
        name_ + " " + std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(width) + "x" +
        std::to_string(height));
}

void FakeDialogView::Touch(const char* operation) {
    // A real window is gone once unloaded: the logic must never reach it again.
    if (unloaded) throw Failure(364, "Object was unloaded");
    calls.emplace_back(operation);
}

void FakeDialogView::SetCaption(const std::string& text) {
    Touch("SetCaption");
    captions.push_back(caption = text);
    if (settings_.onSetCaption) settings_.onSetCaption(*this);
}

int32_t FakeDialogView::ContentTextHeight() {
    return static_cast<int32_t>(1 + std::count(contentText.begin(), contentText.end(), '\r')) *
           settings_.renderedLineTwips;
}

std::shared_ptr<DialogImage> FakeDialogView::Icon(int32_t id, int32_t size) {
    Touch("Icon");
    if (id < 100 || id > 104) throw Failure(326, "Resource with identifier not found");
    return std::make_shared<FakeImage>("icon " + std::to_string(id) + "/" + std::to_string(size));
}

void FakeDialogView::SetButtonVisible(int16_t slot, bool v) {
    Touch("SetButtonVisible");
    buttonVisible.at(static_cast<size_t>(slot)) = v;
}

void FakeDialogView::SetButtonCaption(int16_t slot, const std::string& text) {
    Touch("SetButtonCaption");
    buttonCaption.at(static_cast<size_t>(slot)) = text;
}

void FakeDialogView::SetTimerEnabled(bool enabled) {
    Touch("SetTimerEnabled");
    if (enabled && !timerEnabled) timerRunMs = 0;
    timerEnabled = enabled;
}

std::string FakeDialogView::LoadStyleResource(const std::string& libraryPath, const std::string& name) {
    Touch("LoadStyleResource");
    styleSource = libraryPath + " " + name;
    if (!settings_.styleText) throw err::Make(err::kFileNotFound);
    return *settings_.styleText;
}

void FakeDialogView::ShowModal() {
    Touch("ShowModal");
    events_.Form_Activate();
    if (settings_.onShowModal) settings_.onShowModal(*this);
    // A real modal show cannot return before the window has gone.
    if (!unloaded) throw Failure(err::kInternalError, "the test left the modal dialog open");
}

void FakeDialogView::Click(int16_t slot) {
    if (!unloaded && ButtonVisible(slot)) events_.cmdOption_Click(slot);
}
void FakeDialogView::Close() {
    if (!unloaded) events_.SystemClose();
}
void FakeDialogView::Activate() {
    if (!unloaded) events_.Form_Activate();
}
void FakeDialogView::Tick() {
    if (!unloaded) events_.ISTimer_Timer();
}

void FakeDialogView::Elapse(uint32_t ms) {
    while (ms > 0 && !unloaded) {
        if (!timerEnabled || timerInterval == 0) return;
        const uint32_t step = std::min(ms, timerInterval - timerRunMs);
        ms -= step;
        timerRunMs += step;
        if (timerRunMs == timerInterval) {
            timerRunMs = 0;
            events_.ISTimer_Timer();
        }
    }
}

}  // namespace tav::fakes
