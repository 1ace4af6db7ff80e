// The window machinery every form of the program uses, on real windows:
// design twips at the window's DPI, closing inside a handler, the modal
// loop, timers and the keyboard.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "platform/win32/form_window.h"
#include "platform/win32/runtime_win32.h"

namespace tav::win32 {
namespace {

constexpr int kLeftId = 10;
constexpr int kRightId = 11;

class TestForm : public FormWindow {
public:
    TestForm() = default;

    void Build() {
        FormDesign design;
        design.caption = L"Form test";
        design.screenRect = {1500, 1500, 2880, 1440};
        ASSERT_TRUE(Create(design));
        ControlDesign button;
        button.className = L"BUTTON";
        button.style = WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
        button.text = L"Left";
        button.id = kLeftId;
        button.rect = {150, 150, 1200, 360};
        left = AddControl(button);
        button.text = L"Right";
        button.id = kRightId;
        button.rect = {1500, 150, 1200, 360};
        right = AddControl(button);
    }

    bool OnMessage(HWND, UINT msg, WPARAM wParam, LPARAM, LRESULT& result) override {
        if (msg != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return false;
        clicks.push_back(LOWORD(wParam));
        if (onClick) onClick();
        result = 0;
        return true;
    }
    void OnTimer(UINT_PTR id) override {
        ticks.push_back(id);
        if (onTick) onTick();
    }
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
    std::function<void()> onTick;
};

void Pump() {
    Win32EventLoop loop;
    loop.DoEvents();
}

TEST(FormWindowTest, DesignTwipsBecomePixelsAtTheWindowsDpi) {
    auto form = FormWindow::Make<TestForm>();
    form->Build();
    const UINT dpi = form->dpi();
    RECT client;
    ::GetClientRect(form->hwnd(), &client);
    EXPECT_EQ(client.right, ::MulDiv(2880, static_cast<int>(dpi), 1440));
    EXPECT_EQ(client.bottom, ::MulDiv(1440, static_cast<int>(dpi), 1440));
    RECT button;
    ::GetWindowRect(form->right, &button);
    ::MapWindowPoints(nullptr, form->hwnd(), reinterpret_cast<POINT*>(&button), 2);
    EXPECT_EQ(button.left, TwipsToPixels(1500, dpi));
    EXPECT_EQ(button.right - button.left, TwipsToPixels(1200, dpi));

    form->SetControlRect(form->right, {300, 600, 600, 300});
    ::GetWindowRect(form->right, &button);
    ::MapWindowPoints(nullptr, form->hwnd(), reinterpret_cast<POINT*>(&button), 2);
    EXPECT_EQ(button.top, TwipsToPixels(600, dpi));
    EXPECT_EQ(form->ControlRect(form->right).left, 300);
    form->Close();
}

TEST(FormWindowTest, ClosingInsideAHandlerKeepsEverythingUntilTheHandlerHasReturned) {
    auto form = FormWindow::Make<TestForm>();
    form->Build();
    HWND hwnd = form->hwnd();
    std::weak_ptr<TestForm> watch = form;
    bool aliveInside = false;
    bool windowInside = false;
    form->onClick = [&] {
        TestForm* self = watch.lock().get();
        self->Close();
        form.reset();  // the last owner lets go inside the handler
        Pump();        // and a nested loop runs the posted destroy
        aliveInside = !watch.expired();
        windowInside = ::IsWindow(hwnd) && ::IsWindow(self->left);
        self->clicks.push_back(-1);  // still usable
    };
    ::SendMessageW(watch.lock()->left, BM_CLICK, 0, 0);
    EXPECT_TRUE(aliveInside);
    EXPECT_TRUE(windowInside);
    EXPECT_TRUE(watch.expired());
    EXPECT_FALSE(::IsWindowVisible(hwnd));
    Pump();
    EXPECT_FALSE(::IsWindow(hwnd));
}

TEST(FormWindowTest, ClosedFormTakesNoMoreClicksOrTicks) {
    auto form = FormWindow::Make<TestForm>();
    form->Build();
    form->StartTimer(7, 1);
    form->Close();
    ::SendMessageW(form->hwnd(), WM_COMMAND, MAKEWPARAM(kLeftId, BN_CLICKED),
                   reinterpret_cast<LPARAM>(form->left));
    ::SendMessageW(form->hwnd(), WM_TIMER, 7, 0);
    EXPECT_TRUE(form->clicks.empty());
    EXPECT_TRUE(form->ticks.empty());
}

TEST(FormWindowTest, ModalLoopDisablesOtherWindowsUntilTheFormCloses) {
    auto other = FormWindow::Make<TestForm>();
    other->Build();
    ::ShowWindow(other->hwnd(), SW_SHOWNA);
    auto modal = FormWindow::Make<TestForm>();
    modal->Build();
    bool otherEnabledDuring = true;
    modal->onTick = [&] {
        otherEnabledDuring = ::IsWindowEnabled(other->hwnd()) != 0;
        modal->Close();
    };
    modal->StartTimer(1, 10);
    modal->RunModal();
    EXPECT_EQ(modal->ticks.size(), 1u);
    EXPECT_FALSE(otherEnabledDuring);
    EXPECT_TRUE(::IsWindowEnabled(other->hwnd()));
    EXPECT_EQ(modal->hwnd(), nullptr);  // destroyed once back at loop level
    other->Close();
    Pump();
}

TEST(FormWindowTest, EnterPressesTheDefaultButtonAndEscapeIsTheSystemClose) {
    auto form = FormWindow::Make<TestForm>();
    form->Build();
    form->SetDefaultButton(form->right);
    ::ShowWindow(form->hwnd(), SW_SHOWNA);
    ::PostMessageW(form->hwnd(), WM_KEYDOWN, VK_RETURN, 0);
    Pump();
    EXPECT_EQ(form->clicks, std::vector<int>{kRightId});
    EXPECT_EQ(::SendMessageW(form->hwnd(), DM_GETDEFID, 0, 0), MAKELRESULT(kRightId, DC_HASDEFID));

    // A hidden default button is not pressed.
    ::ShowWindow(form->right, SW_HIDE);
    ::PostMessageW(form->hwnd(), WM_KEYDOWN, VK_RETURN, 0);
    Pump();
    EXPECT_EQ(form->clicks.size(), 1u);

    ::PostMessageW(form->hwnd(), WM_KEYDOWN, VK_ESCAPE, 0);
    Pump();
    EXPECT_EQ(form->systemCloses, 1);
    EXPECT_TRUE(form->closed());
}

}  // namespace
}  // namespace tav::win32
