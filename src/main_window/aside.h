// Whole-file work on a large installer takes seconds, which the window
// must not spend frozen: such work runs on a thread of its own while the
// user-interface thread keeps handling its events.
#pragma once

#include <chrono>
#include <functional>
#include <future>

#include "platform/runtime.h"

namespace tav {

// Runs work on a thread of its own while this thread keeps handling events
// (painting, Abort) of events, calling afterEvents after each round;
// returns what work returned or throws what it threw.
template <typename Work>
auto Aside(EventLoop& events, Work work, const std::function<void()>& afterEvents = {})
    -> decltype(work()) {
    auto task = std::async(std::launch::async, [&events, work = std::move(work)]() mutable {
        // The waiting thread hears the end at once, not at its next round.
        struct WakeAtEnd {
            EventLoop& loop;
            ~WakeAtEnd() { loop.Wake(); }
        } wake{events};
        return work();
    });
    while (task.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
        events.WaitForEvents(20);
        events.DoEvents();
        if (afterEvents) afterEvents();
    }
    return task.get();
}

}  // namespace tav
