// Which installers a release and a development build start, and the PE
// header reading that unmasks a stripped signature.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "install/installer_trust.h"
#include "install/sha256.h"
#include "platform/failure.h"

namespace tav {
namespace {

SignatureInfo SignedBy(const std::string& name, SignatureState state = SignatureState::Valid, uint32_t status = 0) {
    const std::string key = "key of " + name;
    return {state, status, std::vector<uint8_t>(key.begin(), key.end()), "CN=" + name};
}
TrustPolicy Pinned(std::initializer_list<const char*> signers) {
    TrustPolicy policy;
    for (const char* signer : signers) policy.pinnedKeys.push_back(Sha256Hex(SignedBy(signer).signerKeyInfo));
    return policy;
}

TEST(InstallerTrustTest, Sha256KnownDigestsAcrossTheBlockBoundaries) {
    const auto hex = [](const std::string& text) { return Sha256Hex(std::vector<uint8_t>(text.begin(), text.end())); };
    EXPECT_EQ(hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),  // 56: the length spills
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(hex(std::string(1000, 'a')), "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3");
}

TEST(InstallerTrustTest, AReleaseStartsOnlyValidSignaturesOfAPinnedKeyADevelopmentBuildAlsoUnsigned) {
    SignatureInfo lookAlike = SignedBy("TAV Systems"), noKey = SignedBy("TAV Systems");
    lookAlike.signerKeyInfo.back() ^= 1;  // same name, another key
    noKey.signerKeyInfo.clear();
    const SignatureInfo broken = SignedBy("TAV Systems", SignatureState::Invalid, 0x80096010);
    const TrustPolicy release = Pinned({"TAV Systems"}), rotating = Pinned({"Old TAV Key", "TAV Systems"}), development;
    const struct {
        const TrustPolicy& policy;
        SignatureInfo installer;
        bool accepted;
        const char* reason;
    } cases[] = {
        {release, SignedBy("TAV Systems"), true, ""},
        {rotating, SignedBy("TAV Systems"), true, ""},
        {rotating, SignedBy("Old TAV Key"), true, ""},
        {release, SignedBy("Mallory"), false, "signed by another publisher (CN=Mallory)"},
        {release, lookAlike, false, "another publisher (CN=TAV Systems)"},
        {release, noKey, false, "another publisher"},
        {release, SignatureInfo{}, false, "it is not signed"},
        {release, broken, false, "present but not valid (0x80096010)"},
        {release, SignedBy("TAV Systems", SignatureState::Invalid, 0x800B0109), false, "(0x800B0109)"},
        {development, SignatureInfo{}, true, ""},
        {development, SignedBy("Anyone"), true, ""},
        {development, broken, false, "(0x80096010)"},
    };
    for (const auto& c : cases) {
        const InstallerVerdict v = JudgeInstaller(c.policy, c.installer);
        EXPECT_EQ(v.accepted, c.accepted) << c.installer.signerName << " " << c.reason;
        EXPECT_THAT(v.reason, testing::HasSubstr(c.reason));
    }
    struct Held : HeldFile {
        bool readable = true;
        SignatureInfo Signature() override {
            if (!readable) throw err::Make(err::kFileNotFound);
            return SignedBy("TAV Systems");
        }
    } held;
    EXPECT_TRUE(VerifyInstaller(held, release).accepted);  // judges the held file's own signature
    EXPECT_FALSE(VerifyInstaller(held, Pinned({"Mallory"})).accepted);
    held.readable = false;
    EXPECT_THAT(VerifyInstaller(held, development).reason, testing::HasSubstr("could not be checked"));
}

// A minimal PE image: DOS header, "PE\0\0", file header, optional header with
// 16 data directories, the certificate table's size set.
std::vector<uint8_t> Image(bool plus, uint32_t tableSize, uint32_t directories = 16, uint32_t pe = 0x80) {
    std::vector<uint8_t> b(0x400, 0);
    b[0] = 'M', b[1] = 'Z';
    std::memcpy(&b[0x3C], &pe, 4);
    std::memcpy(&b[0x80], "PE\0\0", 4);
    const uint16_t optionalSize = plus ? 240 : 224, magic = plus ? 0x20B : 0x10B;
    std::memcpy(&b[0x80 + 20], &optionalSize, 2);
    std::memcpy(&b[0x80 + 24], &magic, 2);
    const size_t dirs = 0x80 + 24 + (plus ? 112 : 96);
    std::memcpy(&b[dirs - 4], &directories, 4);
    std::memcpy(&b[dirs + 4 * 8 + 4], &tableSize, 4);
    return b;
}

TEST(InstallerTrustTest, DeclaredCertificateTableOfBothWidthsAndOfWhatIsNoImage) {
    const struct {
        std::vector<uint8_t> bytes;
        size_t size;
        uint32_t declared;
    } cases[] = {
        {Image(false, 0x1234), 0x400, 0x1234}, {Image(true, 0x1234), 0x400, 0x1234}, {Image(true, 0), 0x400, 0},
        {Image(true, 0x99, 4), 0x400, 0},               // the table lies past the declared directories
        {Image(false, 0x99, 16, 0xFFFFFFF0), 0x400, 0},  // the header lies beyond the file
        {Image(true, 0x99), 0x80 + 24 + 100, 0},         // cut inside the directories
    };
    for (const auto& c : cases) EXPECT_EQ(DeclaredCertificateTableSize(c.bytes.data(), c.size), c.declared);
    EXPECT_EQ(DeclaredCertificateTableSize(nullptr, 0), 0u);
}

}  // namespace
}  // namespace tav
