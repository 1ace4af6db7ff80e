// The real main window and the window machinery under every form: the
// keyboard, the modal loop, and closing inside a handler.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "platform/win32/win.h"

#include <commctrl.h>
#include <objbase.h>

#include "app/state.h"
#include "fakes/fake_main_window.h"
#include "main_window/frmMain.h"
#include "platform/win32/form_window.h"
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
        sInstallLocation = temp.path();
        recorder.journal = nullptr;
        ASSERT_TRUE(window.Create(form));
        hwnd = reinterpret_cast<HWND>(window.Handle());
        form.Form_Load();
        window.SetStartTimerEnabled(false);  // no update: this test drives the window
        window.Show();
    }
    void TearDown() override { sInstallLocation.clear(); }

    wintest::TempFolder temp;
    fakes::FakeMainWindowView recorder;  // only for the services' journal
    fakes::FakeUpdateServices services{recorder};
    win32::Win32MainWindow window;
    frmMain form{window, services};
    HWND hwnd = nullptr;
};

TEST_F(MainWindowWinTest, ControlsAreRealLaidOutAndEscapePressesAbort) {
    HWND abort = ::GetDlgItem(hwnd, IDCANCEL), status = ::GetDlgItem(hwnd, 104), bar = ::GetDlgItem(hwnd, 105),
         silent = ::GetDlgItem(hwnd, 106);
    EXPECT_EQ(::GetWindow(hwnd, GW_CHILD), abort) << "Abort first in the tab order";
    EXPECT_FALSE(::IsWindowVisible(status));
    EXPECT_FALSE(::IsWindowVisible(bar));
    window.SetStatusVisible(true);
    window.SetBarVisible(true);
    form.Status("Downloading setup.exe 1,250 of 2,500 K Bytes  (50%)", 50);
    EXPECT_EQ(wintest::Text(status), "Downloading setup.exe 1,250 of 2,500 K Bytes  (50%)");
    EXPECT_EQ(::SendMessageW(bar, PBM_GETPOS, 0, 0), 50);
    EXPECT_THROW(window.SetBarValue(101), Failure);
    ::SendMessageW(silent, BM_CLICK, 0, 0);
    EXPECT_TRUE(window.SilentChecked());

    RECT rc;
    ::GetClientRect(hwnd, &rc);
    EXPECT_EQ(rc.right, ::MulDiv(6000, static_cast<int>(win32::DpiOf(hwnd)), 1440));
    EXPECT_THAT(wintest::LayoutFaults(hwnd), ::testing::IsEmpty());
    wintest::PumpMessages(300);
    EXPECT_TRUE(wintest::SaveWindowPicture(hwnd, "main_window_progress"));

    ::SetFocus(abort);
    ::PostMessageW(abort, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(wintest::PumpMessages(5000, [&] { return !::IsWindow(hwnd); }));
    EXPECT_TRUE(form.closed());
}

TEST_F(MainWindowWinTest, AbortInsideAYieldClosesOnlyWhenTheOutermostHandlerReturns) {
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

namespace win32 {
namespace {

constexpr int kLeftId = 10;
constexpr int kRightId = 11;

class TestForm : public FormWindow {
public:
    void Build() {
        FormDesign design;
        design.caption = L"Form test";
        design.screenRect = {1500, 1500, 2880, 1440};
        ASSERT_TRUE(Create(design));
        for (const int id : {kLeftId, kRightId}) {
            ControlDesign button;
            button.className = L"BUTTON";
            button.style = WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
            button.id = id;
            button.rect = {id == kLeftId ? 150 : 1500, 150, 1200, 360};
            (id == kLeftId ? left : right) = AddControl(button);
        }
    }
    bool OnMessage(HWND, UINT msg, WPARAM wParam, LPARAM, LRESULT& result) override {
        if (msg != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return false;
        clicks.push_back(LOWORD(wParam));
        if (onClick) onClick();
        result = 0;
        return true;
    }
    void OnTimer(UINT_PTR id) override { ticks.push_back(id); }
    void OnSystemClose() override {
        ++systemCloses;
        Close();
    }

    HWND left = nullptr;
    HWND right = nullptr;
    std::vector<int> clicks;
    std::vector<UINT_PTR> ticks;
    int systemCloses = 0;
    std::function<void()> onClick;
};

void Pump() { Win32EventLoop().DoEvents(); }

TEST(FormWindowTest, ClosingInsideAHandlerKeepsEverythingUntilTheHandlerHasReturned) {
    auto form = FormWindow::Make<TestForm>();
    form->Build();
    HWND hwnd = form->hwnd();
    std::weak_ptr<TestForm> watch = form;
    bool aliveInside = false, windowInside = false;
    form->onClick = [&] {
        TestForm* self = watch.lock().get();
        self->Close();
        form.reset();  // the last owner lets go inside the handler
        Pump();        // and a nested loop runs the posted destroy
        aliveInside = !watch.expired();
        windowInside = ::IsWindow(hwnd) && ::IsWindow(self->left);
    };
    ::SendMessageW(watch.lock()->left, BM_CLICK, 0, 0);
    EXPECT_TRUE(aliveInside);
    EXPECT_TRUE(windowInside);
    EXPECT_TRUE(watch.expired());
    EXPECT_FALSE(::IsWindowVisible(hwnd));
    Pump();
    EXPECT_FALSE(::IsWindow(hwnd));
}

TEST(FormWindowTest, EnterPressesAVisibleDefaultButtonEscapeIsTheSystemCloseAndAClosedFormTakesNoInput) {
    auto form = FormWindow::Make<TestForm>();
    form->Build();
    form->SetDefaultButton(form->right);
    ::ShowWindow(form->hwnd(), SW_SHOWNA);
    ::PostMessageW(form->hwnd(), WM_KEYDOWN, VK_RETURN, 0);
    Pump();
    EXPECT_EQ(form->clicks, std::vector<int>{kRightId});
    EXPECT_EQ(::SendMessageW(form->hwnd(), DM_GETDEFID, 0, 0), MAKELRESULT(kRightId, DC_HASDEFID));
    ::ShowWindow(form->right, SW_HIDE);
    ::PostMessageW(form->hwnd(), WM_KEYDOWN, VK_RETURN, 0);
    Pump();
    EXPECT_EQ(form->clicks.size(), 1u);
    ::PostMessageW(form->hwnd(), WM_KEYDOWN, VK_ESCAPE, 0);
    Pump();
    EXPECT_EQ(form->systemCloses, 1);
    EXPECT_TRUE(form->closed());
    // A closed form takes no more clicks or ticks.
    ::SendMessageW(form->hwnd(), WM_COMMAND, MAKEWPARAM(kLeftId, BN_CLICKED), reinterpret_cast<LPARAM>(form->left));
    ::SendMessageW(form->hwnd(), WM_TIMER, 7, 0);
    EXPECT_EQ(form->clicks.size(), 1u);
    EXPECT_EQ(form->ticks.size(), 0u);
}

}  // namespace
}  // namespace win32
}  // namespace tav
