// The program's real windows: the main window and the machinery under
// every form (the keyboard, the modal loop, closing inside a handler); and
// the message dialog as another program meets it: a helper process shows a
// real dialog, the test reads it from outside, presses keys and buttons and
// reads the answer from the helper's exit code. What the dialog shows and
// answers is the unit tier's; here: real fonts and layout, the style
// library or its absence, the real keyboard.
#include <gmock/gmock.h>

#include <functional>
#include <memory>
#include <vector>

#include "platform/win32/win.h"

#include <objbase.h>

#include "app/state.h"
#include "fakes/fake_main_window.h"
#include "main_window/frmMain.h"
#include "platform/win32/dialog_view_win32.h"
#include "platform/win32/form_window.h"
#include "platform/win32/handler_scope.h"
#include "platform/win32/main_window_win32.h"
#include "platform/win32/platform_win32.h"
#include "platform/win32/runtime_win32.h"
#include "platform/win32/text.h"
#include "win_test_support.h"

namespace tav {
namespace {

class MainWindowWinTest : public ::testing::Test {
protected:
    void SetUp() override {
        win32::InstallWin32Platform();
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        state.location.folder = temp.path();
        ASSERT_TRUE(window.Create(form));
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
    // The texts, bar and silent box are read end to end; here the layout.
    window.SetStatusVisible(true);
    window.SetBarVisible(true);
    form.Status("Downloading setup.exe 1,250 of 2,500 K Bytes  (50%)", 50);
    EXPECT_THROW(window.SetBarValue(101), Failure);

    RECT rc;
    ::GetClientRect(hwnd, &rc);
    EXPECT_EQ(rc.right, ::MulDiv(6000, static_cast<int>(win32::DpiOf(hwnd)), 1440));
    EXPECT_THAT(wintest::LayoutFaults(hwnd), ::testing::IsEmpty());
    wintest::PumpMessages(300);
    EXPECT_TRUE(wintest::SaveWindowPicture(hwnd, "main_window_progress"));

    std::vector<int> tabOrder;  // Abort, the three labels, status, bar, silent box
    for (HWND c = ::GetWindow(hwnd, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
        tabOrder.push_back(::GetDlgCtrlID(c));
    EXPECT_EQ(tabOrder, (std::vector<int>{IDCANCEL, 101, 102, 103, 104, 105, 106}));
    HWND abort = ::GetDlgItem(hwnd, IDCANCEL);
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

using namespace wintest;

// A helper process showing one dialog, ended if a test stops half-way.
class ShownDialog {
public:
    ShownDialog(const std::string& folder, int style, const std::string& content,
                bool avoidSplash = false) {
        const std::string exe = folder + "\\dialog_probe.exe";
        CopyFromBuild(TAV_TEST_HELPER_DIR "/dialog_probe.exe", exe);
        process_ = StartProcess(exe, "\"" + folder + "\" " + std::to_string(style) +
                                         (avoidSplash ? " 1" : " 0") + " \"" + content + "\"");
        const DWORD pid = process_.id();
        PumpMessages(20000, [&] {
            return (dialog_ = FindTopWindow(pid, win32::kFormWindowClass)) || Result(0) != -1;
        });
        // Activation follows the showing a moment later under Wine.
        GUITHREADINFO gui{};
        gui.cbSize = sizeof gui;
        const DWORD thread = ::GetWindowThreadProcessId(dialog_, nullptr);
        PumpMessages(5000, [&] {
            return !dialog_ || (::GetGUIThreadInfo(thread, &gui) && gui.hwndActive == dialog_);
        });
        Ask(dialog_, WM_NULL);
    }
    HWND dialog() const { return dialog_; }
    HWND Item(int id) const { return ::GetDlgItem(dialog_, id); }
    LONG ButtonType(int slot) const {
        return ::GetWindowLongW(
                   ::GetDlgItem(Item(win32::kButtonBarId), win32::kFirstOptionId + slot),
                   GWL_STYLE) &
               BS_TYPEMASK;
    }
    long Result(unsigned long ms = 30000) const { return process_.Exit(ms); }

private:
    Process process_;
    HWND dialog_ = nullptr;
};

class DialogWinTest : public ::testing::Test {
protected:
    TempFolder folder;
};

TEST_F(DialogWinTest, ATallStyledBodyShowsEveryLineHighOnTheScreenAndEnterPressesTheDefault) {
    CopyFromBuild(TAV_STYLE_LIBRARY, folder.path() + "\\TAVri.dll");
    // Seven breaks: the growth rule alone leaves the last line under the bar.
    ShownDialog d(folder.path(), 0x33 | 0x100,
                  "one\\ntwo\\nthree\\nfour\\nfive\\nsix\\nseven\\nthe last line", true);
    ASSERT_NE(d.dialog(), nullptr);
    RECT label, bar, window;
    ::GetWindowRect(d.Item(win32::kLabelContentId), &label);
    ::GetWindowRect(d.Item(win32::kButtonBarId), &bar);
    ::GetWindowRect(d.dialog(), &window);
    EXPECT_LE(label.bottom, bar.top);
    EXPECT_THAT(LayoutFaults(d.dialog()), ::testing::IsEmpty());
    EXPECT_EQ(d.ButtonType(0), BS_OWNERDRAW) << "styled";
    EXPECT_NEAR(window.top, ::GetSystemMetrics(SM_CYSCREEN) / 5, 1);
    EXPECT_NEAR(window.left, (::GetSystemMetrics(SM_CXSCREEN) - (window.right - window.left)) / 2,
                1);
    EXPECT_TRUE(SaveWindowPicture(d.dialog(), "dialog-eight-lines"));
    ::PostMessageW(d.dialog(), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(d.Result(), 7) << "the second slot, No";
    EXPECT_EQ(ReadFileBytes(folder.path() + "\\LOGS\\TAVerror.log"), "");
}

TEST_F(DialogWinTest, WithoutAWorkingStyleLibraryTheDialogIsPlainLogsOnceAndClosesWithTwo) {
    struct Row {
        const char* library;  // nullptr: none beside the program
        UINT msg;
        WPARAM wParam;
    };
    for (const Row& row : {Row{nullptr, WM_KEYDOWN, VK_ESCAPE},
                           Row{"this is no library", WM_SYSCOMMAND, SC_CLOSE}}) {
        TempFolder own;
        if (row.library) WriteFileBytes(own.path() + "\\TAVri.dll", row.library);
        ShownDialog d(own.path(), 4, "Install now?");
        ASSERT_NE(d.dialog(), nullptr);
        EXPECT_EQ(d.ButtonType(1), BS_DEFPUSHBUTTON) << "plain, not drawn by the style library";
        ::PostMessageW(d.dialog(), row.msg, row.wParam, 0);
        EXPECT_EQ(d.Result(), 2);
        const std::string log = ReadFileBytes(own.path() + "\\LOGS\\TAVerror.log");
        const size_t entry = log.find("frmDialog.FormSetup \r\n");
        EXPECT_NE(entry, std::string::npos);
        EXPECT_EQ(entry, log.rfind("frmDialog.FormSetup \r\n")) << log;
        EXPECT_TRUE(row.library || log.find("53, File not found") != std::string::npos) << log;
    }
}

}  // namespace

namespace win32 {
namespace {

// Counts the clicks of its buttons and hands each to onClick.
class TestForm : public FormWindow {
public:
    bool OnMessage(HWND, UINT msg, WPARAM wParam, LPARAM, LRESULT&) override {
        return msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED && (++clicks, onClick(), true);
    }
    int clicks = 0;
    std::function<void()> onClick;
};

void Pump() { Win32EventLoop().DoEvents(); }

// A closed form keeps its window and object until the handler that closed
// it has returned, and takes no more input meanwhile.
TEST(FormWindowTest, ClosingInsideAHandlerKeepsEverythingUntilTheHandlerHasReturned) {
    auto form = FormWindow::Make<TestForm>();
    ASSERT_TRUE(
        form->Create(FormDesign{.caption = L"Form test", .screenRect = {1500, 1500, 2880, 1440}}));
    HWND hwnd = form->hwnd(), button = form->AddControl({.className = L"BUTTON",
                                                         .text = L"",
                                                         .style = WS_VISIBLE | BS_PUSHBUTTON,
                                                         .id = 10,
                                                         .rect = {150, 150, 1200, 360},
                                                         .font = {}});
    std::weak_ptr<TestForm> watch = form;
    bool aliveInside = false, windowInside = false;
    form->onClick = [&] {
        TestForm* self = watch.lock().get();
        self->Close();
        form.reset();  // the last owner lets go inside the handler
        Pump();        // and a nested loop runs the posted destroy
        aliveInside = !watch.expired();
        windowInside = ::IsWindow(hwnd) && ::IsWindow(button);
        ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(10, BN_CLICKED),
                       reinterpret_cast<LPARAM>(button));
        EXPECT_EQ(self->clicks, 1) << "a closed form takes no more clicks";
    };
    ::SendMessageW(button, BM_CLICK, 0, 0);
    EXPECT_TRUE(aliveInside);
    EXPECT_TRUE(windowInside);
    EXPECT_TRUE(watch.expired());
    EXPECT_FALSE(::IsWindowVisible(hwnd));
    Pump();
    EXPECT_FALSE(::IsWindow(hwnd));
}

// A path wider than the message body is broken at the edge and the body
// grows to show all of it, instead of cutting it off.
TEST(FormWindowTest, AnOverWidePathInTheMessageBodyIsBrokenAndShownWhole) {
    auto form = FormWindow::Make<TestForm>();
    ASSERT_TRUE(
        form->Create(FormDesign{.caption = L"Body test", .screenRect = {1500, 1500, 5400, 3000}}));
    // One word: nothing in it where a line may break.
    const std::wstring path = L"C:\\TAV\\Setup" + std::wstring(100, L'x') + L".exe";
    HWND body = form->AddControl({.text = path,
                                  .style = kContentStyle,
                                  .id = kLabelContentId,
                                  .rect = {150, 150, 4890, 200},
                                  .font = {},
                                  .autoSize = AutoSize::Height});
    RECT r;
    ::GetClientRect(body, &r);
    EXPECT_GT(r.bottom, 2 * 13) << "the body did not grow for the broken path";
    EXPECT_THAT(wintest::LayoutFaults(form->hwnd()), ::testing::IsEmpty());
    // What is drawn: a word cut off at the edge leaves the lower lines empty.
    ::ShowWindow(form->hwnd(), SW_SHOWNOACTIVATE);
    ::RedrawWindow(form->hwnd(), nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    const WindowDc dc(body);
    const COLORREF paper = ::GetPixel(dc.get(), r.right - 1, r.bottom - 1);
    int ink = 0;
    for (int y = r.bottom / 2; y < r.bottom; ++y)
        for (int x = 0; x < r.right; ++x) ink += ::GetPixel(dc.get(), x, y) != paper;
    EXPECT_GT(ink, 0) << "the lower half of the body is empty: the path was cut off, not broken";
    form->Close();
    Pump();
}

}  // namespace
}  // namespace win32
}  // namespace tav
