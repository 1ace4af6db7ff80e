#include "error_log/trap.h"

#include "error_log/CErrorUpdate.h"

namespace tav {

void Trap::Handle(const Failure& f) noexcept {
    try {
        lastError_ = f.description();
    } catch (...) {
        // Nothing may leave a trap.
    }
    if (log_) log_->Log(routine_, f);
}

}  // namespace tav
