// The message loops, their filters and the count of open windows.
#include "platform/win32/runtime_win32.h"

#include "platform/win32/win.h"

namespace tav::win32 {

namespace {
std::vector<std::pair<int, MessageFilter>>& Filters() {
    static std::vector<std::pair<int, MessageFilter>> filters;
    return filters;
}
int& WindowCount() {
    static int count = 0;
    return count;
}
}  // namespace

int AddMessageFilter(MessageFilter filter) {
    static int next = 0;
    Filters().emplace_back(++next, std::move(filter));
    return next;
}

void RemoveMessageFilter(int id) {
    auto& filters = Filters();
    for (auto it = filters.begin(); it != filters.end(); ++it) {
        if (it->first == id) {
            filters.erase(it);
            return;
        }
    }
}

bool FilterMessage(MSG& msg) {
    // A copy: a filter may close its window and remove itself.
    const auto filters = Filters();
    for (const auto& [id, filter] : filters)
        if (filter(msg)) return true;
    return false;
}

void DeliverMessage(MSG& msg) {
    if (FilterMessage(msg)) return;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
}

void Win32EventLoop::DoEvents() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // The outer loop must still see it and end the program.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        DeliverMessage(msg);
    }
}

void Win32EventLoop::Sleep(uint32_t ms) { ::Sleep(ms); }

void Win32EventLoop::Wake() {
    // A thread message with no window: any loop that meets it drops it,
    // which is all it is for.
    ::PostThreadMessageW(thread_, WM_NULL, 0, 0);
}

void Win32EventLoop::WaitForEvents(uint32_t ms) {
    ::MsgWaitForMultipleObjectsEx(0, nullptr, ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

int RunMessageLoop() {
    MSG msg;
    BOOL got;
    while ((got = ::GetMessageW(&msg, nullptr, 0, 0)) != 0) {
        if (got == -1) return 1;
        DeliverMessage(msg);
    }
    return static_cast<int>(msg.wParam);
}

void WindowOpened() { ++WindowCount(); }

void WindowClosed() {
    if (--WindowCount() <= 0) {
        WindowCount() = 0;
        ::PostQuitMessage(0);
    }
}

int OpenWindowCount() { return WindowCount(); }

}  // namespace tav::win32
