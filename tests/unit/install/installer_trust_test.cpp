// Judging the installer before anything of TAV is touched: its signature
// against the build's trust policy, and the digest its caller named.
#include <gmock/gmock.h>

#include "fakes/fake_code_signing.h"
#include "install/installer_trust.h"

namespace tav {
namespace {

using ::testing::HasSubstr;

SignatureInfo SignedBy(const std::string& name, SignatureState state = SignatureState::Valid,
                       uint32_t status = 0) {
    const std::string key = "key of " + name;
    return {state, status, std::vector<uint8_t>(key.begin(), key.end()), "CN=" + name};
}

TrustPolicy Pinned(std::initializer_list<const char*> signers) {
    TrustPolicy policy;
    for (const char* signer : signers)
        policy.pinnedKeys.push_back(Sha256Hex(SignedBy(signer).signerKeyInfo));
    return policy;
}

SignatureInfo Invalid(uint32_t status) {
    return SignedBy("TAV Systems", SignatureState::Invalid, status);
}

// A release starts only a pinned key's valid signature, a development
// build also none; a revoked or unchecked one is refused by every build.
TEST(InstallerTrustTest, AReleaseStartsOnlyAPinnedKeysValidSignatureADevelopmentBuildAlsoNone) {
    SignatureInfo lookAlike = SignedBy("TAV Systems");
    lookAlike.signerKeyInfo.back() ^= 1;  // same name, another key
    const TrustPolicy rotating = Pinned({"Old TAV Key", "TAV Systems"});
    const TrustPolicy development;
    const std::string revoked = "its signer's certificate is revoked (0x";
    const std::string unchecked = "the revocation of its signer's certificate could not be checked";
    const struct {
        const TrustPolicy& policy;
        SignatureInfo installer;
        bool accepted;
        std::string reason;
    } rows[] = {
        {rotating, SignedBy("Old TAV Key"), true, ""},
        {rotating, lookAlike, false, "another publisher (CN=TAV Systems)"},
        {development, SignedBy("Anyone"), true, ""},
        {rotating, Invalid(0x800B010C), false, revoked + "800B010C)"},     // CERT_E_REVOKED
        {development, Invalid(0x80092010), false, revoked + "80092010)"},  // CRYPT_E_REVOKED
        {rotating, Invalid(0x800B010E), false, unchecked},     // CERT_E_REVOCATION_FAILURE
        {development, Invalid(0x80092012), false, unchecked},  // CRYPT_E_NO_REVOCATION_CHECK
        {development, Invalid(0x80092013), false, unchecked + " (0x80092013)"},
    };
    for (const auto& row : rows) {
        const InstallerVerdict v = JudgeInstaller(row.policy, row.installer);
        const std::string what = row.installer.signerName + " " + StatusText(row.installer.status) +
                                 " under a " +
                                 (row.policy.development() ? "development" : "release") + " build";
        EXPECT_EQ(v.accepted, row.accepted) << what;
        EXPECT_THAT(v.reason, HasSubstr(row.reason)) << what;
    }
    struct Unreadable : HeldFile {
        SignatureInfo Signature() override { throw err::Make(err::kFileNotFound); }
    } unreadable;
    EXPECT_THAT(VerifyInstaller(unreadable, development).reason, HasSubstr("could not be checked"))
        << "an unreadable signature";
}

// A digest named by the caller refuses any other file in its own words;
// the digest of a held file is of all of it, and its reading stops when
// asked to.
TEST(InstallerTrustTest, AnExpectedDigestRefusesEveryOtherFileAndCoversTheWholeFile) {
    const Sha256Digest one = Sha256(std::vector<uint8_t>{1});
    const Sha256Digest two = Sha256(std::vector<uint8_t>{2});
    EXPECT_FALSE(JudgeDigest(std::nullopt, one)) << "nothing named: nothing to refuse";
    EXPECT_FALSE(JudgeDigest(one, one)) << "the named file refused";
    const std::optional<InstallerVerdict> refused = JudgeDigest(two, one);
    ASSERT_TRUE(refused) << "another file accepted";
    EXPECT_FALSE(refused->accepted) << "another file accepted";
    EXPECT_EQ(refused->refusal, "does not match the expected digest") << "refused in other words";
    EXPECT_EQ(refused->reason,
              "its SHA-256 is " + HexText(one) + ", not the expected " + HexText(two))
        << "the log does not say both digests";

    std::string content(3 * 1024 * 1024 + 77, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 131 / 7);
    fakes::FakeCodeSigning::File held("setup.exe", content);
    EXPECT_EQ(HeldDigest(held),
              Sha256(std::span(reinterpret_cast<const uint8_t*>(content.data()), content.size())))
        << "the digest of many reads";
    int reads = 0;
    try {
        HeldDigest(held, [&] { return ++reads == 2; });
        ADD_FAILURE() << "a stop request was not heard";
    } catch (const Failure& f) {
        EXPECT_EQ(f.number(), err::kUserInterrupt) << "not an interrupt";
    }
}

}  // namespace
}  // namespace tav
