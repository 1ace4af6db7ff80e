// The services over the real system: registry views, files, closing real
// processes; and installer trust and hardening: Authenticode signatures of
// a throw-away authority's test installers, files held from check to
// start, and DLLs planted beside the program.
#include <gmock/gmock.h>

#include <algorithm>
#include <functional>
#include <map>

#include "install/installer_trust.h"
#include "install/process_utils.h"
#include "install/related_programs.h"
#include "core/sha256.h"
#include "core/failure.h"
#include "platform/win32/code_signing_win32.h"
#include "platform/win32/platform_win32.h"
#include "platform/win32/processes_win32.h"
#include "platform/win32/runtime_win32.h"
#include "platform/win32/text.h"
#include "app/state.h"
#include "system/registry.h"
#include "win_test_support.h"

namespace tav {
namespace {

using win32::Widen;

class SystemWinTest : public ::testing::Test {
protected:
    void SetUp() override { win32::InstallWin32Platform(); }
    // A stand-in TAV program under image in the test's folder.
    wintest::Process Start(const std::string& image, const std::string& mode) {
        return wintest::StartStandIn(temp.path() + "\\" + image, mode);
    }
    wintest::TempFolder temp;
    win32::Win32Files files;
    ProgramState state{win32::InstallWin32Platform()};
    const Platform& services = win32::InstallWin32Platform();
    ProcessTools tools{*services.processes, *services.events,      *services.clock, *services.files,
                       *services.shell,     *services.environment, state.log};
};

int32_t FailureNumber(const std::function<void()>& f) {
    try {
        f();
    } catch (const Failure& e) {
        return e.number();
    }
    return 0;
}

// What the watchdog and the installer read lands in the view of a 32-bit
// program, whatever the width of the build (the DWORD the watchdog reads
// is seen end to end); the rules of the values are the unit tier's.
TEST_F(SystemWinTest, RegistryValuesLandInThe32BitView) {
    const std::string sub = "SOFTWARE\\TAVUpdateTest_" + std::to_string(::GetCurrentProcessId());
    const std::string key = "HKEY_LOCAL_MACHINE\\" + sub;
    ASSERT_TRUE(state.registry.CreateKey(key));
    state.registry.SetStringValue(key, "Command", "Shutdown");
    HKEY raw = nullptr;
    char text[16] = {};
    DWORD size = sizeof text;
    ASSERT_EQ(
        ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, sub.c_str(), 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, &raw),
        0);
    EXPECT_EQ(::RegGetValueA(raw, nullptr, "Command", RRF_RT_REG_SZ, nullptr, text, &size), 0);
    EXPECT_EQ(std::string(text), "Shutdown");
    EXPECT_NE(::RegGetValueA(HKEY_LOCAL_MACHINE, sub.c_str(), "Command",
                             RRF_RT_ANY | RRF_SUBKEY_WOW6464KEY, nullptr, nullptr, nullptr),
              0)
        << "in the 64-bit view";
    // What the program reads takes 254 characters and a terminator.
    for (const auto& [name, length] : {std::pair{"Fits", 254}, std::pair{"TooLong", 255}})
        ::RegSetValueExA(raw, name, 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(std::string(length, 'a').c_str()),
                         length + 1);
    ::RegCloseKey(raw);
    EXPECT_EQ(state.registry.GetStringValue(key, "Fits"), std::string(254, 'a'));
    EXPECT_EQ(state.registry.GetStringValue(key, "TooLong"), std::nullopt);
    ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, sub.c_str(), KEY_WOW64_32KEY, 0);
    EXPECT_FALSE(state.registry.QueryKey(key));
}

// Failures keep the classic numbers the log's readers know; lines are
// appended in the ANSI code page; folders, hidden files and links are told
// apart from the files the program may use.
TEST_F(SystemWinTest, FilesFailWithTheClassicNumbersAppendAnsiLinesAndRefuseALink) {
    const int n = files.FreeFile();
    const std::string held = temp.path() + "\\held.log", a = temp.path() + "\\a",
                      b = temp.path() + "\\b";
    HANDLE h =
        ::CreateFileW(Widen(held).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    files.WriteBinary(a, std::vector<uint8_t>{1});
    files.WriteBinary(b, std::vector<uint8_t>{2});
    const std::vector<std::pair<std::function<void()>, int32_t>> cases{
        {[&] { files.OpenAppend(n, temp.path() + "\\no\\such\\x.log"); }, err::kPathNotFound},
        {[&] { files.OpenAppend(n, held); },
         err::kPermissionDenied},  // held by another without sharing
        {[&] { files.Delete(temp.path() + "\\missing"); }, err::kFileNotFound},
        {[&] { files.MakeFolder(temp.path()); }, err::kPathFileAccess},
        {[&] { files.Rename(a, b); }, err::kFileAlreadyExists},
        {[&] { files.PrintLine(n + 1, "not open"); }, err::kBadFileNameOrNumber},
    };
    for (size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(FailureNumber(cases[i].first), cases[i].second) << i;
    ::CloseHandle(h);

    const std::string log = temp.path() + "\\a.log";
    for (const char* line : {"first", "caf\xC3\xA9"}) {  // UTF-8 inside, code page 1252 on disk
        files.OpenAppend(n, log);
        files.PrintLine(n, line);
        files.Close(n);
    }
    EXPECT_EQ(wintest::ReadFileBytes(log), "first\r\ncaf\xE9\r\n");
    files.MakeFolder(temp.path() + "\\Sub");
    ::CloseHandle(::CreateFileW(Widen(temp.path() + "\\hidden.txt").c_str(), GENERIC_WRITE, 0,
                                nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr));
    EXPECT_TRUE(IsFile(tools, temp.path() + "\\A.LOG"));
    for (const char* no : {"\\hidden.txt", "\\Sub", "\\a.log\\"})
        EXPECT_FALSE(IsFile(tools, temp.path() + no)) << no;

    // Nothing is written through a directory link (as the error log would be).
    const std::string elsewhere = temp.path() + "\\elsewhere", logs = temp.path() + "\\LOGS";
    ASSERT_TRUE(::CreateDirectoryW(Widen(elsewhere).c_str(), nullptr));
    if (!::CreateSymbolicLinkW(
            Widen(logs).c_str(), Widen(elsewhere).c_str(),
            SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE))
        GTEST_SKIP() << "no directory links on this system: " << ::GetLastError();
    // Windows refuses a reparse point (75); Wine 8 answers for its link
    // only at first and then no longer finds it (53).
    const int32_t refused =
        FailureNumber([&] { files.OpenAppend(files.FreeFile(), logs + "\\TAVerror.log"); });
    EXPECT_TRUE(refused == err::kPathFileAccess || refused == err::kFileNotFound) << refused;
    EXPECT_EQ(::GetFileAttributesW(Widen(elsewhere + "\\TAVerror.log").c_str()),
              INVALID_FILE_ATTRIBUTES);
    ::RemoveDirectoryW(Widen(logs).c_str());
}

using ProcessesWinTest = SystemWinTest;

// A plainly windowed program and a bystander are seen end to end; here the
// kinds of program the close stage meets less often.
TEST_F(ProcessesWinTest, CloseStageEndsHiddenWindowsAndSparesTheWindowlessAndForeignPopups) {
    HWND owner = ::CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 120, 80, nullptr,
                                   nullptr, nullptr, nullptr);
    const auto stubborn = Start("TAVCOM.EXE", "stubborn");  // hidden, ignores WM_CLOSE
    const auto windowless = Start("TAV GUARD.EXE", "windowless");
    const auto popupOnly =
        Start("voxmic.exe", "popup " + std::to_string(reinterpret_cast<uintptr_t>(owner)));
    EXPECT_FALSE(CheckForProcessByName(tools, "tavcom.exe")) << "found by the exact file name";

    ShutdownOptions options;
    options.timings.closeAttemptMs = 2000;
    EXPECT_FALSE(CloseAllTavProcesses(tools, options)) << "two programs had to survive";
    EXPECT_EQ(stubborn.Exit(5000), 0);
    EXPECT_TRUE(windowless.Running());
    EXPECT_TRUE(popupOnly.Running());
    ::DestroyWindow(owner);
}

// Both process lists name processes alike; a listed id that now belongs
// to another program (told apart by its creation time) is left alone.
TEST_F(ProcessesWinTest, ProcessListsAgreeAndAReusedProcessIdIsLeftAlone) {
    const auto p = Start("TAV LAN Server.exe", "window");
    const auto fast = win32::SnapshotFromSystemInformation();
    const auto toolhelp = win32::SnapshotFromToolhelp();
    ASSERT_TRUE(fast && toolhelp);
    const auto named = [&](const std::vector<ProcessEntry>& list) {
        std::map<uint32_t, std::string> names;
        for (const ProcessEntry& e : list)
            if (e.processId == p.id() || e.processId == ::GetCurrentProcessId())
                names[e.processId] = e.imageName;
        return names;
    };
    EXPECT_EQ(named(*fast), named(*toolhelp));
    EXPECT_EQ(named(*fast)[p.id()], "TAV LAN Server.exe");

    const auto listed = std::find_if(fast->begin(), fast->end(),
                                     [&](const ProcessEntry& e) { return e.processId == p.id(); });
    ASSERT_NE(listed, fast->end());
    ProcessEntry reused = *listed;
    reused.creationTime += 1;
    CloseProcess(tools, reused, 0);
    EXPECT_EQ(p.Exit(2000), -1) << "not the program that was listed";
    CloseProcess(tools, *listed, 0);
    EXPECT_NE(p.Exit(10000), -1);
}

using wintest::HostPath;

std::string Fixture(const std::string& name) {
    return HostPath(std::string(TAV_SIGNED_DIR) + "/" + name);
}

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

// The signed, foreign, unsigned, revoked and tampered installers are
// judged end to end; here what the program never downloads there, and
// what the chain's revocation check tells apart. The signers name a list
// that crl_server.py serves (a ctest fixture).
TEST_F(CodeSigningWin, CutRevokedAndUncheckedSignaturesAreInvalidAndALookAlikeNamesItsOwnKey) {
    ASSERT_TRUE(root.ok());
    enum class Why { None, Broken, Revoked, Unchecked };
    const struct {
        const char* file;
        SignatureState state;
        Why why;
        const char* signer;  // whose key the signature names
    } rows[] = {
        {"installer_truncated.exe", SignatureState::Invalid, Why::Broken, nullptr},
        {"installer_lookalike.exe", SignatureState::Valid, Why::None, "lookalike"},
        // The publisher's own key under a revoked certificate.
        {"installer_revoked.exe", SignatureState::Invalid, Why::Revoked, "publisher"},
        // The publisher's key under a list nobody serves (404).
        {"installer_unchecked.exe", SignatureState::Invalid, Why::Unchecked, "publisher"},
    };
    for (const auto& row : rows) {
        const SignatureInfo info = signing.Hold(Fixture(row.file))->Signature();
        const std::string status = StatusText(info.status);
        EXPECT_EQ(info.state, row.state) << row.file << " judged wrongly, status " << status;
        EXPECT_EQ(IsRevokedStatus(info.status), row.why == Why::Revoked)
            << row.file << ": revoked or not mistaken, status " << status;
        EXPECT_EQ(IsRevocationUnknownStatus(info.status), row.why == Why::Unchecked)
            << row.file << ": unknown revocation mistaken, status " << status;
        if (row.signer) {
            EXPECT_EQ(Sha256Hex(info.signerKeyInfo), KeyOf(row.signer))
                << row.file << " names another key";
        }
    }
    EXPECT_THAT(signing.Hold(Fixture("installer_publisher.exe"))->Signature().signerName,
                ::testing::HasSubstr("TAV Test Publisher"));
}

// A build pinned to the publisher's key refuses that key under a revoked
// certificate or one whose revocation cannot be learnt, each with its reason.
TEST_F(CodeSigningWin, APinnedBuildRefusesItsOwnKeyWhenRevokedOrUnchecked) {
    ASSERT_TRUE(root.ok());
    const TrustPolicy pinned{{KeyOf("publisher")}};
    const struct {
        const char* file;
        bool accepted;
        const char* reason;
    } rows[] = {
        {"installer_publisher.exe", true, ""},
        {"installer_revoked.exe", false, "its signer's certificate is revoked (0x"},
        {"installer_unchecked.exe", false,
         "the revocation of its signer's certificate could not be checked (0x"},
    };
    for (const auto& row : rows) {
        const InstallerVerdict v = VerifyInstaller(*signing.Hold(Fixture(row.file)), pinned);
        EXPECT_EQ(v.accepted, row.accepted) << row.file << " wrongly judged: " << v.reason;
        EXPECT_THAT(v.reason, ::testing::StartsWith(row.reason)) << row.file;
    }
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

// From its creation to its start nobody else can write, rename or delete
// the staged installer; written piece by piece, it reads back as written;
// one never named goes with its hold (also after a refused rename), one
// named stays unchanged (its start is seen end to end).
TEST_F(CodeSigningWin, AnInstallerIsHeldFromItsCreationToItsStart) {
    wintest::TempFolder temp;
    const std::string installer = temp.path() + "\\setup.exe";
    const std::string bytes = wintest::ReadFileBytes(Fixture("installer_unsigned.exe"));
    const std::span<const uint8_t> data(reinterpret_cast<const uint8_t*>(bytes.data()),
                                        bytes.size());
    const auto stage = [&] {
        auto staged = signing.CreateStaged(temp.path());
        staged->Append(data.first(100));
        staged->Append(data.subspan(100));
        return staged;
    };
    const auto readBack = [](StagedFile& file) {
        std::string out(1 << 16, '\0');
        std::string all;
        for (size_t n; (n = file.Read(all.size(), std::span(reinterpret_cast<uint8_t*>(out.data()),
                                                            out.size()))) > 0;)
            all.append(out, 0, n);
        return all;
    };
    ASSERT_TRUE(wintest::WriteFileBytes(installer, "an earlier installer"));
    {
        auto refused = stage();
        EXPECT_TRUE(wintest::AnyFile(temp.path() + "\\*.staging"));
        EXPECT_TRUE(Locked(refused->Path()));
        EXPECT_EQ(readBack(*refused), bytes) << "the pieces read back out of order or incomplete";
        refused->Truncate();
        refused->Append(data.first(10));
        EXPECT_EQ(readBack(*refused), bytes.substr(0, 10))
            << "a new body must start from an empty file";
        EXPECT_THROW(refused->Rename("setup.exe", false), Failure)
            << "not over an existing file unasked";
    }
    EXPECT_FALSE(wintest::AnyFile(temp.path() + "\\*.staging"))
        << "a file never named goes with its hold";
    EXPECT_EQ(wintest::ReadFileBytes(installer), "an earlier installer");
    {
        auto staged = stage();
        staged->Flush();
        staged->Rename("setup.exe", true);
        EXPECT_EQ(staged->Path(), installer);
        staged->PrepareStart();
        EXPECT_TRUE(Locked(installer));
        EXPECT_EQ(readBack(*staged), bytes)
            << "the hold that starts the installer reads another file";
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
    const char* planted[] = {"wininet.dll",  "msimg32.dll", "uxtheme.dll",
                             "comctl32.dll", "dwmapi.dll",  "windowscodecs.dll",
                             "wintrust.dll", "propsys.dll", "wbemcomn.dll"};
    for (const char* name : planted)
        ASSERT_TRUE(wintest::CopyFromBuild(TAV_CANARY_DLL, temp.path() + "\\" + name));
    // Runs a copy of exe from the planted folder until ended() or 30 s;
    // whether it loaded a canary.
    const auto loadedAny = [&](const std::string& exe, const std::string& args,
                               const std::function<bool(DWORD)>& ended) {
        const std::string copy = temp.path() + "\\" + exe.substr(exe.find_last_of("\\/") + 1);
        wintest::CopyFromBuild(exe, copy);
        const wintest::Process p = wintest::StartProcess(copy, args, temp.path());
        wintest::PumpMessages(30000, [&] { return !p.Running() || ended(p.id()); });
        bool any = false;
        for (const char* name : planted)
            any |= ::DeleteFileW(Widen(temp.path() + "\\" + name + ".loaded").c_str()) != 0;
        return any;
    };
    // The canary works: a helper that imports wininet statically, as the
    // updater once did, picks the planted copy up at its start.
    EXPECT_TRUE(
        loadedAny(TAV_TEST_HELPER_DIR "/dialog_probe.exe", "x", [](DWORD) { return false; }));

    wintest::CopyFromBuild(TAV_STYLE_LIBRARY, temp.path() + "\\TAVri.dll");
    const wintest::InstallLocationAt installed(temp.path());
    // A refused port: the download starts (wininet) and fails visibly, the
    // window paints (msimg32, uxtheme) and stays.
    bool failedShown = false;
    EXPECT_FALSE(loadedAny(TAV_EXE_PATH, "\"http://127.0.0.1:9/setup.exe|x\"", [&](DWORD pid) {
        const HWND window = wintest::FindTopWindow(pid, L"TAVUpdateMainWindow");
        return failedShown = window && wintest::Text(::GetDlgItem(window, 104)).find("failed") !=
                                           std::string::npos;
    }));
    EXPECT_TRUE(failedShown) << "the download never failed visibly";
}

}  // namespace
}  // namespace tav
