#include "error_log/trap.h"

#include "app/state.h"
#include "error_log/CErrorUpdate.h"

namespace tav {

void Trap::Handle(const Failure& f) noexcept {
    // The record must still describe the failure while the log reads it,
    // and must be clear again before the routine's next statement runs.
    try {
        lastError_ = f.description();
        CurrentError().Set(f);
        if (!silent_) ErrorLog().Log(routine_);
    } catch (...) {
        // The log never fails its caller; nothing may leave a trap.
    }
    CurrentError().Clear();
}

}  // namespace tav
