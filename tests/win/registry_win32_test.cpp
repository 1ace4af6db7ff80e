// The registry over the real system. What the watchdog and the installer
// read lands in the view of a 32-bit program, whatever the width of the
// build; the rules of the values are the unit tier's (SystemTest).
#include <gtest/gtest.h>

#include "app/state.h"
#include "platform/win32/platform_win32.h"
#include "system/registry.h"
#include "win_test_support.h"

namespace tav {
namespace {

TEST(RegistryWinTest, ValuesLandInThe32BitView) {
    ProgramState state{win32::InstallWin32Platform()};
    const std::string sub = "SOFTWARE\\TAVUpdateTest_" + std::to_string(::GetCurrentProcessId());
    const std::string key = "HKEY_LOCAL_MACHINE\\" + sub;
    ASSERT_TRUE(state.registry.CreateKey(key)) << "the test key could not be made";
    state.registry.SetStringValue(key, "Command", "Shutdown");
    const auto read = [&](DWORD view) {
        char text[16] = {};
        DWORD size = sizeof text;
        const LONG status = ::RegGetValueA(HKEY_LOCAL_MACHINE, sub.c_str(), "Command",
                                           RRF_RT_REG_SZ | view, nullptr, text, &size);
        return status == ERROR_SUCCESS ? std::string(text) : "error " + std::to_string(status);
    };
    EXPECT_EQ(read(RRF_SUBKEY_WOW6432KEY), "Shutdown") << "not written in the 32-bit view";
    EXPECT_NE(read(RRF_SUBKEY_WOW6464KEY), "Shutdown") << "written in the 64-bit view";
    // What the program reads takes 254 characters and a terminator.
    state.registry.SetStringValue(key, "Fits", std::string(254, 'a'));
    state.registry.SetStringValue(key, "TooLong", std::string(255, 'a'));
    EXPECT_EQ(state.registry.GetStringValue(key, "Fits"), std::string(254, 'a'))
        << "the longest value not read";
    EXPECT_EQ(state.registry.GetStringValue(key, "TooLong"), std::nullopt)
        << "an over-long value read";

    ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, sub.c_str(), KEY_WOW64_32KEY, 0);
    EXPECT_FALSE(state.registry.QueryKey(key)) << "the test key is still there";
}

}  // namespace
}  // namespace tav
