// Installer trust and hardening on the real system: Authenticode signatures
// of a throw-away authority's test installers (signed, look-alike, foreign,
// unsigned, tampered, cut short), files held from check to start, and DLLs
// planted beside the program.
#include <gmock/gmock.h>

#include "install/installer_trust.h"
#include "install/sha256.h"
#include "core/failure.h"
#include "platform/win32/code_signing_win32.h"
#include "platform/win32/text.h"
#include "win_test_support.h"

namespace tav {
namespace {

using win32::Widen;
using wintest::HostPath;

std::string Fixture(const std::string& name) { return HostPath(std::string(TAV_SIGNED_DIR) + "/" + name); }

// The digest a release build pins for a fixture signer, as openssl gives it.
std::string KeyOf(const std::string& signer) {
    std::string key = wintest::ReadFileBytes(Fixture(signer + ".spki.sha256"));
    return key.substr(0, key.find_first_of("\r\n"));
}

class CodeSigningWin : public ::testing::Test {
protected:
    wintest::TrustedTestRoot root{Fixture("ca.der")};
    win32::Win32CodeSigning signing;
};

// The signed, foreign, unsigned and tampered installers are judged end to
// end; here what the program never downloads there.
TEST_F(CodeSigningWin, ACutShortInstallerIsInvalidAndALookAlikeNamesItsOwnKey) {
    ASSERT_TRUE(root.ok());
    // signer: whose key the signature names
    const struct { const char* file; SignatureState state; const char* signer; } rows[] = {
        {"installer_truncated.exe", SignatureState::Invalid, nullptr},
        {"installer_lookalike.exe", SignatureState::Valid, "lookalike"}};
    for (const auto& row : rows) {
        const SignatureInfo info = signing.Hold(Fixture(row.file))->Signature();
        EXPECT_EQ(info.state, row.state) << row.file << " " << StatusText(info.status);
        if (row.signer) { EXPECT_EQ(Sha256Hex(info.signerKeyInfo), KeyOf(row.signer)) << row.file; }
    }
    EXPECT_THAT(signing.Hold(Fixture("installer_publisher.exe"))->Signature().signerName,
                ::testing::HasSubstr("TAV Test Publisher"));
}

// Whether nobody else can write, rename or delete the file.
bool Locked(const std::string& path) {
    HANDLE writer = ::CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
    ::CloseHandle(writer);
    return writer == INVALID_HANDLE_VALUE && !::MoveFileW(Widen(path).c_str(), Widen(path + ".moved").c_str()) &&
           !::DeleteFileW(Widen(path).c_str());
}

// From its creation to its start nobody else can write, rename or delete
// the staged installer; one never named goes with its hold, one named
// stays unchanged (its start is seen end to end).
TEST_F(CodeSigningWin, AnInstallerIsHeldFromItsCreationToItsStart) {
    wintest::TempFolder temp;
    const std::string installer = temp.path() + "\\setup.exe";
    const std::string bytes = wintest::ReadFileBytes(Fixture("installer_unsigned.exe"));
    const std::vector<uint8_t> data(bytes.begin(), bytes.end());
    const std::vector<std::span<const uint8_t>> pieces{std::span(data).first(100), std::span(data).subspan(100)};
    {
        auto refused = signing.Stage(temp.path(), pieces);
        EXPECT_TRUE(wintest::AnyFile(temp.path() + "\\*.staging"));
        EXPECT_TRUE(Locked(refused->Path()));
    }
    EXPECT_FALSE(wintest::AnyFile(temp.path() + "\\*.staging")) << "a file never named goes with its hold";

    ASSERT_TRUE(wintest::WriteFileBytes(installer, "an earlier installer"));
    {
        auto staged = signing.Stage(temp.path(), pieces);
        EXPECT_THROW(staged->Rename("setup.exe"), Failure) << "never over an existing file";
        ASSERT_TRUE(::DeleteFileW(Widen(installer).c_str()));
        staged->Rename("setup.exe");
        EXPECT_EQ(staged->Path(), installer);
        staged->PrepareStart();
        EXPECT_TRUE(Locked(installer));
    }
    EXPECT_EQ(wintest::ReadFileBytes(installer), bytes);
    EXPECT_FALSE(wintest::AnyFile(temp.path() + "\\*.staging"));
}

// Canary DLLs named like the non-known system DLLs the program loads lie
// beside a copy of it and in its current folder: it must never load one,
// neither at start nor when it first needs the DLL. scripts/wine-env.sh
// makes Wine prefer a copy beside a program for these names, as Windows
// does. version.dll and crypt32.dll are left out: Wine's own DLLs import
// them, and Wine has no known-DLL list to keep those in the system folder.
TEST(DllPlantingTest, TheUpdaterNeverLoadsAPlantedDllWhereAStaticImportWould) {
    wintest::TempFolder temp;
    const char* planted[] = {"wininet.dll", "msimg32.dll", "uxtheme.dll", "comctl32.dll", "dwmapi.dll",
                             "windowscodecs.dll", "wintrust.dll", "propsys.dll", "wbemcomn.dll"};
    for (const char* name : planted)
        ASSERT_TRUE(wintest::CopyFromBuild(TAV_CANARY_DLL, temp.path() + "\\" + name));
    // Runs a copy of exe from the planted folder until ended() or 30 s;
    // whether it loaded a canary.
    const auto loadedAny = [&](const std::string& exe, const std::string& args, const std::function<bool(DWORD)>& ended) {
        const std::string copy = temp.path() + "\\" + exe.substr(exe.find_last_of("\\/") + 1);
        wintest::CopyFromBuild(exe, copy);
        const wintest::Process p = wintest::StartProcess(copy, args, temp.path());
        wintest::PumpMessages(30000, [&] { return !p.Running() || ended(p.id()); });
        bool any = false;
        for (const char* name : planted) any |= ::DeleteFileW(Widen(temp.path() + "\\" + name + ".loaded").c_str()) != 0;
        return any;
    };
    // The canary works: a helper that imports wininet statically, as the
    // updater once did, picks the planted copy up at its start.
    EXPECT_TRUE(loadedAny(TAV_TEST_HELPER_DIR "/dialog_probe.exe", "x", [](DWORD) { return false; }));

    wintest::CopyFromBuild(TAV_STYLE_LIBRARY, temp.path() + "\\TAVri.dll");
    // A refused port: the download starts (wininet) and fails visibly, the
    // window paints (msimg32, uxtheme) and stays.
    bool failedShown = false;
    EXPECT_FALSE(loadedAny(TAV_EXE_PATH, "\"http://127.0.0.1:9/setup.exe|x\"", [&](DWORD pid) {
        const HWND window = wintest::FindTopWindow(pid, L"TAVUpdateMainWindow");
        return failedShown = window && wintest::Text(::GetDlgItem(window, 104)).find("failed") != std::string::npos;
    }));
    EXPECT_TRUE(failedShown) << "the download never failed visibly";
}

}  // namespace
}  // namespace tav
