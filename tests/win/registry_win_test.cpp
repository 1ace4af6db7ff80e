// The registry layer on the real registry, in throw-away keys.
#include <gtest/gtest.h>

#include "app/state.h"
#include "platform/win32/platform_win32.h"
#include "platform/win32/registry_win32.h"
#include "system/registry.h"
#include "win_test_support.h"

namespace tav {
namespace {

class RegistryWinTest : public ::testing::Test {
protected:
    void SetUp() override {
        win32::InstallWin32Platform();
        sub_ = "SOFTWARE\\TAVUpdateTest_" + std::to_string(::GetCurrentProcessId()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        cu_ = "HKEY_CURRENT_USER\\" + sub_;
        lm_ = "HKEY_LOCAL_MACHINE\\" + sub_;
    }
    void TearDown() override {
        ::RegDeleteTreeA(HKEY_CURRENT_USER, sub_.c_str());
        for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
            HKEY software;
            if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_ALL_ACCESS | view, &software) == 0) {
                ::RegDeleteTreeA(software, sub_.substr(9).c_str());
                ::RegCloseKey(software);
            }
        }
    }
    // Reads a value's size and bytes through the ANSI call in the given view.
    LONG RawRead(HKEY root, REGSAM view, const std::string& name, std::string& data) {
        HKEY key;
        LONG s = ::RegOpenKeyExA(root, sub_.c_str(), 0, KEY_READ | view, &key);
        if (s != 0) return s;
        char buf[1024];
        DWORD len = sizeof buf;
        s = ::RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &len);
        ::RegCloseKey(key);
        if (s == 0) data.assign(buf, len);
        return s;
    }

    std::string sub_, cu_, lm_;
};

TEST_F(RegistryWinTest, WatchdogValuesAreStoredAsTheWatchdogReadsThem) {
    SetStringValue(cu_, "Command", "Shutdown");  // no key yet: nothing written
    EXPECT_FALSE(QueryKey(cu_));
    ASSERT_TRUE(CreateKey(cu_));
    EXPECT_TRUE(QueryKey(cu_));
    SetStringValue(cu_, "Command", "Shutdown");
    SetDWORDValue(cu_, "ShutDown", 99);

    // The layer hands over the 8 characters alone; the system itself adds
    // a terminator when the byte after them is 0 (as it always was).
    std::string data;
    ASSERT_EQ(RawRead(HKEY_CURRENT_USER, 0, "Command", data), 0);
    EXPECT_EQ(data.substr(0, data.find('\0')), "Shutdown");
    EXPECT_LE(data.size(), 9u);
    ASSERT_EQ(RawRead(HKEY_CURRENT_USER, 0, "ShutDown", data), 0);
    EXPECT_EQ(data, std::string("c\0\0\0", 4));
    EXPECT_EQ(GetStringValue(cu_, "Command"), "Shutdown");
    EXPECT_EQ(GetDWORDValue(cu_, "ShutDown"), 99);
}

TEST_F(RegistryWinTest, BufferLimitsAndSignedDwords) {
    ASSERT_TRUE(CreateKey(cu_));
    HKEY key;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, sub_.c_str(), 0, KEY_WRITE, &key), 0);
    const std::string fits(254, 'a'), tooLong(255, 'b');
    ::RegSetValueExA(key, "Fits", 0, REG_SZ, reinterpret_cast<const BYTE*>(fits.c_str()), 255);
    ::RegSetValueExA(key, "TooLong", 0, REG_SZ, reinterpret_cast<const BYTE*>(tooLong.c_str()), 256);
    ::RegSetValueExA(key, "Lead", 0, REG_SZ, reinterpret_cast<const BYTE*>("  x  "), 6);
    const DWORD all = 0xFFFFFFFF;
    ::RegSetValueExA(key, "All", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&all), 4);
    ::RegCloseKey(key);

    EXPECT_EQ(GetStringValue(cu_, "Fits"), fits);
    EXPECT_FALSE(GetStringValue(cu_, "TooLong"));
    EXPECT_EQ(GetStringValue(cu_, "Lead"), "x  ");
    EXPECT_EQ(GetDWORDValue(cu_, "All"), -1);
    EXPECT_FALSE(GetDWORDValue(cu_, "Fits"));
    EXPECT_FALSE(GetStringValue(cu_, "Missing"));
}

TEST_F(RegistryWinTest, EveryBuildUsesTheViewOfA32BitProgram) {
    ASSERT_TRUE(CreateKey(lm_));
    SetStringValue(lm_, "InstallLocation", "C:\\TAV");

    std::string data;
    ASSERT_EQ(RawRead(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, "InstallLocation", data), 0);
    EXPECT_EQ(data.substr(0, 6), "C:\\TAV");
    if (sizeof(void*) == 8) {
        // The native 64-bit view does not see what the 32-bit view holds.
        EXPECT_NE(RawRead(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, "InstallLocation", data), 0);
    }
    win32::Win32Registry native(false);
    Platform p = platform();
    p.registry = &native;
    SetPlatform(p);
    EXPECT_FALSE(GetStringValue(lm_, "InstallLocation").has_value() && sizeof(void*) == 8);
    win32::InstallWin32Platform();
    EXPECT_EQ(GetStringValue(lm_, "InstallLocation"), "C:\\TAV");
}

TEST_F(RegistryWinTest, RootAloneAndUnknownRoots) {
    EXPECT_TRUE(QueryKey("HKEY_CURRENT_USER"));
    EXPECT_FALSE(QueryKey("HKEY_Current_User\\SOFTWARE"));
    EXPECT_FALSE(CreateKey("HKEY_CURRENT_USER\\" + sub_ + "\\"));
    EXPECT_FALSE(QueryKey(cu_));
}

}  // namespace
}  // namespace tav
