#include "dialog/ShowMessageDialog.h"

#include "dialog/frmDialog.h"
#include "core/number_text.h"
#include "platform/platform.h"
#include "error_log/trap.h"

namespace tav {

int32_t ShowMessageDialog(CErrorUpdate& log, const std::string& content, int32_t style,
                          const std::string& title, const std::string& message, int16_t timeout,
                          const std::shared_ptr<DialogImage>& image, bool avoidSplash) {
    Trap quiet = Trap::Silent();
    frmDialog* form = nullptr;
    quiet([&] { form = &DialogForm(log); });
    if (form == nullptr) return 0;

    // lDialogButtonID and lTimeOutButton are the dialog's own.
    quiet([&] {
        form->SDialogTitle = title;
        form->sDialogMessage = message;
        form->SDialogContent = content;
        form->lDialogButton = style;
        form->lDialogTimeout = timeout;
        form->xDialogImage = image;
        form->bAvoidSplash = avoidSplash;
    });
    quiet([&] { form->FormSetup(); });
    // A dialog whose countdown ended while it was built is not shown.
    if (form->Loaded()) {
        quiet([&] {
            const float left = (static_cast<float>(platform().ui->ScreenWidthTwips()) -
                                static_cast<float>(form->Window().Width())) /
                               2.0f;
            form->Window().SetLeft(RoundHalfEven32(left));
        });
        quiet([&] { form->ShowModal(); });
    }
    const int32_t result = form->lDialogButtonID;
    quiet([&] { form->Unload(); });
    return result;
}

}  // namespace tav
