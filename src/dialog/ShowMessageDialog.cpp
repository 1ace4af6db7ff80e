#include "dialog/ShowMessageDialog.h"

#include "core/number_text.h"
#include "dialog/frmDialog.h"
#include "error_log/trap.h"
#include "platform/platform.h"

namespace tav {

int32_t ShowMessageDialog(const DialogServices& services, CErrorUpdate& log,
                          const std::string& content, int32_t style, const std::string& title,
                          const std::string& message, int16_t timeoutSeconds,
                          const std::shared_ptr<DialogImage>& image, bool avoidSplash) noexcept {
    frmDialog& form = DialogForm(services, log);
    // lDialogButtonID and lTimeOutButton are the dialog's own.
    form.SDialogTitle = title;
    form.sDialogMessage = message;
    form.SDialogContent = content;
    form.lDialogButton = style;
    form.lDialogTimeout = timeoutSeconds;
    form.xDialogImage = image;
    form.bAvoidSplash = avoidSplash;
    form.FormSetup();
    // A dialog whose countdown ended while it was built is not shown.
    if (form.Loaded()) {
        const float left = (static_cast<float>(services.ui.ScreenWidthTwips()) -
                            static_cast<float>(form.Window().Width())) /
                           2.0f;
        form.Window().SetLeft(RoundHalfEven32(left));
        // A modal loop that fails leaves the result the dialog last set.
        Trap::Silent()([&] { form.ShowModal(); });
    }
    const int32_t result = form.lDialogButtonID;
    form.Unload();
    return result;
}

}  // namespace tav
