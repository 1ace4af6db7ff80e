// The message dialog as another program meets it: a helper process shows a
// real dialog, the test reads it from outside, presses keys and buttons and
// reads the answer from the helper's exit code. What the dialog shows and
// answers is the unit tier's; here: real fonts and layout, the style
// library or its absence, the real keyboard.
#include <gmock/gmock.h>

#include "platform/win32/dialog_view_win32.h"
#include "platform/win32/form_window.h"
#include "win_test_support.h"

namespace tav {
namespace {

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
        const HWND button = ::GetDlgItem(Item(win32::kButtonBarId), win32::kFirstOptionId + slot);
        return ::GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK;
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
    ASSERT_NE(d.dialog(), nullptr) << "no dialog";
    RECT label, bar, window;
    ::GetWindowRect(d.Item(win32::kLabelContentId), &label);
    ::GetWindowRect(d.Item(win32::kButtonBarId), &bar);
    ::GetWindowRect(d.dialog(), &window);
    EXPECT_LE(label.bottom, bar.top) << "the last line is under the button bar";
    EXPECT_THAT(LayoutFaults(d.dialog()), ::testing::IsEmpty());
    EXPECT_EQ(d.ButtonType(0), BS_OWNERDRAW) << "not drawn by the style library";
    EXPECT_NEAR(window.top, ::GetSystemMetrics(SM_CYSCREEN) / 5, 1)
        << "not a fifth down the screen";
    EXPECT_NEAR(window.left, (::GetSystemMetrics(SM_CXSCREEN) - (window.right - window.left)) / 2,
                1)
        << "not in the middle of the screen";
    EXPECT_TRUE(SaveWindowPicture(d.dialog(), "dialog-eight-lines"));
    ::PostMessageW(d.dialog(), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(d.Result(), 7) << "Enter did not press the second slot, No";
    EXPECT_EQ(ReadFileBytes(folder.path() + "\\LOGS\\TAVerror.log"), "") << "a styled dialog logs";
}

TEST_F(DialogWinTest, WithoutAWorkingStyleLibraryTheDialogIsPlainLogsOnceAndClosesWithTwo) {
    struct Row {
        const char* library;  // nullptr: none beside the program
        UINT msg;
        WPARAM wParam;
    };
    for (const Row& row : {Row{nullptr, WM_KEYDOWN, VK_ESCAPE},
                           Row{"this is no library", WM_SYSCOMMAND, SC_CLOSE}}) {
        SCOPED_TRACE(row.library ? row.library : "no library");
        TempFolder own;
        if (row.library) WriteFileBytes(own.path() + "\\TAVri.dll", row.library);
        ShownDialog d(own.path(), 4, "Install now?");
        ASSERT_NE(d.dialog(), nullptr) << "no dialog";
        EXPECT_EQ(d.ButtonType(1), BS_DEFPUSHBUTTON) << "plain, not drawn by the style library";
        ::PostMessageW(d.dialog(), row.msg, row.wParam, 0);
        EXPECT_EQ(d.Result(), 2) << "closing did not answer Cancel";
        const std::string log = ReadFileBytes(own.path() + "\\LOGS\\TAVerror.log");
        const size_t entry = log.find("frmDialog.FormSetup \r\n");
        EXPECT_NE(entry, std::string::npos) << "the missing style is not logged";
        EXPECT_EQ(entry, log.rfind("frmDialog.FormSetup \r\n")) << "logged twice: " << log;
        EXPECT_TRUE(row.library || log.find("53, File not found") != std::string::npos)
            << "a missing library not logged as 53: " << log;
    }
}

}  // namespace
}  // namespace tav
