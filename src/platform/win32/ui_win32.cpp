// Message boxes and the screen size.
#include "platform/win32/runtime_win32.h"

#include "platform/win32/dpi.h"
#include "platform/win32/text.h"

namespace tav::win32 {

void Win32Ui::MsgBox(const std::string& text) {
    ::MessageBoxW(nullptr, Widen(text).c_str(), Widen(kAppTitle).c_str(),
                  MB_OK | MB_TASKMODAL | MB_SETFOREGROUND);
}

int32_t Win32Ui::ScreenWidthTwips() {
    return PixelsToTwips(::GetSystemMetrics(SM_CXSCREEN), SystemDpi());
}

int32_t Win32Ui::ScreenHeightTwips() {
    return PixelsToTwips(::GetSystemMetrics(SM_CYSCREEN), SystemDpi());
}

}  // namespace tav::win32
