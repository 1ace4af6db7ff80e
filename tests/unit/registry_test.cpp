// The registry layer's own rules, against an in-memory registry.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "system/registry.h"

namespace tav {
namespace {

const std::string kTav = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvel Systems\\TAV";

class RegistryTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(fake.registry.OpenHandles(), 0u); }
    fakes::FakePlatform fake;
};

TEST_F(RegistryTest, PathsStartWithAnExactRootNameAndMalformedOnesNeverReuseAnEarlierRoot) {
    const std::pair<const char*, RegKey> roots[] = {
        {"HKEY_CLASSES_ROOT", 0x80000000}, {"HKEY_CURRENT_USER", 0x80000001}, {"HKEY_LOCAL_MACHINE", 0x80000002},
        {"HKEY_USERS", 0x80000003}, {"HKEY_PERFORMANCE_DATA", 0x80000004}, {"HKEY_CURRENT_CONFIG", 0x80000005},
        {"HKEY_DYN_DATA", 0x80000006}, {"HKEY_Local_Machine", 0}, {"HKLM", 0}, {"", 0}};
    for (const auto& [name, handle] : roots) EXPECT_EQ(GetMainKeyHandle(name), handle) << name;
    for (const auto& [path, root, rest] : std::initializer_list<std::tuple<std::string, RegKey, std::string>>{
             {"HKEY_CURRENT_USER\\SOFTWARE\\A\\B", 0x80000001, "SOFTWARE\\A\\B"}, {"HKEY_LOCAL_MACHINE", 0x80000002, ""},
             {"HKEY_LOCAL_MACHINE\\SOFTWARE\\", 0, ""}, {"hkey_local_machine\\SOFTWARE", 0, ""},
             {"SOFTWARE\\X", 0, ""}, {"HKEY", 0, ""}}) {
        RegKey parsed = 0x80000003;
        std::string p = path;
        ParseKey(p, parsed);
        EXPECT_EQ(parsed, root) << path;
        EXPECT_EQ(root ? p : "", rest);
    }
    fake.registry.PutString(kTav, "V", "x");
    for (const std::string& bad : {kTav + "\\", std::string("HKEY_Local_Machine\\SOFTWARE\\Corvel Systems\\TAV")}) {
        EXPECT_FALSE(GetStringValue(bad, "V"));
        EXPECT_FALSE(GetDWORDValue(bad, "V"));
        EXPECT_FALSE(QueryKey(bad));
        SetStringValue(bad, "X", "y");
        SetDWORDValue(bad, "Y", 1);
    }
    EXPECT_FALSE(fake.registry.Get(kTav, "X") || fake.registry.Get(kTav, "Y"));
    EXPECT_FALSE(CreateKey("HKEY_Local_Machine\\SOFTWARE\\New"));
    EXPECT_EQ(fake.registry.openAccessRequests, std::vector<uint32_t>{});
    EXPECT_TRUE(QueryKey("HKEY_LOCAL_MACHINE"));  // the root alone
}

TEST_F(RegistryTest, ValuesAreReadThroughA255ByteBufferTrimmedThenCutAtTheTerminator) {
    const struct {
        std::string stored;
        bool terminated;
        std::optional<std::string> read;
    } strings[] = {
        {std::string(254, 'a'), true, std::string(254, 'a')}, {std::string(255, 'b'), true, std::nullopt},
        {std::string(255, 'c'), false, std::string(255, 'c')}, {"  text", true, "text"},
        {"text  ", true, "text  "}, {"text  ", false, "text"}, {"", true, ""}};
    for (const auto& s : strings) {
        fake.registry.PutString(kTav, "S", s.stored, s.terminated);
        EXPECT_EQ(GetStringValue(kTav, "S"), s.read) << s.stored;
    }
    EXPECT_THAT(fake.registry.openAccessRequests, testing::Each(0x20019u));
    for (const auto& [stored, read] : std::initializer_list<std::pair<std::string, std::optional<int32_t>>>{
             {"abcdefgh", std::nullopt}, {"ab", 0x006261}}) {  // 9 bytes do not fit four
        fake.registry.PutString(kTav, "D", stored);
        EXPECT_EQ(GetDWORDValue(kTav, "D"), read) << stored;
    }
    fake.registry.PutDword(kTav, "D", 0xFFFFFFFFu);
    EXPECT_EQ(GetDWORDValue(kTav, "D"), -1);
    EXPECT_FALSE(GetStringValue(kTav, "Missing") || GetDWORDValue(kTav, "Missing"));
    EXPECT_FALSE(GetStringValue(kTav + "\\Missing", "S"));
}

TEST_F(RegistryTest, SettersWriteOnlyIntoExistingKeysAndCreateKeyMakesEveryLevel) {
    const std::string watchDog = kTav + "\\WatchDog";
    SetStringValue(watchDog, "Command", "Shutdown");
    EXPECT_FALSE(fake.registry.HasKey(watchDog));
    EXPECT_FALSE(QueryKey(watchDog));
    EXPECT_TRUE(CreateKey(watchDog));
    EXPECT_TRUE(QueryKey(kTav));
    EXPECT_TRUE(CreateKey(watchDog));
    SetStringValue(watchDog, "Command", "Shutdown");
    SetDWORDValue(watchDog, "ShutDown", 99);
    EXPECT_EQ(fake.registry.Get(watchDog, "Command")->type, 1u);
    EXPECT_EQ(fake.registry.Get(watchDog, "Command")->data, (std::vector<uint8_t>{'S', 'h', 'u', 't', 'd', 'o', 'w', 'n'}));
    EXPECT_EQ(fake.registry.Get(watchDog, "ShutDown")->type, 4u);
    EXPECT_EQ(fake.registry.Get(watchDog, "ShutDown")->data, (std::vector<uint8_t>{99, 0, 0, 0}));

    fake.registry.readOnlyKeys.insert(fakes::NormalizePath(watchDog));
    fake.registry.openAccessRequests.clear();
    SetDWORDValue(watchDog, "Other", -5);  // closes the key even when the write fails
    EXPECT_EQ(fake.registry.openAccessRequests, std::vector<uint32_t>{0x20006});
    ApplyRegistryUpdate();
    EXPECT_THAT(fake.registry.settingChanges, testing::ElementsAre(std::make_pair(uintptr_t{0}, intptr_t{5000})));
}

}  // namespace
}  // namespace tav
