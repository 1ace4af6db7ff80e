// The window icon, the processor width and the run-as-administrator flag on
// the real desktop, management service and registry.
#include <gtest/gtest.h>

#include "app/state.h"
#include "platform/win32/platform_win32.h"
#include "platform/win32/win.h"
#include "system/environment_helpers.h"
#include "system/registry.h"

namespace tav {
namespace {

HWND MakeWindow(HWND owner) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TAVTestIconWindow";
    ::RegisterClassW(&wc);
    return ::CreateWindowExW(0, wc.lpszClassName, L"icon test",
                             owner ? WS_POPUP : WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, owner, nullptr,
                             wc.hInstance, nullptr);
}

HICON IconOf(HWND window, WPARAM kind) {
    return reinterpret_cast<HICON>(::SendMessageW(window, WM_GETICON, kind, 0));
}

int IconWidth(HICON icon) {
    ICONINFO info{};
    if (!::GetIconInfo(icon, &info)) return 0;
    BITMAP bm{};
    ::GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
    if (info.hbmColor) ::DeleteObject(info.hbmColor);
    if (info.hbmMask) ::DeleteObject(info.hbmMask);
    return bm.bmWidth;
}

TEST(EnvironmentWinTest, TheWindowAndItsTopOwnerCarryTheProgramIcon) {
    win32::InstallWin32Platform();
    HWND top = MakeWindow(nullptr);
    HWND middle = MakeWindow(top);
    HWND window = MakeWindow(middle);
    ASSERT_TRUE(top && middle && window);

    SetIcon(reinterpret_cast<WindowHandle>(window), kAppIconName, true);

    for (HWND w : {window, top}) {
        const HICON big = IconOf(w, ICON_BIG);
        const HICON small = IconOf(w, ICON_SMALL);
        ASSERT_NE(big, nullptr);
        ASSERT_NE(small, nullptr);
        EXPECT_EQ(IconWidth(big), ::GetSystemMetrics(SM_CXICON));
        EXPECT_EQ(IconWidth(small), ::GetSystemMetrics(SM_CXSMICON));
    }
    EXPECT_EQ(IconOf(middle, ICON_BIG), nullptr) << "owners between are left alone";

    HWND alone = MakeWindow(nullptr);
    SetIcon(reinterpret_cast<WindowHandle>(alone), kAppIconName, false);
    EXPECT_EQ(IconOf(alone, ICON_BIG), IconOf(window, ICON_BIG)) << "shared images";
    for (HWND w : {alone, window, middle, top}) ::DestroyWindow(w);
}

TEST(EnvironmentWinTest, AddressWidthComesFromTheManagementService) {
    win32::InstallWin32Platform();
    const std::string width = GetAddressWidth();
    ::testing::Test::RecordProperty("AddressWidth", width);
    EXPECT_TRUE(width == "64" || width == "32") << "\"" << width << "\"";
}

TEST(EnvironmentWinTest, InstallerIsFlaggedToRunAsAdministrator) {
    win32::InstallWin32Platform();
    sInstallLocation = "D:\\Somewhere\\TAV";
    const std::string installer =
        "TAVSetupTest_" + std::to_string(::GetCurrentProcessId()) + ".exe";

    SetRunAsAdmin(installer);

    const std::string suffix = GetAddressWidth() == "32" ? "" : " (x86)";
    const std::string valueName = "D:\\Program Files" + suffix + "\\TAV\\" + installer;
    EXPECT_EQ(GetStringValue(kAppCompatLayersKey, valueName), "WINXPSP3 RUNASADMIN");
    HKEY key;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER,
                        "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers",
                        0, KEY_SET_VALUE, &key) == 0) {
        ::RegDeleteValueA(key, valueName.c_str());
        ::RegCloseKey(key);
    }
    sInstallLocation.clear();
}

}  // namespace
}  // namespace tav
