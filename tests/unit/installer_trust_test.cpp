// Which installers a release and a development build start, judged on fake
// signatures,
// and the PE header reading that unmasks a stripped signature.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "fakes/fake_platform.h"
#include "install/installer_trust.h"
#include "install/sha256.h"

namespace tav {
namespace {

using fakes::FakeCodeSigning;
using ::testing::HasSubstr;

constexpr uint32_t kBadDigest = 0x80096010;  // TRUST_E_BAD_DIGEST
constexpr uint32_t kUntrustedRoot = 0x800B0109;

TrustPolicy Pinned(std::initializer_list<const char*> signers) {
    TrustPolicy policy;
    for (const char* signer : signers)
        policy.pinnedKeys.push_back(Sha256Hex(FakeCodeSigning::SignedBy(signer).signerKeyInfo));
    return policy;
}

TEST(Sha256, KnownDigestsAcrossTheBlockBoundaries) {
    const auto hex = [](const std::string& text) { return Sha256Hex(std::vector<uint8_t>(text.begin(), text.end())); };
    EXPECT_EQ(hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 56 bytes: the length no longer fits the first padded block.
    EXPECT_EQ(hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(hex(std::string(1000, 'a')), "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3");
}

// Which installer each kind of build starts.
TEST(JudgeInstaller, AReleaseStartsOnlyValidSignaturesOfAPinnedKeyADevelopmentBuildAlsoUnsignedOnes) {
    SignatureInfo lookAlike = FakeCodeSigning::SignedBy("TAV Systems");  // same name, another key
    lookAlike.signerKeyInfo.back() ^= 1;
    SignatureInfo noKey = FakeCodeSigning::SignedBy("TAV Systems");
    noKey.signerKeyInfo.clear();
    const SignatureInfo broken = FakeCodeSigning::SignedBy("TAV Systems", SignatureState::Invalid, kBadDigest);
    const SignatureInfo untrusted = FakeCodeSigning::SignedBy("TAV Systems", SignatureState::Invalid, kUntrustedRoot);
    const TrustPolicy release = Pinned({"TAV Systems"});
    const TrustPolicy rotating = Pinned({"Old TAV Key", "TAV Systems"});
    const TrustPolicy development;
    struct Case {
        const TrustPolicy& policy;
        SignatureInfo installer;
        bool accepted;
        const char* reason;
    } cases[] = {
        {release, FakeCodeSigning::SignedBy("TAV Systems"), true, ""},
        {rotating, FakeCodeSigning::SignedBy("TAV Systems"), true, ""},
        {rotating, FakeCodeSigning::SignedBy("Old TAV Key"), true, ""},
        {release, FakeCodeSigning::SignedBy("Mallory"), false, "signed by another publisher (CN=Mallory)"},
        {release, lookAlike, false, "another publisher (CN=TAV Systems)"},
        {release, noKey, false, "another publisher"},
        {release, SignatureInfo{}, false, "it is not signed"},
        {release, broken, false, "present but not valid (0x80096010)"},
        {release, untrusted, false, "(0x800B0109)"},
        {development, SignatureInfo{}, true, ""},
        {development, FakeCodeSigning::SignedBy("Anyone"), true, ""},
        {development, broken, false, "(0x80096010)"},
    };
    for (const Case& c : cases) {
        const InstallerVerdict v = JudgeInstaller(c.policy, c.installer);
        EXPECT_EQ(v.accepted, c.accepted) << c.installer.signerName << " " << c.reason;
        EXPECT_THAT(v.reason, HasSubstr(c.reason));
    }
}

TEST(VerifyInstaller, JudgesTheHeldFilesSignatureAndRefusesWhenTheCheckCannotRun) {
    fakes::FakePlatform fake;
    const std::string path = "C:\\TAV\\staged";
    fake.signing.signatures[path] = FakeCodeSigning::SignedBy("TAV Systems");
    EXPECT_TRUE(VerifyInstaller(*fake.signing.Hold(path), Pinned({"TAV Systems"})).accepted);
    EXPECT_FALSE(VerifyInstaller(*fake.signing.Hold(path), Pinned({"Mallory"})).accepted);

    struct Unreadable : HeldFile {
        SignatureInfo Signature() override { throw err::Make(err::kFileNotFound); }
    } unreadable;
    const InstallerVerdict v = VerifyInstaller(unreadable, TrustPolicy{});
    EXPECT_FALSE(v.accepted);
    EXPECT_THAT(v.reason, HasSubstr("could not be checked"));
}

// A minimal PE image: DOS header, "PE\0\0", file header, optional header
// with 16 data directories; the certificate table entry set to tableSize.
std::vector<uint8_t> Image(bool plus, uint32_t tableSize) {
    std::vector<uint8_t> b(0x400, 0);
    b[0] = 'M', b[1] = 'Z';
    const uint32_t pe = 0x80;
    std::memcpy(&b[0x3C], &pe, 4);
    std::memcpy(&b[pe], "PE\0\0", 4);
    const uint16_t optionalSize = plus ? 240 : 224;
    std::memcpy(&b[pe + 20], &optionalSize, 2);
    const size_t opt = pe + 24;
    const uint16_t magic = plus ? 0x20B : 0x10B;
    std::memcpy(&b[opt], &magic, 2);
    const size_t dirs = plus ? 112 : 96;
    const uint32_t count = 16;
    std::memcpy(&b[opt + dirs - 4], &count, 4);
    std::memcpy(&b[opt + dirs + 4 * 8 + 4], &tableSize, 4);
    return b;
}

TEST(DeclaredCertificateTableSize, ReadsBothImageWidthsAndRejectsWhatIsNoImage) {
    for (bool plus : {false, true}) {
        EXPECT_EQ(DeclaredCertificateTableSize(Image(plus, 0x1234).data(), 0x400), 0x1234u);
        EXPECT_EQ(DeclaredCertificateTableSize(Image(plus, 0).data(), 0x400), 0u);
    }
    std::vector<uint8_t> fewDirectories = Image(true, 0x99);
    fewDirectories[0x80 + 24 + 108] = 4;  // the table lies past the declared directories
    EXPECT_EQ(DeclaredCertificateTableSize(fewDirectories.data(), fewDirectories.size()), 0u);

    std::vector<uint8_t> farHeader = Image(false, 0x99);
    const uint32_t beyond = 0xFFFFFFF0;
    std::memcpy(&farHeader[0x3C], &beyond, 4);
    EXPECT_EQ(DeclaredCertificateTableSize(farHeader.data(), farHeader.size()), 0u);
    // Cut inside the directories.
    EXPECT_EQ(DeclaredCertificateTableSize(Image(true, 0x99).data(), 0x80 + 24 + 100), 0u);
    EXPECT_EQ(DeclaredCertificateTableSize(nullptr, 0), 0u);
}

}  // namespace
}  // namespace tav
