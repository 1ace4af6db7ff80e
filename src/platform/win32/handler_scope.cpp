#include "platform/win32/handler_scope.h"

#include <utility>
#include <vector>

namespace tav::win32 {

namespace {
int depth = 0;
bool destroying = false;
std::vector<std::function<void()>>& Pending() {
    static std::vector<std::function<void()>> pending;
    return pending;
}

void RunPending() {
    // A destroy sends messages of its own, whose handlers end at depth 0
    // again: they must not start this loop a second time.
    if (destroying) return;
    destroying = true;
    while (!Pending().empty()) {
        auto batch = std::exchange(Pending(), {});
        for (auto& destroy : batch) {
            try {
                destroy();
            } catch (...) {
                // Nothing leaves a window procedure.
            }
        }
    }
    destroying = false;
}
}  // namespace

HandlerScope::HandlerScope() noexcept { ++depth; }

HandlerScope::~HandlerScope() {
    if (--depth == 0) RunPending();
}

int HandlerDepth() noexcept { return depth; }

void DestroyWhenNoHandlerRuns(std::function<void()> destroy) {
    Pending().push_back(std::move(destroy));
    if (depth == 0) RunPending();
}

}  // namespace tav::win32
