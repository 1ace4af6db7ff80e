// The run-time services the message dialog works with.
#pragma once

#include "platform/dialog_view.h"
#include "platform/runtime.h"

namespace tav {

struct DialogServices {
    DialogViews& views;  // makes the window
    Ui& ui;              // the screen it is placed on
    App& app;            // the folder of the style library
};

}  // namespace tav
