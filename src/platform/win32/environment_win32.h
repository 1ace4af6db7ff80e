// The Win32 home of the desktop environment seam.
#pragma once

#include "platform/environment.h"

namespace tav::win32 {

class Win32Environment : public Environment {
public:
    WindowHandle OwnerWindow(WindowHandle window) override;
    int32_t SystemMetric(int32_t index) override;
    IconHandle LoadSharedIcon(const std::string& name, int32_t width, int32_t height) override;
    intptr_t SendWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam,
                               intptr_t lParam) override;
    std::vector<std::optional<std::string>> ManagementQuery(const std::string& wql,
                                                            const std::string& property) override;
    std::string SystemFolder() override;
};

}  // namespace tav::win32
