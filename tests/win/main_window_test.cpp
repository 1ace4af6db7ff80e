// The real main window: its controls as another process reads them, the
// keyboard, the start timer and the close that ends the program.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/win32/win.h"

#include <commctrl.h>
#include <objbase.h>

#include "app/state.h"
#include "fakes/fake_main_window.h"
#include "main_window/frmMain.h"
#include "platform/win32/handler_scope.h"
#include "platform/win32/main_window_win32.h"
#include "platform/win32/platform_win32.h"
#include "platform/win32/runtime_win32.h"
#include "win_test_support.h"

namespace tav {
namespace {

using ::testing::ElementsAre;

class MainWindowWinTest : public ::testing::Test {
protected:
    void SetUp() override {
        win32::InstallWin32Platform();
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        sInstallLocation = temp.path();
        ASSERT_TRUE(window.Create(form));
        hwnd = reinterpret_cast<HWND>(window.Handle());
    }
    void TearDown() override {
        sInstallLocation.clear();
    }
    static bool Gone(void* h) { return !::IsWindow(static_cast<HWND>(h)); }

    wintest::TempFolder temp;
    fakes::FakeMainWindow services;  // only its services are used
    win32::Win32MainWindow window;
    frmMain form{window, services};
    HWND hwnd = nullptr;
};

TEST_F(MainWindowWinTest, ControlsAreRealAndReadable) {
    form.Form_Load();
    window.Show();
    window.SetStartTimerEnabled(false);  // keep the window for this test
    EXPECT_EQ(wintest::WindowText(::GetDlgItem(hwnd, IDCANCEL)), "Abort");
    // Tab order: Abort first.
    EXPECT_EQ(::GetWindow(hwnd, GW_CHILD), ::GetDlgItem(hwnd, IDCANCEL));

    std::vector<std::string> texts;
    for (HWND c = ::GetWindow(hwnd, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) texts.push_back(wintest::WindowText(c));
    ASSERT_EQ(texts.size(), 7u);
    EXPECT_EQ(texts[1], "Version 7.6.10");
    EXPECT_EQ(texts[2], "TAV Update Manager");
    EXPECT_THAT(texts[3], ::testing::StartsWith("Copyright"));
    EXPECT_EQ(texts[4], "Initializing...");
    EXPECT_EQ(texts[6], "Silent Installation");

    HWND status = ::GetDlgItem(hwnd, 104), bar = ::GetDlgItem(hwnd, 105), silent = ::GetDlgItem(hwnd, 106);
    EXPECT_FALSE(::IsWindowVisible(status));
    EXPECT_FALSE(::IsWindowVisible(bar));
    window.SetStatusVisible(true);
    window.SetBarVisible(true);
    form.Status("Downloading setup.exe 1,250 of 2,500 K Bytes  (50%)", 50);
    EXPECT_EQ(wintest::WindowText(status), "Downloading setup.exe 1,250 of 2,500 K Bytes  (50%)");
    EXPECT_EQ(::SendMessageW(bar, PBM_GETPOS, 0, 0), 50);
    EXPECT_THROW(window.SetBarValue(101), Failure);
    EXPECT_THAT(wintest::LayoutFaults(hwnd), ::testing::IsEmpty());

    EXPECT_FALSE(window.SilentChecked());
    ::SendMessageW(silent, BM_CLICK, 0, 0);
    EXPECT_TRUE(window.SilentChecked());
    EXPECT_EQ(::SendMessageW(silent, BM_GETCHECK, 0, 0), BST_CHECKED);

    RECT rc;
    ::GetClientRect(hwnd, &rc);
    EXPECT_EQ(rc.right, ::MulDiv(6000, ::GetDeviceCaps(::GetDC(nullptr), LOGPIXELSX), 1440));
    wintest::PumpMessages(300);
    EXPECT_TRUE(wintest::SaveWindowPicture(hwnd, "main_window_progress"));
    window.Close();
    EXPECT_FALSE(::IsWindow(hwnd));
}

TEST_F(MainWindowWinTest, EscapePressesAbortAndTheWindowGoes) {
    form.Form_Load();
    window.SetStartTimerEnabled(false);
    window.Show();
    ::SetFocus(::GetDlgItem(hwnd, IDCANCEL));
    ::PostMessageW(::GetDlgItem(hwnd, IDCANCEL), WM_KEYDOWN, VK_ESCAPE, 0);
    wintest::PumpMessages(5000, Gone, hwnd);
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_TRUE(form.closed());
}

TEST_F(MainWindowWinTest, StartTimerTicksOnceAndReportsAMissingUrl) {
    form.Form_Load();  // this test program's own command line has no "|"
    window.Show();
    wintest::PumpMessages(5000, Gone, hwnd);
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_THAT(services.calls, ElementsAre(::testing::StartsWith("SetIcon"),
                                            "Dialog Missing Download URL. Aborting Update Process!"));
}

TEST_F(MainWindowWinTest, AbortInsideAYieldClosesOnlyWhenTheOutermostHandlerReturns) {
    form.Form_Load();
    window.SetStartTimerEnabled(false);
    window.Show();
    bool windowAfterTheYield = false;
    {
        // A download notification, entered as the read service's window
        // enters it, yields; Abort is clicked meanwhile.
        const win32::HandlerScope notification;
        ::PostMessageW(::GetDlgItem(hwnd, IDCANCEL), BM_CLICK, 0, 0);
        form.Status("busy");
        EXPECT_TRUE(form.closed());
        EXPECT_FALSE(::IsWindowVisible(hwnd));
        windowAfterTheYield = ::IsWindow(hwnd) != 0;
    }
    EXPECT_TRUE(windowAfterTheYield);
    EXPECT_FALSE(::IsWindow(hwnd));
}

}  // namespace
}  // namespace tav
