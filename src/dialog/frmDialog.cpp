#include "dialog/frmDialog.h"

#include "core/failure.h"
#include "core/number_text.h"
#include "dialog/dialog_codes.h"
#include "dialog/dialog_layout.h"
#include "dialog/dialog_style.h"
#include "error_log/trap.h"

namespace tav {

namespace {
constexpr int32_t kObjectWasUnloaded = 364;
constexpr uint32_t kTickMs = 1000;
constexpr int32_t kPictureSize = 32;
constexpr int64_t kMaxWordIndex = 32767;
// Room left between the body's last line and the line above the bar.
constexpr int64_t kBodyTextGap = 60;
// The slots the default-button flags name (slot 0 is the right one).
constexpr int16_t kMiddleSlot = 1;
constexpr int16_t kLeftSlot = 2;
constexpr const char* kFormSetup = "frmDialog.FormSetup";
}  // namespace

frmDialog::frmDialog(const DialogServices& services, CErrorUpdate& log)
    : services_(services), log_(log) {
    Form_Initialize();
}

frmDialog::~frmDialog() = default;

DialogView& frmDialog::Window() {
    if (!view_) throw Failure(kObjectWasUnloaded, "Object was unloaded");
    return *view_;
}

bool frmDialog::EnsureLoaded() {
    if (!view_) {
        view_ = services_.views.Load(*this);
        if (view_) Form_Load();
    }
    return view_ != nullptr;
}

void frmDialog::ShowModal() { Window().ShowModal(); }

void frmDialog::Unload() noexcept {
    if (view_) Form_Unload();
}

// ------------------------------------------------------------- lifecycle

void frmDialog::Form_Initialize() noexcept { services_.views.InitCommonControls(); }

void frmDialog::Form_Load() noexcept {
    ArmCountdown(*view_);
    // The first tick at once: it ends a one-second dialog before it is built.
    if (lDialogTimeout > 0) ISTimer_Timer();
}

void frmDialog::Form_Activate() noexcept {
    // Only the loaded window is ever activated.
    if (!bAvoidSplash || !view_) return;
    const float top = static_cast<float>(services_.ui.ScreenHeightTwips()) / 5.0f;
    view_->SetTop(RoundHalfEven32(top));
    view_->Refresh();
}

void frmDialog::Form_Unload() noexcept {
    // The request fields stay as they are: ShowMessageDialog reads the
    // result after the window has gone. The window object itself outlives
    // this call while one of its own handlers is still running.
    std::shared_ptr<DialogView> view = std::move(view_);
    view->Unload();
}

void frmDialog::ISTimer_Timer() noexcept {
    // A tick that arrives while one is handled does nothing at all.
    if (bInTimer) return;
    bInTimer = true;
    ++lElapsedSeconds;
    // The first tick comes from Form_Load, the others from the loaded
    // window; one handled after the window went has no title to write.
    if (view_) {
        view_->SetCaption(SDialogTitle + " (" +
                          std::to_string(static_cast<int64_t>(lDialogTimeout) - lElapsedSeconds) +
                          ")");
    }
    if (lElapsedSeconds >= lDialogTimeout) {
        lDialogButtonID = lTimeOutButton;
        bInTimer = false;
        Unload();
    }
    bInTimer = false;
}

void frmDialog::cmdOption_Click(int16_t index) noexcept {
    Trap trap(log_, "frmDialog.cmdOption_Click");
    std::string caption;
    // A slot the window does not have fails (340) and the dialog ends with
    // the result it had.
    trap([&] { caption = Window().ButtonCaption(index); });
    if (const auto result = ResultForCaption(caption)) lDialogButtonID = *result;
    Unload();
}

void frmDialog::SystemClose() noexcept {
    // lDialogButtonID keeps the Cancel that FormSetup preset.
    Unload();
}

// ----------------------------------------------------------------- build

void frmDialog::ArmCountdown(DialogView& window) noexcept {
    if (lDialogTimeout > 0) {
        lElapsedSeconds = 0;
        window.SetTimerInterval(kTickMs);
        window.SetTimerEnabled(true);
    } else {
        window.SetTimerEnabled(false);
    }
}

// Each step traps its own failures under the routine's name, so a failing
// step costs only what it would have built.
void frmDialog::FormSetup() noexcept {
    const ContentMeasure measure = PrepareContent();
    const int16_t extraHeight = FormulaExtraHeight(measure);

    // From here on the window is needed. Loading it runs the first
    // countdown tick, which ends a one-second dialog at once: there is
    // nothing left to build then.
    Trap trap(log_, kFormSetup);
    bool loaded = false;
    trap([&] { loaded = EnsureLoaded(); });
    if (!loaded) return;

    // Nothing in the build lets events run, so no tick or click can unload
    // the window under it; held all the same.
    const std::shared_ptr<DialogView> view = view_;
    DialogView& window = *view;
    if (measure.grows) GrowBody(window, extraHeight);
    ApplyLibraryStyle(window);
    ShowTexts(window);
    FitBodyToText(window);
    ShowButtons(window, ShowImages(window));
    // Re-armed here, so the countdown the user sees starts with the finished window.
    ArmCountdown(window);
    window.Refresh();
}

ContentMeasure frmDialog::PrepareContent() noexcept {
    Trap trap(log_, kFormSetup);
    trap([&] {
        if (SDialogContent.find('\r') == std::string::npos &&
            WordCount(SDialogContent) - 1 > kMaxWordIndex) {
            // The classic word index is 16 bits; the whole text is still
            // wrapped, the overflow is only recorded.
            throw err::Make(err::kOverflow);
        }
    });
    trap([&] { SDialogContent = WrapDialogContent(SDialogContent); });
    return MeasureContent(SDialogContent);
}

int16_t frmDialog::FormulaExtraHeight(const ContentMeasure& measure) noexcept {
    Trap trap(log_, kFormSetup);
    int16_t extraHeight = 0;
    if (measure.grows) {
        trap([&] { extraHeight = CheckedInt16(FirstExtraHeight(measure)); });
        trap([&] {
            const int64_t minimum = MinimumExtraHeight(measure);
            if (extraHeight < minimum) extraHeight = CheckedInt16(minimum);
        });
    }
    return extraHeight;
}

void frmDialog::GrowBody(DialogView& window, int32_t extraHeight) noexcept {
    window.SetHeight(window.Height() + extraHeight);
    window.SetPanelTop(window.PanelTop() + extraHeight);
    window.SetLineY1(window.LineY1() + extraHeight);
    window.SetLineY2(window.LineY2() + extraHeight);
}

void frmDialog::ApplyLibraryStyle(DialogView& window) noexcept {
    Trap trap(log_, kFormSetup);
    // A missing or damaged library costs only the look: the dialog works unstyled.
    std::string styleText;
    trap([&] {
        styleText = window.LoadStyleResource(services_.app.Identity().path + "\\" + kStyleLibrary,
                                             kStyleName);
    });
    if (!styleText.empty()) trap([&] { window.ApplyStyle(ParseDialogStyle(styleText)); });
}

void frmDialog::ShowTexts(DialogView& window) noexcept {
    window.SetCaption(SDialogTitle);
    window.SetContentText(SDialogContent);
    window.SetMessageText(sDialogMessage);
    // A window closed without a button reports Cancel.
    lDialogButtonID = static_cast<int32_t>(DialogResult::Cancel);
}

void frmDialog::FitBodyToText(DialogView& window) noexcept {
    // The growth rule counts characters; the font decides how many lines
    // they really take (a wider font wraps the wrapped lines again, and a
    // rule line of 190 twips is less than one 8-point line at 96 dpi).
    Trap trap(log_, kFormSetup);
    trap([&] {
        const int64_t textBottom =
            static_cast<int64_t>(window.ContentTop()) + window.ContentTextHeight();
        const int64_t shortfall = textBottom + kBodyTextGap - window.LineY1();
        if (shortfall > 0) GrowBody(window, CheckedInt16(shortfall));
    });
}

int16_t frmDialog::ShowImages(DialogView& window) noexcept {
    Trap trap(log_, kFormSetup);
    const int32_t imageKind = lDialogButton & kImageKindMask;
    int16_t buttonSet = 0;
    const ImageKindInfo* kind = nullptr;
    for (const ImageKindInfo& k : kImageKinds) {
        if (imageKind == static_cast<int32_t>(k.kind)) kind = &k;
    }
    // The picture's surface and the icon are made on demand and can fail:
    // the dialog then shows without them.
    const auto draw = [&](DialogImage& image) {
        image.Draw(window.PictureSurface(), 0, 0, kPictureSize, kPictureSize, 0);
    };
    if (kind != nullptr) {
        window.ShowPicture();
        trap([&] { draw(*window.Icon(kind->iconId, kPictureSize)); });
        trap([&] { buttonSet = CheckedInt16(static_cast<int64_t>(lDialogButton) - imageKind); });
        if (sDialogMessage.empty()) window.SetMessageText(std::string(kind->word));
    } else {
        trap([&] { buttonSet = CheckedInt16(lDialogButton); });
    }

    // A caller's own image is drawn over the kind's icon.
    if (xDialogImage) {
        window.ShowPicture();
        trap([&] { draw(*xDialogImage); });
    }
    return buttonSet;
}

void frmDialog::ShowButtons(DialogView& window, int16_t buttonSet) noexcept {
    if (const auto layout = LayoutOf(buttonSet & kButtonSetMask)) {
        for (int16_t slot = 0; slot < kDialogButtonSlots; ++slot) {
            const std::string_view caption = layout->captions[static_cast<size_t>(slot)];
            if (caption.empty()) continue;
            window.SetButtonVisible(slot, true);
            window.SetButtonCaption(slot, std::string(caption));
        }
        window.SetDefaultButton(layout->defaultSlot);
    }

    // The flags name slots, not the second or third button of the set.
    if ((lDialogButton & kDefaultSlot2) == kDefaultSlot2) {
        if (window.ButtonVisible(kLeftSlot)) window.SetDefaultButton(kLeftSlot);
    } else if ((lDialogButton & kDefaultSlot1) == kDefaultSlot1) {
        if (window.ButtonVisible(kMiddleSlot)) window.SetDefaultButton(kMiddleSlot);
    }
}

// ------------------------------------------------------------ the object

namespace {
std::unique_ptr<frmDialog>& Instance() {
    static std::unique_ptr<frmDialog> form;
    return form;
}
}  // namespace

frmDialog& DialogForm(const DialogServices& services, CErrorUpdate& log) {
    if (!Instance()) Instance() = std::make_unique<frmDialog>(services, log);
    return *Instance();
}

void ReleaseDialogForm() { Instance().reset(); }

}  // namespace tav
