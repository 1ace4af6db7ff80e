#include "fakes/fake_dialog_view.h"

#include <algorithm>

#include "core/failure.h"

namespace tav::fakes {

namespace {
void CheckSlot(int16_t slot) {
    if (slot < 0 || slot >= kDialogButtonSlots) throw err::Make(err::kSubscriptOutOfRange);
}
}  // namespace

void FakeImage::Draw(uintptr_t surface, int32_t x, int32_t y, int32_t width, int32_t height,
                     int32_t flags) {
    auto* view = reinterpret_cast<FakeDialogView*>(surface);
    if (view == nullptr) throw err::Make(err::kObjectNotSet);
    view->pictureDraws.push_back(name_ + " " + std::to_string(x) + "," + std::to_string(y) + " " +
                                 std::to_string(width) + "x" + std::to_string(height) + " " +
                                 std::to_string(flags));
}

FakeDialogView::FakeDialogView(DialogEvents& events, const FakeDialogSettings& settings)
    : events_(events), settings_(settings) {}

void FakeDialogView::Touch(const char* operation) {
    // A real window that has been unloaded is gone; the logic must never
    // reach it again.
    if (unloaded) throw Failure(364, "Object was unloaded");
    calls.emplace_back(operation);
}

void FakeDialogView::SetLeft(int32_t twips) {
    Touch("SetLeft");
    left = twips;
}
void FakeDialogView::SetTop(int32_t twips) {
    Touch("SetTop");
    top = twips;
}
void FakeDialogView::SetHeight(int32_t twips) {
    Touch("SetHeight");
    height = twips;
}

void FakeDialogView::SetCaption(const std::string& text) {
    Touch("SetCaption");
    caption = text;
    captions.push_back(text);
    if (settings_.onSetCaption) settings_.onSetCaption(*this);
}

void FakeDialogView::Refresh() {
    Touch("Refresh");
    ++refreshes;
}
void FakeDialogView::SetPanelTop(int32_t twips) {
    Touch("SetPanelTop");
    panelTop = twips;
}
void FakeDialogView::SetLineY1(int32_t twips) {
    Touch("SetLineY1");
    lineY1 = twips;
}
void FakeDialogView::SetLineY2(int32_t twips) {
    Touch("SetLineY2");
    lineY2 = twips;
}
void FakeDialogView::SetMessageText(const std::string& text) {
    Touch("SetMessageText");
    messageText = text;
}
void FakeDialogView::SetContentText(const std::string& text) {
    Touch("SetContentText");
    contentText = text;
}
int32_t FakeDialogView::ContentTextHeight() {
    const auto lines = 1 + std::count(contentText.begin(), contentText.end(), '\r');
    return static_cast<int32_t>(lines) * settings_.renderedLineTwips;
}

void FakeDialogView::ShowPicture() {
    Touch("ShowPicture");
    pictureVisible = true;
}

uintptr_t FakeDialogView::PictureSurface() {
    Touch("PictureSurface");
    return reinterpret_cast<uintptr_t>(this);
}

std::shared_ptr<DialogImage> FakeDialogView::Icon(int32_t id, int32_t size) {
    Touch("Icon");
    if (id < 100 || id > 104) throw Failure(326, "Resource with identifier not found");
    return std::make_shared<FakeImage>("icon " + std::to_string(id) + "/" + std::to_string(size));
}

bool FakeDialogView::ButtonVisible(int16_t slot) {
    CheckSlot(slot);
    return buttonVisible[static_cast<size_t>(slot)];
}

void FakeDialogView::SetButtonVisible(int16_t slot, bool visible) {
    Touch("SetButtonVisible");
    CheckSlot(slot);
    buttonVisible[static_cast<size_t>(slot)] = visible;
}

std::string FakeDialogView::ButtonCaption(int16_t slot) {
    CheckSlot(slot);
    return buttonCaption[static_cast<size_t>(slot)];
}

void FakeDialogView::SetButtonCaption(int16_t slot, const std::string& text) {
    Touch("SetButtonCaption");
    CheckSlot(slot);
    buttonCaption[static_cast<size_t>(slot)] = text;
}

void FakeDialogView::SetDefaultButton(int16_t slot) {
    Touch("SetDefaultButton");
    CheckSlot(slot);
    defaultSlot = slot;
}

void FakeDialogView::SetTimerInterval(uint32_t ms) {
    Touch("SetTimerInterval");
    timerInterval = ms;
    timerRunMs = 0;
}

void FakeDialogView::SetTimerEnabled(bool enabled) {
    Touch("SetTimerEnabled");
    if (enabled && !timerEnabled) timerRunMs = 0;
    timerEnabled = enabled;
}

std::string FakeDialogView::LoadStyleResource(const std::string& libraryPath,
                                              const std::string& name) {
    Touch("LoadStyleResource");
    styleLibrary = libraryPath;
    styleName = name;
    if (!settings_.styleText) throw err::Make(err::kFileNotFound);
    return *settings_.styleText;
}

void FakeDialogView::ApplyStyle(const DialogStyle& s) {
    Touch("ApplyStyle");
    style = s;
}

void FakeDialogView::ShowModal() {
    Touch("ShowModal");
    shown = true;
    events_.Form_Activate();
    if (settings_.onShowModal) settings_.onShowModal(*this);
    // A real modal show cannot return before the window has gone.
    if (!unloaded) throw Failure(err::kInternalError, "the test left the modal dialog open");
}

void FakeDialogView::Unload() {
    Touch("Unload");
    unloaded = true;
    shown = false;
}

void FakeDialogView::Click(int16_t slot) {
    if (unloaded || !shown || !ButtonVisible(slot)) return;
    events_.cmdOption_Click(slot);
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
        if (!timerEnabled || timerInterval == 0) {
            timerRunMs += ms;
            return;
        }
        const uint32_t step = std::min(ms, timerInterval - timerRunMs);
        ms -= step;
        timerRunMs += step;
        if (timerRunMs == timerInterval) {
            timerRunMs = 0;
            events_.ISTimer_Timer();
        }
    }
}

std::shared_ptr<DialogView> FakeDialogViews::Load(DialogEvents& events) {
    loaded.push_back(std::make_shared<FakeDialogView>(events, settings));
    return loaded.back();
}

}  // namespace tav::fakes
