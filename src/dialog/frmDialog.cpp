#include "dialog/frmDialog.h"

#include "dialog/dialog_codes.h"
#include "dialog/dialog_layout.h"
#include "dialog/dialog_style.h"
#include "core/failure.h"
#include "core/number_text.h"
#include "platform/platform.h"
#include "error_log/trap.h"

namespace tav {

namespace {
constexpr int32_t kObjectWasUnloaded = 364;
constexpr uint32_t kTickMs = 1000;
constexpr int32_t kPictureSize = 32;
constexpr int64_t kMaxWordIndex = 32767;
// Room left between the body's last line and the line above the bar.
constexpr int64_t kBodyTextGap = 60;
constexpr const char* kFormSetup = "frmDialog.FormSetup";
}  // namespace

frmDialog::frmDialog(CErrorUpdate& log) : log_(log) { Form_Initialize(); }

frmDialog::~frmDialog() = default;

DialogView& frmDialog::Window() {
    if (!view_) throw Failure(kObjectWasUnloaded, "Object was unloaded");
    return *view_;
}

bool frmDialog::EnsureLoaded() {
    if (!view_) {
        view_ = platform().dialogs->Load(*this);
        Form_Load();
    }
    return view_ != nullptr;
}

void frmDialog::ShowModal() { Window().ShowModal(); }

void frmDialog::Unload() {
    if (view_) Form_Unload();
}

// ------------------------------------------------------------- lifecycle

void frmDialog::Form_Initialize() {
    Trap trap(log_, "frmDialog.Form_Initialize");
    trap([&] { platform().dialogs->InitCommonControls(); });
}

void frmDialog::Form_Load() {
    Trap trap(log_, "frmDialog.Form_Load");
    if (lDialogTimeout > 0) {
        trap([&] { lElapsedSeconds = 0; });
        trap([&] { Window().SetTimerInterval(kTickMs); });
        trap([&] { Window().SetTimerEnabled(true); });
        trap([&] { ISTimer_Timer(); });
    } else {
        trap([&] { Window().SetTimerEnabled(false); });
    }
}

void frmDialog::Form_Activate() {
    Trap trap(log_, "frmDialog.Form_Activate");
    if (!bAvoidSplash) return;
    trap([&] {
        const float top = static_cast<float>(platform().ui->ScreenHeightTwips()) / 5.0f;
        Window().SetTop(RoundHalfEven32(top));
    });
    trap([&] { Window().Refresh(); });
}

void frmDialog::Form_Unload() {
    Trap trap(log_, "frmDialog.Form_Unload");
    // The request fields stay as they are: ShowMessageDialog reads the
    // result after the window has gone. The window object itself outlives
    // this call while one of its own handlers is still running.
    std::shared_ptr<DialogView> view = std::move(view_);
    trap([&] { view->Unload(); });
}

void frmDialog::ISTimer_Timer() {
    // A tick that arrives while one is handled does nothing at all.
    if (bInTimer) return;
    bInTimer = true;
    Trap quiet = Trap::Silent();
    quiet([&] { ++lElapsedSeconds; });
    quiet([&] {
        Window().SetCaption(SDialogTitle + " (" +
                            std::to_string(static_cast<int64_t>(lDialogTimeout) - lElapsedSeconds) +
                            ")");
    });
    quiet([&] {
        if (lElapsedSeconds >= lDialogTimeout) {
            lDialogButtonID = lTimeOutButton;
            bInTimer = false;
            Unload();
        }
    });
    bInTimer = false;
}

void frmDialog::cmdOption_Click(int16_t index) {
    Trap trap(log_, "frmDialog.cmdOption_Click");
    std::string caption;
    trap([&] { caption = Window().ButtonCaption(index); });
    trap([&] {
        if (const auto result = ResultForCaption(caption)) lDialogButtonID = *result;
    });
    trap([&] { Unload(); });
}

void frmDialog::SystemClose() {
    // lDialogButtonID keeps the Cancel that FormSetup preset.
    Unload();
}

// ----------------------------------------------------------------- build

void frmDialog::ArmCountdown() {
    Trap trap(log_, kFormSetup);
    if (lDialogTimeout > 0) {
        lElapsedSeconds = 0;
        trap([&] { Window().SetTimerInterval(kTickMs); });
        trap([&] { Window().SetTimerEnabled(true); });
    } else {
        trap([&] { Window().SetTimerEnabled(false); });
    }
}

// Each step traps its own failures under the routine's name, so a failing
// step costs only what it would have built.
void frmDialog::FormSetup() {
    const ContentMeasure measure = PrepareContent();
    const int16_t extraHeight = FormulaExtraHeight(measure);

    // From here on the window is needed. Loading it runs the first
    // countdown tick, which ends a one-second dialog at once: there is
    // nothing left to build then.
    Trap trap(log_, kFormSetup);
    bool loaded = false;
    trap([&] { loaded = EnsureLoaded(); });
    if (!loaded) return;

    if (measure.grows) GrowBody(extraHeight);
    ApplyLibraryStyle();
    ShowTexts();
    FitBodyToText();
    const int16_t buttonSet = ShowImages();
    ShowButtons(buttonSet);
    // Re-armed here, so the countdown the user sees starts with the finished window.
    ArmCountdown();
    trap([&] { Window().Refresh(); });
}

ContentMeasure frmDialog::PrepareContent() {
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

int16_t frmDialog::FormulaExtraHeight(const ContentMeasure& measure) {
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

void frmDialog::GrowBody(int32_t extraHeight) {
    Trap trap(log_, kFormSetup);
    trap([&] { Window().SetHeight(Window().Height() + extraHeight); });
    trap([&] { Window().SetPanelTop(Window().PanelTop() + extraHeight); });
    trap([&] { Window().SetLineY1(Window().LineY1() + extraHeight); });
    trap([&] { Window().SetLineY2(Window().LineY2() + extraHeight); });
}

void frmDialog::ApplyLibraryStyle() {
    Trap trap(log_, kFormSetup);
    // A missing or damaged library costs only the look: the dialog works unstyled.
    std::string styleText;
    trap([&] {
        styleText = Window().LoadStyleResource(
            platform().app->Identity().path + "\\" + kStyleLibrary, kStyleName);
    });
    trap([&] {
        if (!styleText.empty()) Window().ApplyStyle(ParseDialogStyle(styleText));
    });
}

void frmDialog::ShowTexts() {
    Trap trap(log_, kFormSetup);
    trap([&] { Window().SetCaption(SDialogTitle); });
    trap([&] { Window().SetContentText(SDialogContent); });
    trap([&] { Window().SetMessageText(sDialogMessage); });
    // A window closed without a button reports Cancel.
    lDialogButtonID = static_cast<int32_t>(DialogResult::Cancel);
}

void frmDialog::FitBodyToText() {
    // The growth rule counts characters; the font decides how many lines
    // they really take (a wider font wraps the wrapped lines again, and a
    // rule line of 190 twips is less than one 8-point line at 96 dpi).
    Trap trap(log_, kFormSetup);
    trap([&] {
        const int64_t textBottom =
            static_cast<int64_t>(Window().ContentTop()) + Window().ContentTextHeight();
        const int64_t shortfall = textBottom + kBodyTextGap - Window().LineY1();
        if (shortfall > 0) GrowBody(CheckedInt16(shortfall));
    });
}

int16_t frmDialog::ShowImages() {
    Trap trap(log_, kFormSetup);
    const int32_t imageKind = lDialogButton & kImageKindMask;
    int16_t buttonSet = 0;
    const ImageKindInfo* kind = nullptr;
    for (const ImageKindInfo& k : kImageKinds) {
        if (imageKind == static_cast<int32_t>(k.kind)) kind = &k;
    }
    if (kind != nullptr) {
        trap([&] { Window().ShowPicture(); });
        trap([&] {
            Window()
                .Icon(kind->iconId, kPictureSize)
                ->Draw(Window().PictureSurface(), 0, 0, kPictureSize, kPictureSize, 0);
        });
        trap([&] { buttonSet = CheckedInt16(static_cast<int64_t>(lDialogButton) - imageKind); });
        if (sDialogMessage.empty()) {
            trap([&] { Window().SetMessageText(std::string(kind->word)); });
        }
    } else {
        trap([&] { buttonSet = CheckedInt16(lDialogButton); });
    }

    // A caller's own image is drawn over the kind's icon.
    if (xDialogImage) {
        trap([&] { Window().ShowPicture(); });
        trap([&] {
            xDialogImage->Draw(Window().PictureSurface(), 0, 0, kPictureSize, kPictureSize, 0);
        });
    }
    return buttonSet;
}

void frmDialog::ShowButtons(int16_t buttonSet) {
    Trap trap(log_, kFormSetup);
    buttonSet = static_cast<int16_t>(buttonSet & kButtonSetMask);
    if (const auto layout = LayoutOf(buttonSet)) {
        for (int16_t slot = 0; slot < kDialogButtonSlots; ++slot) {
            const std::string_view caption = layout->captions[static_cast<size_t>(slot)];
            if (caption.empty()) continue;
            trap([&] { Window().SetButtonVisible(slot, true); });
            trap([&] { Window().SetButtonCaption(slot, std::string(caption)); });
        }
        trap([&] { Window().SetDefaultButton(layout->defaultSlot); });
    }

    // The flags name slots, not the second or third button of the set.
    if ((lDialogButton & kDefaultSlot2) == kDefaultSlot2) {
        trap([&] {
            if (Window().ButtonVisible(2)) Window().SetDefaultButton(2);
        });
    } else if ((lDialogButton & kDefaultSlot1) == kDefaultSlot1) {
        trap([&] {
            if (Window().ButtonVisible(1)) Window().SetDefaultButton(1);
        });
    }
}

// ------------------------------------------------------------ the object

namespace {
std::unique_ptr<frmDialog>& Instance() {
    static std::unique_ptr<frmDialog> form;
    return form;
}
}  // namespace

frmDialog& DialogForm(CErrorUpdate& log) {
    if (!Instance()) Instance() = std::make_unique<frmDialog>(log);
    return *Instance();
}

void ReleaseDialogForm() { Instance().reset(); }

}  // namespace tav
