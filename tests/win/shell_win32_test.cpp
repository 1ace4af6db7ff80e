// The installer's start through the shell, and the wait for a file someone
// else holds a moment (at the start, the naming and the hand-over).
#include <gtest/gtest.h>

#include <thread>

#include "core/failure.h"
#include "platform/win32/runtime_win32.h"
#include "platform/win32/share_retry.h"
#include "platform/win32/shell_win32.h"
#include "platform/win32/text.h"
#include "win_test_support.h"

namespace tav {
namespace {

HANDLE OpenUnshared(const std::string& path) {
    return ::CreateFileW(win32::Widen(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                         nullptr);
}

// A scanner's moment with a new file is waited out; a hold that lasts
// fails with the sharing violation once the retries are spent.
TEST(ShareRetryWinTest, AMomentaryHoldIsWaitedOutALastingOneIsNot) {
    wintest::TempFolder temp;
    const std::string path = temp.path() + "\\setup.exe";
    ASSERT_TRUE(wintest::WriteFileBytes(path, "installer")) << "no file to hold";
    for (const bool lasting : {false, true}) {
        SCOPED_TRACE(lasting ? "a lasting hold" : "a momentary hold");
        HANDLE scanner = OpenUnshared(path);
        ASSERT_NE(scanner, INVALID_HANDLE_VALUE) << "the file could not be held";
        std::thread release([&] {
            if (lasting) return;
            ::Sleep(300);
            ::CloseHandle(scanner);
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
        EXPECT_EQ(opened, !lasting) << "waited out wrongly";
        if (lasting) {
            EXPECT_EQ(error, static_cast<DWORD>(ERROR_SHARING_VIOLATION))
                << "the last error is not the attempt's";
            EXPECT_EQ(attempts, win32::kShareRetries + 1) << "the retries are not bounded";
            ::CloseHandle(scanner);
        } else {
            EXPECT_GT(attempts, 1) << "the first attempt did not meet the hold";
            ::CloseHandle(ours);
        }
    }
    int attempts = 0;
    EXPECT_FALSE(win32::RetryWhileShared([&] {
        ++attempts;
        ::SetLastError(ERROR_ACCESS_DENIED);
        return false;
    })) << "a refusal taken for success";
    EXPECT_EQ(attempts, 1) << "more than sharing is retried";
}

// The installer is started as the user would open it ("Open", shown
// normally) in the installation folder; a start that fails keeps the
// classic number the log's readers know (53 for a missing installer).
// The verb, which the started program cannot see, is read from the request.
TEST(ShellWinTest, TheInstallerStartsInItsFolderShownOrFailsWithTheClassicNumber) {
    wintest::TempFolder temp;
    const std::string installer = temp.path() + "\\setup.exe";
    ASSERT_TRUE(wintest::CopyFromBuild(TAV_TEST_HELPER_DIR "/installer_stub.exe", installer))
        << "no installer to start";
    const struct {
        const char* file;
        int32_t number;  // 0: started
    } rows[] = {{"setup.exe", 0}, {"missing.exe", err::kFileNotFound}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        int32_t number = 0;
        try {
            win32::Win32Shell().Open(temp.path() + "\\" + row.file, "/s", temp.path() + "\\");
        } catch (const Failure& f) {
            number = f.number();
            EXPECT_FALSE(f.description().empty()) << "the system's own words are missing";
        }
        EXPECT_EQ(number, row.number) << "started or failed wrongly";
    }
    const std::string record = installer + ".record.txt";
    wintest::PumpMessages(30000, [&] { return !wintest::ReadFileBytes(record).empty(); });
    const std::string expected =
        "args=/s\r\ncwd=" + temp.path() + "\r\nshow=" + std::to_string(SW_SHOWNORMAL) + "\r\n";
    EXPECT_STRCASEEQ(wintest::ReadFileBytes(record).c_str(), expected.c_str())
        << "not started with its arguments, in its folder, shown normally";
    const std::wstring file = L"C:\\TAV\\setup.exe";
    const std::wstring none;
    const std::wstring folder = L"C:\\TAV\\";
    const SHELLEXECUTEINFOW request = win32::ShellOpenRequest(file, none, folder);
    EXPECT_STREQ(request.lpVerb, L"Open") << "not asked to open the installer";
    EXPECT_EQ(request.lpParameters, nullptr) << "no parameters passed as an empty one";
}

}  // namespace
}  // namespace tav
