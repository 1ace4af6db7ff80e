#include "app/modMain.h"

#include "app/state.h"
#include "platform/platform.h"
#include "error_log/trap.h"
#include "system/registry.h"

namespace tav {

bool Main(const std::function<void()>& openMainWindow) {
    Trap trap("modMain.Main");
    bool another = false;
    trap([&] { another = platform().app->PrevInstance(); });
    if (another) return false;  // no window, no message, no log entry
    trap([&] { sInstallLocation = GetStringValue(kTavKey, kInstallLocationValue).value_or(""); });
    trap([&] { openMainWindow(); });
    return true;
}

}  // namespace tav
