// The one window base under both forms: closing inside a handler, and the
// message body that breaks an over-wide word.
#include <gmock/gmock.h>

#include <functional>
#include <memory>

#include "platform/win32/dialog_view_win32.h"
#include "platform/win32/form_window.h"
#include "platform/win32/runtime_win32.h"
#include "win_test_support.h"

namespace tav::win32 {
namespace {

// Counts the clicks of its buttons and hands each to onClick.
class TestForm : public FormWindow {
public:
    bool OnMessage(HWND, UINT msg, WPARAM wParam, LPARAM, LRESULT&) override {
        if (msg != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return false;
        ++clicks;
        onClick();
        return true;
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
        form->Create(FormDesign{.caption = L"Form test", .screenRect = {1500, 1500, 2880, 1440}}))
        << "the form was not made";
    HWND hwnd = form->hwnd();
    HWND button = form->AddControl({.className = L"BUTTON",
                                    .text = L"",
                                    .style = WS_VISIBLE | BS_PUSHBUTTON,
                                    .id = 10,
                                    .rect = {150, 150, 1200, 360},
                                    .font = {}});
    std::weak_ptr<TestForm> watch = form;
    bool aliveInside = false;
    bool windowInside = false;
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
    EXPECT_TRUE(aliveInside) << "the form was freed inside its handler";
    EXPECT_TRUE(windowInside) << "the window was destroyed inside its handler";
    EXPECT_TRUE(watch.expired()) << "the form outlived its handler and its last owner";
    EXPECT_FALSE(::IsWindowVisible(hwnd)) << "the closed form still shows";
    Pump();
    EXPECT_FALSE(::IsWindow(hwnd)) << "the closed form's window stayed";
}

// A path wider than the message body is broken at the edge and the body
// grows to show all of it, instead of cutting it off.
TEST(FormWindowTest, AnOverWidePathInTheMessageBodyIsBrokenAndShownWhole) {
    auto form = FormWindow::Make<TestForm>();
    ASSERT_TRUE(
        form->Create(FormDesign{.caption = L"Body test", .screenRect = {1500, 1500, 5400, 3000}}))
        << "the form was not made";
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
}  // namespace tav::win32
