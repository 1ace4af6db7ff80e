// The registry layer's own rules against an in-memory registry, and the
// processor width that picks the installer's program folder.
#include <gmock/gmock.h>

#include "app/state.h"
#include "fakes/fake_platform.h"
#include "system/environment_helpers.h"
#include "system/registry.h"

namespace tav {
namespace {

const std::string kTav = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvel Systems\\TAV";

class SystemTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(fake.registry.OpenHandles(), 0u); }
    fakes::FakePlatform fake;
};

TEST_F(SystemTest, PathsStartWithAnExactRootNameAndMalformedOnesNeverReuseAnEarlierRoot) {
    EXPECT_EQ(GetMainKeyHandle("HKEY_DYN_DATA"), 0x80000006u);  // the last root: none is cut off
    for (const std::tuple<std::string, RegKey, std::string> c : {std::make_tuple("HKEY_CURRENT_USER\\SOFTWARE\\A", 0x80000001u, "SOFTWARE\\A"),
             {"HKEY_LOCAL_MACHINE", 0x80000002u, ""}, {"HKEY_LOCAL_MACHINE\\SOFTWARE\\", 0u, ""}, {"hkey_local_machine\\SOFTWARE", 0u, ""},
             {"HKLM\\SOFTWARE", 0u, ""}, {"HKEY", 0u, ""}, {"", 0u, ""}}) {
        RegKey parsed = 0x80000003;
        std::string path = std::get<0>(c);
        ParseKey(path, parsed);
        EXPECT_EQ(std::make_pair(parsed, parsed ? path : ""), std::make_pair(std::get<1>(c), std::get<2>(c))) << std::get<0>(c);
    }
    fake.registry.PutString(kTav, "V", "x");
    EXPECT_FALSE(GetStringValue(kTav + "\\", "V") || CreateKey("HKEY_Local_Machine\\SOFTWARE\\New"));
    EXPECT_TRUE(QueryKey("HKEY_LOCAL_MACHINE"));  // the root alone
}

TEST_F(SystemTest, ValuesAreReadThroughA255ByteBufferTrimmedThenCutAtTheTerminator) {
    const std::tuple<std::string, bool, std::optional<std::string>> strings[] = {  // stored, terminated, read
        {std::string(255, 'c'), false, std::string(255, 'c')}, {"  text", true, "text"}, {"text  ", true, "text  "},
        {"text  ", false, "text"}, {"", true, ""}};  // 254 and 255 terminated ones are read on the Windows tier
    for (const auto& [stored, terminated, read] : strings) {
        fake.registry.PutString(kTav, "S", stored, terminated);
        EXPECT_EQ(GetStringValue(kTav, "S"), read) << stored;
    }
    EXPECT_THAT(fake.registry.openAccessRequests, testing::Each(0x20019u));
    fake.registry.PutString(kTav, "D", "abcdefgh");  // 9 bytes do not fit four
    EXPECT_FALSE(GetDWORDValue(kTav, "D"));
    fake.registry.PutString(kTav, "D", "ab");
    EXPECT_EQ(GetDWORDValue(kTav, "D"), 0x006261);
    fake.registry.PutDword(kTav, "D", 0xFFFFFFFFu);
    EXPECT_EQ(GetDWORDValue(kTav, "D"), -1);
    EXPECT_FALSE(GetStringValue(kTav, "Missing") || GetDWORDValue(kTav, "Missing") || GetStringValue(kTav + "\\Missing", "S"));
}

TEST_F(SystemTest, SettersWriteOnlyIntoExistingKeysAndCreateKeyMakesEveryLevel) {
    const std::string watchDog = kTav + "\\WatchDog";
    SetStringValue(watchDog, "Command", "Shutdown");
    EXPECT_FALSE(QueryKey(watchDog));
    EXPECT_TRUE(CreateKey(watchDog) && QueryKey(kTav) && CreateKey(watchDog));
    fake.registry.readOnlyKeys.insert(fakes::NormalizePath(watchDog));
    SetDWORDValue(watchDog, "Other", -5);  // closes the key even when the write fails
    EXPECT_EQ(fake.registry.openAccessRequests.back(), 0x20006u);
}

TEST_F(SystemTest, TheProcessorWidthIsTheLastProcessorsAndPicksTheProgramFolder) {
    fake.environment.processors = std::vector<std::optional<std::string>>{"32", "64", std::nullopt};
    EXPECT_EQ(GetAddressWidth(), "64");
    fake.environment.processors.reset();  // no management service: silently ""
    EXPECT_EQ(GetAddressWidth(), "");
    sInstallLocation = "D:\\Home Automation\\Current";
    for (const auto& [width, folder] : std::initializer_list<std::pair<const char*, const char*>>{
             {"32", "Program Files"}, {" 32", "Program Files"}, {"320", "Program Files (x86)"}, {"", "Program Files (x86)"}})
        EXPECT_EQ(AssumedInstallerPath("a.exe", width), std::string("D:\\") + folder + "\\TAV\\a.exe") << width;
}

}  // namespace
}  // namespace tav
