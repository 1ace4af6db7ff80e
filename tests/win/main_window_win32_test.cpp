// The program's real main window: its controls, layout and keyboard, and
// closing inside a handler. The texts, bar and silent box are read end to
// end.
#include <gmock/gmock.h>

#include <vector>

#include "platform/win32/win.h"

#include <objbase.h>

#include "app/state.h"
#include "fakes/fake_main_window.h"
#include "main_window/frmMain.h"
#include "platform/win32/dpi.h"
#include "platform/win32/handler_scope.h"
#include "platform/win32/main_window_win32.h"
#include "platform/win32/platform_win32.h"
#include "platform/win32/runtime_win32.h"
#include "win_test_support.h"

namespace tav {
namespace {

class MainWindowWinTest : public ::testing::Test {
protected:
    void SetUp() override {
        win32::InstallWin32Platform();
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        state.location.folder = temp.path();
        // A yield runs the real window's messages, as the program's does.
        services.onYield = [] { win32::Win32EventLoop().DoEvents(); };
        ASSERT_TRUE(window.Create(form)) << "the window was not made";
        hwnd = reinterpret_cast<HWND>(window.Handle());
        form.Form_Load();
        window.SetStartTimerEnabled(false);  // no update: this test drives the window
        window.Show();
    }

    wintest::TempFolder temp;
    ProgramState state{win32::InstallWin32Platform()};
    fakes::FakeMainWindow services;  // only its services are used
    win32::Win32MainWindow window;
    frmMain form{window, services, state.location, state.log};
    HWND hwnd = nullptr;
};

TEST_F(MainWindowWinTest, ControlsAreRealLaidOutAndEscapePressesAbort) {
    window.SetStatusVisible(true);
    window.SetBarVisible(true);
    form.Status("Downloading setup.exe 1,250 of 2,500 K Bytes  (50%)", 50);
    EXPECT_THROW(window.SetBarValue(101), Failure) << "the bar took a value over 100";

    RECT rc;
    ::GetClientRect(hwnd, &rc);
    EXPECT_EQ(rc.right, ::MulDiv(6000, static_cast<int>(win32::DpiOf(hwnd)), 1440))
        << "the window is not 6000 twips wide";
    EXPECT_THAT(wintest::LayoutFaults(hwnd), ::testing::IsEmpty());
    wintest::PumpMessages(300);
    EXPECT_TRUE(wintest::SaveWindowPicture(hwnd, "main_window_progress"));

    std::vector<int> tabOrder;  // Abort, the three labels, status, bar, silent box
    for (HWND c = ::GetWindow(hwnd, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
        tabOrder.push_back(::GetDlgCtrlID(c));
    EXPECT_EQ(tabOrder, (std::vector<int>{IDCANCEL, 101, 102, 103, 104, 105, 106}))
        << "the controls are not in the tab order";
    HWND abort = ::GetDlgItem(hwnd, IDCANCEL);
    ::SetFocus(abort);
    ::PostMessageW(abort, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(wintest::PumpMessages(5000, [&] { return !::IsWindow(hwnd); }))
        << "Escape did not close the window";
    EXPECT_TRUE(form.closed()) << "Escape did not reach Abort";
}

TEST_F(MainWindowWinTest, AbortInsideAYieldClosesOnlyWhenTheOutermostHandlerReturns) {
    bool windowAfterTheYield = false;
    {
        // A download notification, entered as the read service's window
        // enters it, yields; Abort is clicked meanwhile.
        const win32::HandlerScope notification;
        ::PostMessageW(::GetDlgItem(hwnd, IDCANCEL), BM_CLICK, 0, 0);
        form.Status("busy");
        EXPECT_TRUE(form.closed()) << "Abort was not heard in the yield";
        EXPECT_FALSE(::IsWindowVisible(hwnd)) << "the closed window still shows";
        windowAfterTheYield = ::IsWindow(hwnd) != 0;
    }
    EXPECT_TRUE(windowAfterTheYield) << "the window went while a handler was on the stack";
    EXPECT_FALSE(::IsWindow(hwnd)) << "the window stayed after the outermost handler";
}

}  // namespace
}  // namespace tav
