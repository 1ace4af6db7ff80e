#include "platform/win32/taskbar_progress_win32.h"

#include <objbase.h>
#include <shobjidl.h>

namespace tav::win32 {

TaskbarProgress::TaskbarProgress() = default;
TaskbarProgress::~TaskbarProgress() = default;

void TaskbarProgress::Attach(HWND window) {
    window_ = window;
    if (FAILED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_PPV_ARGS(list_.put()))) ||
        FAILED(list_->HrInit())) {
        list_.reset();
    }
}

void TaskbarProgress::Detach() {
    list_.reset();
    window_ = nullptr;
}

void TaskbarProgress::SetValue(int16_t percent) {
    if (!list_) return;
    list_->SetProgressState(window_, TBPF_NORMAL);
    list_->SetProgressValue(window_, static_cast<ULONGLONG>(percent), 100);
}

void TaskbarProgress::SetError() {
    if (list_) list_->SetProgressState(window_, TBPF_ERROR);
}

void TaskbarProgress::Hide() {
    if (list_) list_->SetProgressState(window_, TBPF_NOPROGRESS);
}

}  // namespace tav::win32
