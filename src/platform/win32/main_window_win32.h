// The main window on Win32: a borderless branded panel with real child
// controls that other processes and screen readers can read.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/main_window_view.h"

namespace tav::win32 {

// The window class other programs find the main window by.
inline constexpr wchar_t kMainWindowClass[] = L"TAVUpdateMainWindow";

class Win32MainWindow : public MainWindowView {
public:
    Win32MainWindow();
    ~Win32MainWindow() override;
    Win32MainWindow(const Win32MainWindow&) = delete;
    Win32MainWindow& operator=(const Win32MainWindow&) = delete;

    // Creates the window (hidden) and routes its events to form.
    bool Create(MainWindowEvents& form);
    // Shows the window modeless.
    void Show();

    uintptr_t Handle() override;
    int32_t WidthTwips() override;
    int32_t HeightTwips() override;
    void MoveTwips(int32_t left, int32_t top) override;
    void SetVersionText(const std::string& text) override;
    void SetStatusText(const std::string& text) override;
    void SetStatusVisible(bool visible) override;
    void SetBarValue(int16_t value) override;
    void SetBarVisible(bool visible) override;
    void SetBarError() override;
    bool SilentChecked() override;
    void SetStartTimerInterval(uint32_t ms) override;
    void SetStartTimerEnabled(bool enabled) override;
    void BeginWindowMove() override;
    void Close() override;

    struct Impl;

private:
    std::shared_ptr<Impl> impl_;  // a FormWindow, shared with its running handlers
    uint32_t startTimerMs_ = 0;   // as the form sets it; 0 is the system's shortest
};

}  // namespace tav::win32
