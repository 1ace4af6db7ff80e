// Installer trust on real Authenticode signatures under Wine: a test
// certificate authority, signed, look-alike, foreign and tampered copies of
// a test installer, and a probe program that judges them as the program
// would, pinned to the test publisher's key or as a development build.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "install/installer_trust.h"
#include "install/sha256.h"
#include "core/failure.h"
#include "platform/win32/code_signing_win32.h"
#include "platform/win32/runtime_win32.h"
#include "platform/win32/text.h"
#include "trusted_root.h"
#include "win_test_support.h"

#include <wincrypt.h>

namespace tav {
namespace {

using win32::Widen;
using wintest::HostPath;

std::string Fixture(const std::string& name) { return HostPath(std::string(TAV_SIGNED_DIR) + "/" + name); }

// Trusts the test authority for the life of the object.
struct TrustedTestRoot : ::tav::wintest::TrustedTestRoot {
    TrustedTestRoot() : ::tav::wintest::TrustedTestRoot(Fixture("ca.der")) {}
};

SignatureInfo SignatureOf(const std::string& name) {
    win32::Win32CodeSigning signing;
    return signing.Hold(Fixture(name))->Signature();
}

std::string Quoted(const std::string& text) {
    std::string q(1, '"');
    q.append(text).push_back('"');
    return q;
}

struct ProbeResult {
    long exitCode = -1;
    std::string report;
};

// The digest a release build pins for the fixture signer name.
std::string KeyOf(const std::string& signer) {
    std::string key = wintest::ReadFileBytes(Fixture(signer + ".spki.sha256"));
    while (!key.empty() && (key.back() == '\n' || key.back() == '\r')) key.pop_back();
    return key;
}

const std::string kDevelopment = "-";

std::string ProbeExe() { return HostPath(std::string(TAV_TEST_HELPER_DIR) + "/trust_probe.exe"); }

ProbeResult Probe(const std::string& key, const std::string& installer) {
    wintest::TempFolder temp;
    const std::string report = temp.path() + "\\report.txt";
    HANDLE p = wintest::StartProcess(ProbeExe(), key + " " + Quoted(Fixture(installer)) + " " + Quoted(report));
    if (!p) return {};
    ProbeResult r;
    r.exitCode = wintest::WaitExit(p, 60000);
    ::CloseHandle(p);
    r.report = wintest::ReadFileBytes(report);
    return r;
}

TEST(CodeSigningWin, NoSignatureAndABrokenOneAreToldApart) {
    const SignatureInfo plain = SignatureOf("installer_unsigned.exe");
    EXPECT_EQ(plain.state, SignatureState::Unsigned) << StatusText(plain.status);

    const SignatureInfo tampered = SignatureOf("installer_tampered.exe");
    EXPECT_EQ(tampered.state, SignatureState::Invalid) << StatusText(tampered.status);
    EXPECT_EQ(tampered.status, 0x80096010u);  // TRUST_E_BAD_DIGEST

    const SignatureInfo truncated = SignatureOf("installer_truncated.exe");
    EXPECT_EQ(truncated.state, SignatureState::Invalid) << StatusText(truncated.status);
    std::printf("[ NOTE     ] unsigned %s, one byte flipped %s, signature cut short %s\n",
                StatusText(plain.status).c_str(), StatusText(tampered.status).c_str(),
                StatusText(truncated.status).c_str());
}

// Wine does not hold a chain to an unknown root against a signature
// (Windows answers CERT_E_UNTRUSTEDROOT); the signer pin refuses a stranger
// either way.
TEST(CodeSigningWin, WithoutATrustedRootAStrangerIsStillRefused) {
    const SignatureInfo untrusted = SignatureOf("installer_other.exe");
    std::printf("[ NOTE     ] chain to an unknown root: %s\n", StatusText(untrusted.status).c_str());
    const ProbeResult r = Probe(KeyOf("publisher"), "installer_other.exe");
    EXPECT_EQ(r.exitCode, 2) << r.report;
}

// The key digest read from the signature is the one openssl gives for the
// signer's certificate: what a release build is configured with.
TEST(CodeSigningWin, UnderATrustedRootTheSignersKeyDigestIsTheOneABuildPins) {
    TrustedTestRoot root;
    ASSERT_TRUE(root.ok());
    const SignatureInfo genuine = SignatureOf("installer_publisher.exe");
    const SignatureInfo lookalike = SignatureOf("installer_lookalike.exe");
    const SignatureInfo other = SignatureOf("installer_other.exe");
    EXPECT_EQ(genuine.state, SignatureState::Valid) << StatusText(genuine.status);
    EXPECT_EQ(other.state, SignatureState::Valid) << StatusText(other.status);
    EXPECT_EQ(Sha256Hex(genuine.signerKeyInfo), KeyOf("publisher"));
    EXPECT_EQ(Sha256Hex(lookalike.signerKeyInfo), KeyOf("lookalike"));
    EXPECT_EQ(Sha256Hex(other.signerKeyInfo), KeyOf("other"));
    EXPECT_NE(genuine.signerName.find("TAV Test Publisher"), std::string::npos) << genuine.signerName;
    // A byte flipped stays refused when the chain is trusted.
    EXPECT_EQ(SignatureOf("installer_tampered.exe").state, SignatureState::Invalid);
}

TEST(CodeSigningWin, APinnedBuildStartsOnlyItsPublishersIntactInstallers) {
    TrustedTestRoot root;
    ASSERT_TRUE(root.ok());
    EXPECT_EQ(Probe(KeyOf("publisher"), "installer_publisher.exe").exitCode, 0);
    // Two keys pinned, as while a key is being rotated.
    EXPECT_EQ(Probe(KeyOf("other") + "," + KeyOf("publisher"), "installer_publisher.exe").exitCode, 0);
    for (const char* refused : {"installer_other.exe", "installer_lookalike.exe", "installer_unsigned.exe",
                                "installer_tampered.exe", "installer_truncated.exe"}) {
        const ProbeResult r = Probe(KeyOf("publisher"), refused);
        EXPECT_EQ(r.exitCode, 2) << refused << ": " << r.report;
        EXPECT_NE(r.report.find("accepted=0"), std::string::npos) << refused;
    }
}

TEST(CodeSigningWin, ADevelopmentBuildStartsUnsignedInstallersButNoTamperedOne) {
    const ProbeResult plain = Probe(kDevelopment, "installer_unsigned.exe");
    EXPECT_EQ(plain.exitCode, 0) << plain.report;
    const ProbeResult tampered = Probe(kDevelopment, "installer_tampered.exe");
    EXPECT_EQ(tampered.exitCode, 2);
    EXPECT_NE(tampered.report.find("not valid"), std::string::npos) << tampered.report;
}

TEST(CodeSigningWin, AHeldFileCannotBeWrittenRenamedOrDeletedUntilReleased) {
    wintest::TempFolder temp;
    const std::string path = temp.path() + "\\setup.exe";
    ASSERT_TRUE(::CopyFileW(Widen(Fixture("installer_unsigned.exe")).c_str(), Widen(path).c_str(), FALSE));
    win32::Win32CodeSigning signing;
    auto hold = signing.Hold(path);
    HANDLE writer = ::CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(::MoveFileW(Widen(path).c_str(), Widen(path + ".moved").c_str()));
    EXPECT_FALSE(::DeleteFileW(Widen(path).c_str()));
    EXPECT_EQ(hold->Signature().state, SignatureState::Unsigned);
    hold.reset();
    EXPECT_TRUE(::DeleteFileW(Widen(path).c_str()));

    try {
        signing.Hold(path);
        ADD_FAILURE() << "a missing file was held";
    } catch (const Failure& f) {
        EXPECT_EQ(f.number(), 53);
    }
}

bool Writable(const std::string& path) {
    HANDLE writer = ::CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
    if (writer == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(writer);
    return true;
}

bool Renameable(const std::string& path) {
    if (!::MoveFileW(Widen(path).c_str(), Widen(path + ".moved").c_str())) return false;
    ::MoveFileW(Widen(path + ".moved").c_str(), Widen(path).c_str());
    return true;
}

std::vector<std::string> StagingFiles(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW(Widen(folder + "\\*.staging").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do names.push_back(win32::Narrow(found.cFileName));
    while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return names;
}

// From its creation to the start, nobody else can write, rename or delete
// the staged installer; one that is never named is gone with its hold, one
// that was named stays and starts.
TEST(CodeSigningWin, AStagedInstallerIsHeldFromItsCreationToItsStart) {
    wintest::TempFolder temp;
    const std::string bytes = wintest::ReadFileBytes(Fixture("installer_unsigned.exe"));
    const std::vector<uint8_t> data(bytes.begin(), bytes.end());
    const std::vector<std::span<const uint8_t>> pieces{std::span(data).first(100), std::span(data).subspan(100)};
    win32::Win32CodeSigning signing;
    {
        auto refused = signing.Stage(temp.path(), pieces);
        ASSERT_EQ(StagingFiles(temp.path()).size(), 1u);
        EXPECT_FALSE(Writable(refused->Path()));
        EXPECT_FALSE(Renameable(refused->Path()));
        EXPECT_FALSE(::DeleteFileW(Widen(refused->Path()).c_str()));
        EXPECT_EQ(refused->Signature().state, SignatureState::Unsigned);
    }
    EXPECT_TRUE(StagingFiles(temp.path()).empty()) << "a file never named goes with its hold";

    const std::string installer = temp.path() + "\\setup.exe";
    ASSERT_TRUE(::CopyFileW(Widen(Fixture("installer_other.exe")).c_str(), Widen(installer).c_str(), FALSE));
    {
        auto staged = signing.Stage(temp.path(), pieces);
        EXPECT_THROW(staged->Rename("setup.exe"), Failure) << "never over an existing file";
        ASSERT_TRUE(::DeleteFileW(Widen(installer).c_str()));
        staged->Rename("setup.exe");
        EXPECT_EQ(staged->Path(), installer);
        staged->PrepareStart();
        EXPECT_FALSE(Writable(installer));
        EXPECT_FALSE(Renameable(installer));
        EXPECT_FALSE(::DeleteFileW(Widen(installer).c_str()));
        win32::Win32Shell().Open(installer, "/s", temp.path() + "\\");
        std::string record = installer + ".record.txt";
        wintest::PumpMessages(
            30000, [](void* p) { return !wintest::ReadFileBytes(*static_cast<std::string*>(p)).empty(); }, &record);
    }
    EXPECT_THAT(wintest::ReadFileBytes(installer + ".record.txt"), ::testing::StartsWith("args=/s\r\n"));
    EXPECT_EQ(wintest::ReadFileBytes(installer), bytes);
    EXPECT_TRUE(StagingFiles(temp.path()).empty());
}

// The probe holds the installer and waits; meanwhile this process (another
// one) tries to overwrite it, which fails; then the probe starts it.
TEST(CodeSigningWin, AnotherProcessCannotSwapTheInstallerBetweenCheckAndStart) {
    wintest::TempFolder temp;
    const std::string installer = temp.path() + "\\setup.exe";
    ASSERT_TRUE(::CopyFileW(Widen(Fixture("installer_unsigned.exe")).c_str(), Widen(installer).c_str(), FALSE));
    const std::string report = temp.path() + "\\report.txt";
    const wchar_t* eventName = L"TAVTrustProbeGo";
    HANDLE go = ::CreateEventW(nullptr, TRUE, FALSE, eventName);
    ASSERT_NE(go, nullptr);
    HANDLE p = wintest::StartProcess(ProbeExe(), kDevelopment + " " + Quoted(installer) + " " + Quoted(report) +
                                                     " TAVTrustProbeGo");
    ASSERT_NE(p, nullptr);
    struct Ctx {
        std::string report;
    } ctx{report};
    wintest::PumpMessages(
        30000, [](void* c) { return !wintest::ReadFileBytes(static_cast<Ctx*>(c)->report).empty(); }, &ctx);
    ASSERT_NE(wintest::ReadFileBytes(report).find("accepted=1"), std::string::npos);

    EXPECT_FALSE(::CopyFileW(Widen(Fixture("installer_other.exe")).c_str(), Widen(installer).c_str(), FALSE));
    EXPECT_FALSE(::DeleteFileW(Widen(installer).c_str()));

    ::SetEvent(go);
    EXPECT_EQ(wintest::WaitExit(p, 60000), 0);
    ::CloseHandle(p);
    ::CloseHandle(go);
    struct Rec {
        std::string path;
    } rec{installer + ".record.txt"};
    wintest::PumpMessages(
        30000, [](void* c) { return !wintest::ReadFileBytes(static_cast<Rec*>(c)->path).empty(); }, &rec);
    EXPECT_NE(wintest::ReadFileBytes(rec.path).find("cwd=" + temp.path()), std::string::npos);
    // The started file is the checked one, unchanged.
    EXPECT_EQ(wintest::ReadFileBytes(installer), wintest::ReadFileBytes(Fixture("installer_unsigned.exe")));
}

}  // namespace
}  // namespace tav
