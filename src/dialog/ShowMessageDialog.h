// The program's one way to show a message dialog.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "error_log/CErrorUpdate.h"
#include "platform/dialog_view.h"

namespace tav {

// Fills the dialog's request, builds the dialog, centres it horizontally,
// shows it modally without owner and returns the result code: the pressed
// button's (1 to 7), 2 when the window was closed without a button, or
// the dialog's lTimeOutButton when the countdown ended it. The dialog logs
// its failures to log. Never throws.
int32_t ShowMessageDialog(CErrorUpdate& log, const std::string& content, int32_t style,
                          const std::string& title, const std::string& message, int16_t timeout,
                          const std::shared_ptr<DialogImage>& image, bool avoidSplash);

}  // namespace tav
