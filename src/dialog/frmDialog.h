// The program's own message dialog: the request record, the build of the
// window from it, its handlers and its time-out countdown.
//
// The dialog object lives for the whole process, as the classic default
// form instance did: its request fields keep their values between
// requests, and its window is loaded on first use and unloaded at the end
// of each request.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "dialog/dialog_layout.h"
#include "dialog/dialog_services.h"
#include "error_log/CErrorUpdate.h"
#include "platform/dialog_view.h"

namespace tav {

// What a caller asks of the dialog, and its result.
struct DialogRequest {
    int32_t lDialogButtonID = 0;  // out: the result
    int32_t lDialogButton = 0;    // the style word
    std::string sDialogMessage;   // headline; empty: the image kind's word
    std::string SDialogContent;   // body text; re-wrapped by FormSetup
    std::string SDialogTitle;
    int16_t lDialogTimeout = 0;                 // seconds; 0 or less: no countdown
    int32_t lTimeOutButton = 0;                 // the result when the countdown ends
    std::shared_ptr<DialogImage> xDialogImage;  // drawn over the kind's icon
    bool bAvoidSplash = false;                  // placed high on the screen when activated
};

class frmDialog : public DialogRequest, private DialogEvents {
public:
    // Works with services and logs its failures to log.
    frmDialog(const DialogServices& services, CErrorUpdate& log);
    ~frmDialog() override;
    frmDialog(const frmDialog&) = delete;
    frmDialog& operator=(const frmDialog&) = delete;

    // Builds the window from the request fields, loading it first; a step
    // that fails is logged under "frmDialog.FormSetup" and the build goes on.
    void FormSetup() noexcept;

    // True while the window is loaded.
    bool Loaded() const { return view_ != nullptr; }
    // The loaded window; throws Failure 364 (Object was unloaded) when
    // there is none.
    DialogView& Window();
    // Shows the loaded window modally; returns once it has unloaded.
    void ShowModal();
    // Unloads the window; nothing happens when it is not loaded.
    void Unload() noexcept;

    // Countdown ticks since the countdown was armed.
    int32_t elapsedSeconds() const { return lElapsedSeconds; }

private:
    void Form_Initialize() noexcept;
    void Form_Load() noexcept;
    void Form_Unload() noexcept;
    // Loads the window when it is not; false when it is gone afterwards
    // (the first countdown tick already ended it). Throws when the window
    // cannot be made.
    bool EnsureLoaded();

    void Form_Activate() noexcept override;
    void ISTimer_Timer() noexcept override;
    void cmdOption_Click(int16_t index) noexcept override;
    void SystemClose() noexcept override;

    // The steps of FormSetup; the later ones on the loaded window.
    ContentMeasure PrepareContent() noexcept;
    int16_t FormulaExtraHeight(const ContentMeasure& measure) noexcept;
    void GrowBody(DialogView& window, int32_t extraHeight) noexcept;
    void ApplyLibraryStyle(DialogView& window) noexcept;
    void ShowTexts(DialogView& window) noexcept;
    void FitBodyToText(DialogView& window) noexcept;
    int16_t ShowImages(DialogView& window) noexcept;  // returns the button set the style word names
    void ShowButtons(DialogView& window, int16_t buttonSet) noexcept;
    void ArmCountdown(DialogView& window) noexcept;

    DialogServices services_;
    CErrorUpdate& log_;
    std::shared_ptr<DialogView> view_;
    int32_t lElapsedSeconds = 0;
    bool bInTimer = false;
};

// The program's one dialog object, created on first use with services and
// log.
frmDialog& DialogForm(const DialogServices& services, CErrorUpdate& log);
// Drops the dialog object; a later use creates it afresh.
void ReleaseDialogForm();

}  // namespace tav
