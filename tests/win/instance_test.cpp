// The previous-instance test with real processes.
#include <gtest/gtest.h>

#include "platform/win32/runtime_win32.h"
#include "win_test_support.h"

namespace tav {
namespace {

using wintest::HostPath;
using wintest::StartProcess;
using wintest::WaitExit;

const std::string kProbe = HostPath(TAV_TEST_HELPER_DIR "/instance_probe.exe");

struct WindowSearch {
    DWORD pid;
    bool found;
};

BOOL CALLBACK FindWindowOf(HWND w, LPARAM p) {
    auto* search = reinterpret_cast<WindowSearch*>(p);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(w, &owner);
    if (owner == search->pid) search->found = true;
    return !search->found;
}

bool HasWindowOf(DWORD pid) {
    WindowSearch s{pid, false};
    ::EnumWindows(FindWindowOf, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

TEST(InstanceTest, SecondProcessSeesTheFirstAndThenNoLonger) {
    HANDLE ready = ::CreateEventW(nullptr, TRUE, FALSE, L"TAVTest.ProbeReady");
    ::ResetEvent(ready);
    HANDLE first = StartProcess(kProbe, "3000");
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(::WaitForSingleObject(ready, 20000), WAIT_OBJECT_0);

    HANDLE second = StartProcess(kProbe, "");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(WaitExit(second, 20000), 1);
    EXPECT_EQ(WaitExit(first, 20000), 0);

    HANDLE third = StartProcess(kProbe, "");
    EXPECT_EQ(WaitExit(third, 20000), 0);
    for (HANDLE h : {first, second, third, ready}) ::CloseHandle(h);
}

TEST(InstanceTest, UpdaterStartedWhileAnotherRunsEndsAtOnceWithoutWindow) {
    win32::Win32App running;
    ASSERT_FALSE(running.PrevInstance());

    HANDLE second = StartProcess(HostPath(TAV_EXE_PATH), "\"http://127.0.0.1:9/setup.exe|x\"");
    ASSERT_NE(second, nullptr);
    const DWORD pid = ::GetProcessId(second);
    bool sawWindow = false;
    long code = -1;
    for (int i = 0; i < 2000 && code == -1; ++i) {
        sawWindow = sawWindow || HasWindowOf(pid);
        code = WaitExit(second, 10);
    }
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(sawWindow);
    ::CloseHandle(second);
}

}  // namespace
}  // namespace tav
