// The program's handlers on the stack, wherever their message came in: a
// window's own procedure, a pane, the read service's message-only window.
// A window closed while any of them runs is hidden at once and destroyed
// when the outermost one returns, so nothing a running handler still uses
// (its window, its controls, the form behind them) goes away under it.
#pragma once

#include <functional>

namespace tav::win32 {

// Counts one handler for as long as it lives; put one wherever a
// notification enters the program's logic.
class HandlerScope {
public:
    HandlerScope() noexcept;
    ~HandlerScope();
    HandlerScope(const HandlerScope&) = delete;
    HandlerScope& operator=(const HandlerScope&) = delete;
};

// Handlers of the program on the stack now.
int HandlerDepth() noexcept;

// Runs destroy now when no handler is on the stack, else when the
// outermost one returns.
void DestroyWhenNoHandlerRuns(std::function<void()> destroy);

}  // namespace tav::win32
