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

TEST(InstallerTrustTest, AReleaseStartsOnlyAPinnedKeysValidSignatureADevelopmentBuildAlsoNone) {
    SignatureInfo lookAlike = SignedBy("TAV Systems");
    lookAlike.signerKeyInfo.back() ^= 1;  // same name, another key
    const TrustPolicy release = Pinned({"TAV Systems"});
    const TrustPolicy rotating = Pinned({"Old TAV Key", "TAV Systems"});
    const TrustPolicy development;
    const struct {
        const TrustPolicy& policy;
        SignatureInfo installer;
        bool accepted;
        const char* reason;
    } rows[] = {
        {rotating, SignedBy("TAV Systems"), true, ""},
        {rotating, SignedBy("Old TAV Key"), true, ""},
        {release, lookAlike, false, "another publisher (CN=TAV Systems)"},
        {release, SignatureInfo{}, false, "it is not signed"},
        {development, SignatureInfo{}, true, ""},
        {development, SignedBy("Anyone"), true, ""},
    };
    for (const auto& row : rows) {
        const InstallerVerdict v = JudgeInstaller(row.policy, row.installer);
        const std::string what = row.installer.signerName + " under a " +
                                 (row.policy.development() ? "development" : "release") + " build";
        EXPECT_EQ(v.accepted, row.accepted) << what;
        EXPECT_THAT(v.reason, HasSubstr(row.reason)) << what;
    }
    struct Unreadable : HeldFile {
        SignatureInfo Signature() override { throw err::Make(err::kFileNotFound); }
    } unreadable;
    EXPECT_THAT(VerifyInstaller(unreadable, development).reason, HasSubstr("could not be checked"))
        << "a signature that cannot be read is not refused in its own words";
}

// A broken, revoked or unchecked signature is refused by every build, each
// with its own reason.
TEST(InstallerTrustTest, BrokenSignaturesAreRefusedByEveryBuildWithTheirOwnReasons) {
    const std::string revoked = "its signer's certificate is revoked";
    const std::string unchecked = "the revocation of its signer's certificate could not be checked";
    const std::string broken = "its signature is present but not valid";
    const struct {
        uint32_t status;
        const std::string& reason;
    } rows[] = {
        {0x800B010C, revoked},    // CERT_E_REVOKED
        {0x80092010, revoked},    // CRYPT_E_REVOKED
        {0x800B010E, unchecked},  // CERT_E_REVOCATION_FAILURE
        {0x80092012, unchecked},  // CRYPT_E_NO_REVOCATION_CHECK
        {0x80092013, unchecked},  // CRYPT_E_REVOCATION_OFFLINE
        {0x800B0109, broken},     // CERT_E_UNTRUSTEDROOT
    };
    const TrustPolicy release = Pinned({"TAV Systems"});
    const TrustPolicy development;
    for (const auto& row : rows) {
        const std::string code = StatusText(row.status);
        const SignatureInfo refused = SignedBy("TAV Systems", SignatureState::Invalid, row.status);
        for (const TrustPolicy* policy : {&release, &development}) {
            const InstallerVerdict v = JudgeInstaller(*policy, refused);
            const char* build = policy->development() ? "development" : "release";
            EXPECT_FALSE(v.accepted) << build << " build started an installer with status " << code;
            EXPECT_EQ(v.reason, row.reason + " (" + code + ")") << build << " build, wrong reason";
        }
    }
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
        << "not the digest of more than one read's worth";
    int reads = 0;
    try {
        HeldDigest(held, [&] { return ++reads == 2; });
        ADD_FAILURE() << "a stop request was not heard";
    } catch (const Failure& f) {
        EXPECT_EQ(f.number(), err::kUserInterrupt) << "a stop is not the user's interrupt";
    }
}

}  // namespace
}  // namespace tav
