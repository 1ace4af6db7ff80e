// The install step's moments with the real system that the fakes cannot
// show: a file someone else holds for a moment, and a start that fails.
#include <gtest/gtest.h>

#include <thread>

#include "core/failure.h"
#include "platform/win32/runtime_win32.h"
#include "platform/win32/share_retry.h"
#include "platform/win32/text.h"
#include "win_test_support.h"

namespace tav {
namespace {

using win32::Widen;

HANDLE OpenUnshared(const std::string& path) {
    return ::CreateFileW(Widen(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

// A scanner's moment with a new file is waited out; a hold that lasts
// fails with the sharing violation once the retries are spent.
TEST(ShareRetryWinTest, AMomentaryHoldIsWaitedOutALastingOneIsNot) {
    wintest::TempFolder temp;
    const std::string path = temp.path() + "\\setup.exe";
    ASSERT_TRUE(wintest::WriteFileBytes(path, "installer"));
    for (const bool lasting : {false, true}) {
        HANDLE scanner = OpenUnshared(path);
        ASSERT_NE(scanner, INVALID_HANDLE_VALUE);
        std::thread release([&] {
            if (!lasting) {
                ::Sleep(300);
                ::CloseHandle(scanner);
            }
        });
        int attempts = 0;
        HANDLE ours = INVALID_HANDLE_VALUE;
        const bool opened = win32::RetryWhileShared([&] {
            ++attempts;
            ours = OpenUnshared(path);
            return ours != INVALID_HANDLE_VALUE;
        });
        const DWORD error = ::GetLastError();
        release.join();
        if (lasting) {
            EXPECT_FALSE(opened) << "a lasting hold is not waited out";
            EXPECT_EQ(error, static_cast<DWORD>(ERROR_SHARING_VIOLATION))
                << "the last error is the attempt's";
            EXPECT_EQ(attempts, win32::kShareRetries + 1) << "the retries are bounded";
            ::CloseHandle(scanner);
        } else {
            EXPECT_TRUE(opened) << "a momentary hold is waited out";
            EXPECT_GT(attempts, 1) << "the first attempt met the hold";
            ::CloseHandle(ours);
        }
    }
    int attempts = 0;
    EXPECT_FALSE(win32::RetryWhileShared([&] {
        ++attempts;
        ::SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }));
    EXPECT_EQ(attempts, 1) << "only sharing is retried";
}

// The log's readers know the classic numbers: a missing installer is 53.
TEST(ShellWinTest, AStartThatFailsSaysWhyWithTheClassicNumber) {
    wintest::TempFolder temp;
    win32::Win32Shell shell;
    try {
        shell.Open(temp.path() + "\\missing.exe", "/s", temp.path() + "\\");
        ADD_FAILURE() << "a missing installer was started";
    } catch (const Failure& f) {
        EXPECT_EQ(f.number(), err::kFileNotFound) << f.description();
        EXPECT_FALSE(f.description().empty()) << "the system's own words";
    }
}

}  // namespace
}  // namespace tav
