// The program's one way to show a message dialog.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "dialog/dialog_services.h"
#include "error_log/CErrorUpdate.h"
#include "platform/dialog_view.h"

namespace tav {

// A time-out of this or less: no countdown, the dialog waits for the user.
inline constexpr int16_t kNoTimeout = 0;

// Fills the dialog's request, builds the dialog, centres it horizontally,
// shows it modally without owner and returns the result code: the pressed
// button's (1 to 7), 2 when the window was closed without a button, or
// the dialog's lTimeOutButton when the countdown ended it. The style word
// is made of the codes in dialog_codes.h; image is drawn over the style's
// icon; avoidSplash places the dialog high on the screen. The dialog works
// with services and logs its failures to log.
int32_t ShowMessageDialog(const DialogServices& services, CErrorUpdate& log,
                          const std::string& content, int32_t style, const std::string& title,
                          const std::string& message, int16_t timeoutSeconds = kNoTimeout,
                          const std::shared_ptr<DialogImage>& image = nullptr,
                          bool avoidSplash = false) noexcept;

}  // namespace tav
