// The download's progress on the window's taskbar button, where the
// system offers it; without it every call does nothing.
#pragma once

#include <cstdint>

#include "platform/win32/unique_handle.h"

struct ITaskbarList3;

namespace tav::win32 {

class TaskbarProgress {
public:
    TaskbarProgress();
    ~TaskbarProgress();  // where the interface is complete
    TaskbarProgress(const TaskbarProgress&) = delete;
    TaskbarProgress& operator=(const TaskbarProgress&) = delete;

    void Attach(HWND window);
    void Detach();
    void SetValue(int16_t percent);
    void SetError();
    void Hide();

private:
    HWND window_ = nullptr;
    ComPtr<ITaskbarList3> list_;
};

}  // namespace tav::win32
