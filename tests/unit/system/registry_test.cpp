// The registry layer's own rules against an in-memory registry.
#include <gmock/gmock.h>

#include "fakes/fake_platform.h"
#include "system/registry.h"

namespace tav {
namespace {

const std::string kTav = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvel Systems\\TAV";

class RegistryTest : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(fake.registry.OpenHandles(), 0u) << "a key was left open";
    }
    Registry& Reg() { return fake.state.registry; }
    fakes::FakePlatform fake;
};

// A path starts with an exact root name; a malformed one never reuses an
// earlier root.
TEST_F(RegistryTest, PathsStartWithAnExactRootName) {
    EXPECT_EQ(GetMainKeyHandle("HKEY_DYN_DATA"), 0x80000006u) << "the last root is cut off";
    const struct {
        std::string path;
        RegKey root;
        std::string subkey;
    } rows[] = {
        {"HKEY_CURRENT_USER\\SOFTWARE\\A", 0x80000001u, "SOFTWARE\\A"},
        {"HKEY_LOCAL_MACHINE", 0x80000002u, ""},
        {"HKEY_LOCAL_MACHINE\\SOFTWARE\\", 0u, ""},
        {"hkey_local_machine\\SOFTWARE", 0u, ""},
        {"HKLM\\SOFTWARE", 0u, ""},
        {"", 0u, ""},
    };
    for (const auto& row : rows) {
        RegKey root = 0x80000003;
        std::string path = row.path;
        ParseKey(path, root);
        EXPECT_EQ(root, row.root) << row.path;
        if (root == 0) continue;
        EXPECT_EQ(path, row.subkey) << row.path;
    }
    EXPECT_TRUE(Reg().QueryKey("HKEY_LOCAL_MACHINE")) << "the root alone is not found";
}

TEST_F(RegistryTest, ValuesAreReadThroughA255ByteBufferTrimmedThenCutAtTheTerminator) {
    const struct {
        std::string stored;
        bool terminated;
        std::string read;
    } strings[] = {
        {std::string(255, 'c'), false, std::string(255, 'c')},
        {"  text", true, "text"},
        {"text  ", true, "text  "},
        {"text  ", false, "text"},
        {"", true, ""},
    };  // 254 and 255 terminated ones are read on the Windows tier
    for (const auto& row : strings) {
        fake.registry.PutString(kTav, "S", row.stored, row.terminated);
        EXPECT_EQ(Reg().GetStringValue(kTav, "S"), row.read) << "stored: \"" << row.stored << "\"";
    }
    EXPECT_THAT(fake.registry.openAccessRequests, testing::Each(kKeyRead)) << "read with rights";
    fake.registry.PutString(kTav, "D", "abcdefgh");
    EXPECT_FALSE(Reg().GetDWORDValue(kTav, "D")) << "9 bytes read as four";
    fake.registry.PutString(kTav, "D", "ab");
    EXPECT_EQ(Reg().GetDWORDValue(kTav, "D"), 0x006261) << "3 bytes";
    fake.registry.PutString(kTav, "D", "\xFF\xFF\xFF\xFF", false);
    EXPECT_EQ(Reg().GetDWORDValue(kTav, "D"), -1) << "read without its sign";
    EXPECT_FALSE(Reg().GetStringValue(kTav, "Missing")) << "a missing value read";
    EXPECT_FALSE(Reg().GetStringValue(kTav + "\\Missing", "S")) << "a missing key read";
}

TEST_F(RegistryTest, SettersWriteOnlyIntoExistingKeysAndCreateKeyMakesEveryLevel) {
    const std::string watchDog = kTav + "\\WatchDog";
    Reg().SetStringValue(watchDog, "Command", "Shutdown");
    EXPECT_FALSE(Reg().QueryKey(watchDog)) << "a setter created the key";
    EXPECT_TRUE(Reg().CreateKey(watchDog)) << "not created";
    EXPECT_TRUE(Reg().QueryKey(kTav)) << "a level above not created";
    EXPECT_TRUE(Reg().CreateKey(watchDog)) << "an existing key not opened";
    fake.registry.readOnlyKeys.insert(fakes::NormalizePath(watchDog));
    Reg().SetDWORDValue(watchDog, "Other", -5);  // closes the key even when the write fails
    EXPECT_EQ(fake.registry.openAccessRequests.back(), kKeyWrite) << "written without rights";
}

}  // namespace
}  // namespace tav
