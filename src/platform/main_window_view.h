// The main window as its logic sees it: the view it draws on and the events
// the window brings in. The Win32 view draws the real controls; tests use a
// recording fake.
#pragma once

#include <cstdint>
#include <string>

namespace tav {

class MainWindowView {
public:
    virtual ~MainWindowView() = default;
    // The window's handle, for the icon and as the owner of what it starts.
    virtual uintptr_t Handle() = 0;
    virtual int32_t WidthTwips() = 0;
    virtual int32_t HeightTwips() = 0;
    virtual void MoveTwips(int32_t left, int32_t top) = 0;
    virtual void SetVersionText(const std::string& text) = 0;  // lblVersion
    virtual void SetStatusText(const std::string& text) = 0;   // txtStatus
    virtual void SetStatusVisible(bool visible) = 0;
    // barProgress; throws Failure 380 for a value outside 0..100.
    virtual void SetBarValue(int16_t value) = 0;
    virtual void SetBarVisible(bool visible) = 0;
    // Shows the download as failed on the taskbar button.
    virtual void SetBarError() = 0;
    virtual bool SilentChecked() = 0;                     // chkSilent
    virtual void SetStartTimerInterval(uint32_t ms) = 0;  // TimerBeginUpdate
    virtual void SetStartTimerEnabled(bool enabled) = 0;
    // Starts moving the window with the mouse, as a title bar would.
    virtual void BeginWindowMove() = 0;
    // Hides the window at once; it is destroyed when the handler on the
    // stack returns, and its unload step runs.
    virtual void Close() = 0;
};

// The window's events, as its logic handles them; the view calls them on
// the user-interface thread.
class MainWindowEvents {
public:
    virtual ~MainWindowEvents() = default;
    virtual void TimerBeginUpdate_Timer() = 0;
    // The Abort button, and every way of closing the window.
    virtual void cmdAbort_Click() = 0;
    // A press of any mouse button on the window ("frmMain") or one of its
    // labels (its name).
    virtual void MouseDown(const std::string& control) = 0;
    // The window is going away.
    virtual void Form_Unload() = 0;
};

}  // namespace tav
