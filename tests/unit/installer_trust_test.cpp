// Which installers the program agrees to start, judged on fake signatures,
// and the PE header reading that unmasks a stripped signature.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "fakes/fake_platform.h"
#include "install/installer_trust.h"

namespace tav {
namespace {

using fakes::FakeCodeSigning;
using ::testing::HasSubstr;

constexpr uint32_t kBadDigest = 0x80096010;  // TRUST_E_BAD_DIGEST
constexpr uint32_t kUntrustedRoot = 0x800B0109;

TEST(JudgeInstaller, ASignedProgramStartsOnlyItsOwnPublishersValidInstallers) {
    const SignatureInfo program = FakeCodeSigning::SignedBy("TAV Systems");
    EXPECT_TRUE(JudgeInstaller(program, FakeCodeSigning::SignedBy("TAV Systems")).accepted);

    const InstallerVerdict other = JudgeInstaller(program, FakeCodeSigning::SignedBy("Mallory"));
    EXPECT_FALSE(other.accepted);
    EXPECT_THAT(other.reason, HasSubstr("another publisher (CN=Mallory)"));

    // Same name on a certificate with another key: a look-alike.
    SignatureInfo lookAlike = FakeCodeSigning::SignedBy("TAV Systems");
    lookAlike.signerPublicKey.back() ^= 1;
    EXPECT_FALSE(JudgeInstaller(program, lookAlike).accepted);

    EXPECT_FALSE(JudgeInstaller(program, SignatureInfo{}).accepted);
    EXPECT_FALSE(JudgeInstaller(program, FakeCodeSigning::SignedBy("TAV Systems", SignatureState::Invalid,
                                                                   kUntrustedRoot))
                     .accepted);
}

TEST(JudgeInstaller, ABrokenSignatureIsRefusedWhateverTheProgramCarries) {
    const SignatureInfo broken = FakeCodeSigning::SignedBy("TAV Systems", SignatureState::Invalid, kBadDigest);
    for (const SignatureInfo& program :
         {SignatureInfo{}, FakeCodeSigning::SignedBy("TAV Systems"),
          FakeCodeSigning::SignedBy("TAV Systems", SignatureState::Invalid, kUntrustedRoot)}) {
        const InstallerVerdict v = JudgeInstaller(program, broken);
        EXPECT_FALSE(v.accepted);
        EXPECT_THAT(v.reason, HasSubstr("0x80096010"));
    }
}

TEST(JudgeInstaller, AnUnsignedProgramStartsUnsignedInstallersAndSaysSo) {
    const InstallerVerdict plain = JudgeInstaller(SignatureInfo{}, SignatureInfo{});
    EXPECT_TRUE(plain.accepted);
    EXPECT_TRUE(plain.acceptedUnsigned);
    const InstallerVerdict signedOne = JudgeInstaller(SignatureInfo{}, FakeCodeSigning::SignedBy("Anyone"));
    EXPECT_TRUE(signedOne.accepted);
    EXPECT_FALSE(signedOne.acceptedUnsigned);
    // A program whose own signature fails to verify pins nothing either.
    EXPECT_TRUE(JudgeInstaller(FakeCodeSigning::SignedBy("TAV Systems", SignatureState::Invalid, kUntrustedRoot),
                               SignatureInfo{})
                    .accepted);
}

TEST(JudgeInstaller, ASignerWithoutCertificateDataNeverMatches) {
    SignatureInfo empty;
    empty.state = SignatureState::Valid;
    EXPECT_FALSE(JudgeInstaller(empty, empty).accepted);
}

class VerifyInstallerTest : public ::testing::Test {
protected:
    fakes::FakePlatform fake;
    const std::string path = "C:\\TAV\\setup.exe";
};

TEST_F(VerifyInstallerTest, AnAcceptedInstallerStaysHeldUntilTheVerdictLetsGo) {
    fake.signing.own = FakeCodeSigning::SignedBy("TAV Systems");
    fake.signing.signatures[path] = FakeCodeSigning::SignedBy("TAV Systems");
    {
        InstallerVerdict v = VerifyInstaller(path);
        EXPECT_TRUE(v.accepted);
        EXPECT_EQ(fake.signing.held.count(path), 1u);
    }
    EXPECT_TRUE(fake.signing.held.empty());
}

TEST_F(VerifyInstallerTest, ARefusedOrUnopenableInstallerIsNotHeld) {
    fake.signing.own = FakeCodeSigning::SignedBy("TAV Systems");
    InstallerVerdict unsignedOne = VerifyInstaller(path);
    EXPECT_FALSE(unsignedOne.accepted);
    EXPECT_EQ(unsignedOne.hold, nullptr);
    EXPECT_TRUE(fake.signing.held.empty());

    fake.signing.unopenable.insert(path);
    const InstallerVerdict locked = VerifyInstaller(path);
    EXPECT_FALSE(locked.accepted);
    EXPECT_THAT(locked.reason, HasSubstr("cannot be opened"));

    platform().signing = nullptr;
    EXPECT_FALSE(VerifyInstaller(path).accepted);
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
