// The registry layer's own rules, against an in-memory registry.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "system/registry.h"

namespace tav {
namespace {

const std::string kTav = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvel Systems\\TAV";
const std::string kWatchDog = kTav + "\\WatchDog";

class RegistryTest : public ::testing::Test {
protected:
    fakes::FakePlatform fake;
};

TEST_F(RegistryTest, RootTableIsExactAndCaseSensitive) {
    EXPECT_EQ(GetMainKeyHandle("HKEY_CLASSES_ROOT"), 0x80000000u);
    EXPECT_EQ(GetMainKeyHandle("HKEY_CURRENT_USER"), 0x80000001u);
    EXPECT_EQ(GetMainKeyHandle("HKEY_LOCAL_MACHINE"), 0x80000002u);
    EXPECT_EQ(GetMainKeyHandle("HKEY_USERS"), 0x80000003u);
    EXPECT_EQ(GetMainKeyHandle("HKEY_PERFORMANCE_DATA"), 0x80000004u);
    EXPECT_EQ(GetMainKeyHandle("HKEY_CURRENT_CONFIG"), 0x80000005u);
    EXPECT_EQ(GetMainKeyHandle("HKEY_DYN_DATA"), 0x80000006u);
    EXPECT_EQ(GetMainKeyHandle("HKEY_Local_Machine"), 0u);
    EXPECT_EQ(GetMainKeyHandle("HKLM"), 0u);
    EXPECT_EQ(GetMainKeyHandle(""), 0u);
}

TEST_F(RegistryTest, ParseKeySplitsAtTheFirstBackslash) {
    std::string path = "HKEY_CURRENT_USER\\SOFTWARE\\A\\B";
    RegKey root = 7;
    ParseKey(path, root);
    EXPECT_EQ(root, 0x80000001u);
    EXPECT_EQ(path, "SOFTWARE\\A\\B");

    path = "HKEY_LOCAL_MACHINE";
    ParseKey(path, root);
    EXPECT_EQ(root, 0x80000002u);
    EXPECT_EQ(path, "");
}

TEST_F(RegistryTest, MalformedPathsNeverReuseAnEarlierRoot) {
    RegKey root = 0;
    for (std::string path : {"HKEY_LOCAL_MACHINE\\SOFTWARE\\", "hkey_local_machine\\SOFTWARE",
                             "SOFTWARE\\X", "", "HKEY"}) {
        std::string good = "HKEY_LOCAL_MACHINE\\SOFTWARE";
        ParseKey(good, root);
        ASSERT_NE(root, 0u);
        ParseKey(path, root);
        EXPECT_EQ(root, 0u) << path;
    }
    fake.registry.PutString("HKEY_LOCAL_MACHINE\\SOFTWARE", "V", "x");
    EXPECT_FALSE(GetStringValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\", "V"));
    EXPECT_FALSE(QueryKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\"));
}

TEST_F(RegistryTest, RootAloneAddressesTheRootKey) {
    EXPECT_TRUE(QueryKey("HKEY_LOCAL_MACHINE"));
    EXPECT_EQ(fake.registry.OpenHandles(), 0u);
}

TEST_F(RegistryTest, UnknownRootDoesNothingAnywhere) {
    fake.registry.PutString(kTav, "InstallLocation", "C:\\TAV");
    const std::string mixed = "HKEY_Local_Machine\\SOFTWARE\\Corvel Systems\\TAV";
    EXPECT_FALSE(GetStringValue(mixed, "InstallLocation"));
    EXPECT_FALSE(GetDWORDValue(mixed, "InstallLocation"));
    EXPECT_FALSE(CreateKey(mixed + "\\New"));
    EXPECT_FALSE(QueryKey(mixed));
    SetStringValue(mixed, "X", "y");
    SetDWORDValue(mixed, "Y", 1);
    EXPECT_FALSE(fake.registry.Get(kTav, "X"));
    EXPECT_FALSE(fake.registry.Get(kTav, "Y"));
    EXPECT_TRUE(fake.registry.openAccessRequests.empty());
}

TEST_F(RegistryTest, StringReadsOpenForReadAndCloseTheKey) {
    fake.registry.PutString(kTav, "InstallLocation", "C:\\Program Files\\TAV");
    EXPECT_EQ(GetStringValue(kTav, "InstallLocation"), "C:\\Program Files\\TAV");
    EXPECT_EQ(fake.registry.openAccessRequests, std::vector<uint32_t>{0x20019});
    EXPECT_EQ(fake.registry.OpenHandles(), 0u);
}

TEST_F(RegistryTest, StringBufferHolds254CharactersAndATerminator) {
    fake.registry.PutString(kTav, "Fits", std::string(254, 'a'));
    fake.registry.PutString(kTav, "TooLong", std::string(255, 'b'));
    fake.registry.PutString(kTav, "Unterminated255", std::string(255, 'c'), false);
    EXPECT_EQ(GetStringValue(kTav, "Fits"), std::string(254, 'a'));
    EXPECT_FALSE(GetStringValue(kTav, "TooLong"));
    EXPECT_EQ(GetStringValue(kTav, "Unterminated255"), std::string(255, 'c'));
    EXPECT_EQ(fake.registry.OpenHandles(), 0u);
}

TEST_F(RegistryTest, BlanksAreTrimmedBeforeTheCutAtTheTerminator) {
    fake.registry.PutString(kTav, "Lead", "  text");
    fake.registry.PutString(kTav, "Trail", "text  ");
    fake.registry.PutString(kTav, "TrailNoNul", "text  ", false);
    fake.registry.PutString(kTav, "Empty", "");
    EXPECT_EQ(GetStringValue(kTav, "Lead"), "text");
    EXPECT_EQ(GetStringValue(kTav, "Trail"), "text  ");
    EXPECT_EQ(GetStringValue(kTav, "TrailNoNul"), "text");
    EXPECT_EQ(GetStringValue(kTav, "Empty"), "");
}

TEST_F(RegistryTest, MissingKeyOrValueGivesEmptyAndLeavesNothingOpen) {
    EXPECT_FALSE(GetStringValue(kTav, "InstallLocation"));
    fake.registry.AddKey(kTav);
    EXPECT_FALSE(GetStringValue(kTav, "InstallLocation"));
    EXPECT_FALSE(GetDWORDValue(kTav, "Nothing"));
    EXPECT_EQ(fake.registry.OpenHandles(), 0u);
}

TEST_F(RegistryTest, DwordsAreSignedAndLimitedToFourBytes) {
    fake.registry.PutDword(kWatchDog, "All", 0xFFFFFFFFu);
    fake.registry.PutDword(kWatchDog, "Ack", 99);
    fake.registry.PutString(kWatchDog, "Text", "abcdefgh");
    fake.registry.PutString(kWatchDog, "Short", "ab");
    EXPECT_EQ(GetDWORDValue(kWatchDog, "All"), -1);
    EXPECT_EQ(GetDWORDValue(kWatchDog, "Ack"), 99);
    EXPECT_FALSE(GetDWORDValue(kWatchDog, "Text"));  // 9 bytes do not fit
    EXPECT_EQ(GetDWORDValue(kWatchDog, "Short"), 0x006261);
    EXPECT_EQ(fake.registry.OpenHandles(), 0u);
}

TEST_F(RegistryTest, SettersNeverCreateTheKey) {
    SetStringValue(kWatchDog, "Command", "Shutdown");
    SetDWORDValue(kWatchDog, "ShutDown", 99);
    EXPECT_FALSE(fake.registry.HasKey(kWatchDog));

    EXPECT_TRUE(CreateKey(kWatchDog));
    SetStringValue(kWatchDog, "Command", "Shutdown");
    SetDWORDValue(kWatchDog, "ShutDown", 99);
    const auto command = fake.registry.Get(kWatchDog, "Command");
    ASSERT_TRUE(command);
    EXPECT_EQ(command->type, 1u);
    EXPECT_EQ(command->data, (std::vector<uint8_t>{'S', 'h', 'u', 't', 'd', 'o', 'w', 'n'}));
    const auto ack = fake.registry.Get(kWatchDog, "ShutDown");
    ASSERT_TRUE(ack);
    EXPECT_EQ(ack->type, 4u);
    EXPECT_EQ(ack->data, (std::vector<uint8_t>{99, 0, 0, 0}));
    EXPECT_EQ(fake.registry.OpenHandles(), 0u);
}

TEST_F(RegistryTest, SettersOpenForWriteAndCloseEvenWhenTheWriteFails) {
    fake.registry.AddKey(kWatchDog);
    fake.registry.readOnlyKeys.insert(fakes::NormalizePath(kWatchDog));
    SetDWORDValue(kWatchDog, "ShutDown", -5);
    EXPECT_EQ(fake.registry.openAccessRequests, std::vector<uint32_t>{0x20006});
    EXPECT_FALSE(fake.registry.Get(kWatchDog, "ShutDown"));
    EXPECT_EQ(fake.registry.OpenHandles(), 0u);
}

TEST_F(RegistryTest, CreateKeyMakesEveryLevelAndQueryKeyFindsIt) {
    const std::string deep = "HKEY_CURRENT_USER\\SOFTWARE\\A\\B\\C";
    EXPECT_FALSE(QueryKey(deep));
    EXPECT_TRUE(CreateKey(deep));
    EXPECT_TRUE(QueryKey(deep));
    EXPECT_TRUE(QueryKey("HKEY_CURRENT_USER\\SOFTWARE\\A"));
    EXPECT_TRUE(CreateKey(deep));  // existing key
    EXPECT_EQ(fake.registry.OpenHandles(), 0u);
}

TEST_F(RegistryTest, ApplyRegistryUpdateBroadcastsTheSettingChange) {
    ApplyRegistryUpdate();
    ASSERT_EQ(fake.registry.settingChanges.size(), 1u);
    EXPECT_EQ(fake.registry.settingChanges[0].first, 0u);
    EXPECT_EQ(fake.registry.settingChanges[0].second, 5000);
}

}  // namespace
}  // namespace tav
