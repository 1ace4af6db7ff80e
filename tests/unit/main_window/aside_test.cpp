#include <gmock/gmock.h>

#include <atomic>
#include <thread>

#include "fakes/fake_platform.h"
#include "main_window/aside.h"

namespace tav {
namespace {

// Whole-file work runs beside the window's events, not before or after
// them: it sees events handled while it runs, and its failure comes back.
TEST(AsideTest, EventsRunWhileTheWorkRunsAndItsFailureComesBack) {
    fakes::FakePlatform fake;
    std::atomic<int> handled{0};
    fake.events.onDoEvents = [&] { ++handled; };
    const bool sawEvents = Aside(fake.events, [&] {
        for (int i = 0; i < 1000 && handled < 3; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return handled >= 3;
    });
    EXPECT_TRUE(sawEvents) << "no event meanwhile";
    EXPECT_THROW(Aside(fake.events, []() -> int { throw err::Make(err::kDiskFull); }), Failure)
        << "the work's failure was lost";
}

}  // namespace
}  // namespace tav
