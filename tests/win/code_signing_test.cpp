// Installer trust over the real verifier: Authenticode signatures of a
// throw-away authority's test installers, and files held from their
// creation to their start. The signers name a revocation list that
// crl_server.py serves (a ctest fixture).
#include <gmock/gmock.h>

#include "core/failure.h"
#include "core/sha256.h"
#include "install/installer_trust.h"
#include "platform/win32/code_signing_win32.h"
#include "platform/win32/text.h"
#include "win_test_support.h"

namespace tav {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using win32::Widen;

std::string Fixture(const std::string& name) {
    return wintest::HostPath(std::string(TAV_SIGNED_DIR) + "/" + name);
}

// The digest a release build pins for a fixture signer, as openssl gives it.
std::string KeyOf(const std::string& signer) {
    std::string key = wintest::ReadFileBytes(Fixture(signer + ".spki.sha256"));
    return key.substr(0, key.find_first_of("\r\n"));
}

class CodeSigningWin : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(root.ok()) << "the test root is not trusted"; }
    wintest::TrustedTestRoot root{Fixture("ca.der")};
    win32::Win32CodeSigning signing;
};

// The unsigned, foreign and tampered installers are judged end to end;
// here, under a build pinned to the publisher's key, what the program never
// downloads there, and what the chain's revocation check tells apart.
TEST_F(CodeSigningWin, APinnedBuildStartsOnlyItsPublishersIntactUnrevokedSignature) {
    const TrustPolicy pinned{{KeyOf("publisher")}};
    const struct {
        const char* file;
        const char* reason;  // "" when accepted
        const char* signer;  // whose key the signature names
    } rows[] = {
        {"installer_publisher.exe", "", "publisher"},
        {"installer_truncated.exe", "its signature is present but not valid (0x", nullptr},
        {"installer_lookalike.exe", "it is signed by another publisher (", "lookalike"},
        // The publisher's own key under a revoked certificate.
        {"installer_revoked.exe", "its signer's certificate is revoked (0x", "publisher"},
        // The publisher's key under a list nobody serves (404).
        {"installer_unchecked.exe",
         "the revocation of its signer's certificate could not be checked (0x", "publisher"},
    };
    for (const auto& row : rows) {
        // Checked once: Wine keeps a revoked signer's status as good after
        // the first check (see TrustedTestRoot).
        const SignatureInfo info = signing.Hold(Fixture(row.file))->Signature();
        const InstallerVerdict v = JudgeInstaller(pinned, info);
        EXPECT_EQ(v.accepted, *row.reason == '\0') << row.file << " wrongly judged: " << v.reason;
        EXPECT_THAT(v.reason, StartsWith(row.reason)) << row.file << " refused for another reason";
        if (row.signer) {
            EXPECT_EQ(Sha256Hex(info.signerKeyInfo), KeyOf(row.signer))
                << row.file << " names another key";
        }
    }
    EXPECT_THAT(signing.Hold(Fixture("installer_publisher.exe"))->Signature().signerName,
                HasSubstr("TAV Test Publisher"))
        << "the signer's name is not the certificate's";
}

// The program and its style library, stripped and signed by the release's
// own flow (cmake/Signing.cmake) with the test publisher, pass Windows'
// own check once the test root is trusted.
TEST_F(CodeSigningWin, TheReleaseFlowsSignatureOfTheProgramAndItsLibraryVerifies) {
    for (const char* file : {"release\\TAVUpdate.exe", "release\\TAVri.dll"}) {
        const SignatureInfo info = signing.Hold(Fixture(file))->Signature();
        EXPECT_EQ(info.state, SignatureState::Valid)
            << file << " refused, status " << StatusText(info.status);
        EXPECT_EQ(Sha256Hex(info.signerKeyInfo), KeyOf("publisher"))
            << file << " not signed by the publisher";
    }
}

// Whether nobody else can write, rename or delete the file.
bool Locked(const std::string& path) {
    HANDLE writer = ::CreateFileW(Widen(path).c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    ::CloseHandle(writer);
    return writer == INVALID_HANDLE_VALUE &&
           !::MoveFileW(Widen(path).c_str(), Widen(path + ".moved").c_str()) &&
           !::DeleteFileW(Widen(path).c_str());
}

std::string ReadBack(StagedFile& file) {
    std::string all;
    std::vector<uint8_t> piece(1 << 16);
    for (size_t n; (n = file.Read(all.size(), piece)) > 0;)
        all.append(reinterpret_cast<const char*>(piece.data()), n);
    return all;
}

// From its creation to its start nobody else can write, rename or delete
// the staged installer; written piece by piece, it reads back as written;
// one never named goes with its hold (also after a refused rename), one
// named stays unchanged (its start is seen end to end).
TEST_F(CodeSigningWin, AnInstallerIsHeldFromItsCreationToItsStart) {
    wintest::TempFolder temp;
    const std::string installer = temp.path() + "\\setup.exe";
    const std::string staging = temp.path() + "\\*.staging";
    const std::string earlier = "an earlier installer";
    const std::string bytes = wintest::ReadFileBytes(Fixture("installer_unsigned.exe"));
    const std::span data(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    const auto stage = [&] {
        auto staged = signing.CreateStaged(temp.path());
        staged->Append(data.first(100));
        staged->Append(data.subspan(100));
        return staged;
    };
    ASSERT_TRUE(wintest::WriteFileBytes(installer, earlier));
    {
        auto refused = stage();
        EXPECT_TRUE(wintest::AnyFile(staging)) << "no staging file";
        EXPECT_TRUE(Locked(refused->Path())) << "the staging file is not held";
        EXPECT_EQ(ReadBack(*refused), bytes) << "the pieces read back out of order or incomplete";
        refused->Truncate();
        refused->Append(data.first(10));
        EXPECT_EQ(ReadBack(*refused), bytes.substr(0, 10)) << "a new body not in an empty file";
        EXPECT_THROW(refused->Rename("setup.exe", false), Failure)
            << "named over an existing file unasked";
    }
    EXPECT_FALSE(wintest::AnyFile(staging)) << "a file never named stays after its hold";
    EXPECT_EQ(wintest::ReadFileBytes(installer), earlier) << "the earlier installer changed";
    {
        auto staged = stage();
        staged->Flush();
        staged->Rename("setup.exe", true);
        EXPECT_EQ(staged->Path(), installer) << "not named as asked";
        staged->PrepareStart();
        EXPECT_TRUE(Locked(installer)) << "the named installer is not held for its start";
        EXPECT_EQ(ReadBack(*staged), bytes) << "the hold that starts the installer reads another";
    }
    EXPECT_EQ(wintest::ReadFileBytes(installer), bytes) << "the named installer changed";
    EXPECT_FALSE(wintest::AnyFile(staging)) << "a staging file left";
}

}  // namespace
}  // namespace tav
