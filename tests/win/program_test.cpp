// The built program as Windows loads it: it asks for administrator rights
// (it writes values under HKEY_LOCAL_MACHINE and files in the TAV folder),
// the shell starts it as TAV must start it, and it loads no DLL planted
// beside it.
#include <gmock/gmock.h>

#include "platform/win32/text.h"
#include "win_test_support.h"

namespace tav {
namespace {

using win32::Widen;

// The program's embedded manifest (RT_MANIFEST 1, as the loader reads
// it); empty when there is none.
std::string EmbeddedManifest(const std::string& exe) {
    const DWORD asData = LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE;
    const HMODULE image = ::LoadLibraryExW(Widen(exe).c_str(), nullptr, asData);
    if (!image) return {};
    std::string text;
    const HRSRC found = ::FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    const HGLOBAL loaded = found ? ::LoadResource(image, found) : nullptr;
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    if (bytes) text.assign(static_cast<const char*>(bytes), ::SizeofResource(image, found));
    ::FreeLibrary(image);
    return text;
}

TEST(ElevationWin, TheManifestRequiresAdministratorWithoutUiAccess) {
    const std::string manifest = EmbeddedManifest(wintest::HostPath(TAV_EXE_PATH));
    const std::string request =
        "<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>";
    EXPECT_THAT(manifest, ::testing::HasSubstr(request))
        << "the program does not ask for administrator rights";
    EXPECT_THAT(manifest, ::testing::Not(::testing::HasSubstr("asInvoker")))
        << "a second, weaker request is left in the manifest";
}

const std::string kRefusedPort = "\"http://127.0.0.1:9/setup.exe|x\"";

// The way TAV must start it on Windows, where a caller that is not elevated
// cannot create it directly: ShellExecuteEx. Under Wine (no consent prompt)
// it runs; the window shows and a refused port fails the download visibly.
TEST(ElevationWin, TheShellStartsTheProgramAsTavMustStartIt) {
    wintest::TempFolder temp;
    const std::string exe = temp.path() + "\\TAVUpdate.exe";
    ASSERT_TRUE(wintest::CopyFromBuild(TAV_EXE_PATH, exe)) << "the program was not copied";
    const wintest::InstallLocationAt installed(temp.path());
    const wintest::Process p = wintest::ShellStartProcess(exe, kRefusedPort, temp.path());
    ASSERT_TRUE(p.Running()) << "ShellExecuteEx did not start the program";
    EXPECT_TRUE(wintest::ShowsFailedDownload(p))
        << "the program started by the shell never showed its failed download";
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
        ASSERT_TRUE(wintest::CopyFromBuild(TAV_CANARY_DLL, temp.path() + "\\" + name)) << name;
    // A copy of exe started from the planted folder.
    const auto start = [&](const std::string& exe, const std::string& args) {
        const std::string copy = temp.path() + "\\" + exe.substr(exe.find_last_of("\\/") + 1);
        wintest::CopyFromBuild(exe, copy);
        return wintest::StartProcess(copy, args, temp.path());
    };
    // Whether a canary was loaded since the last call.
    const auto loadedAny = [&] {
        bool any = false;
        for (const char* name : planted)
            any |= ::DeleteFileW(Widen(temp.path() + "\\" + name + ".loaded").c_str()) != 0;
        return any;
    };
    // The canary works: a helper that imports wininet statically, as the
    // updater once did, picks the planted copy up at its start (and ends
    // at once for want of arguments).
    EXPECT_NE(start(TAV_TEST_HELPER_DIR "/dialog_probe.exe", "x").Exit(30000), -1)
        << "the helper did not end";
    EXPECT_TRUE(loadedAny()) << "the canary is never loaded: the test sees nothing";

    wintest::CopyFromBuild(TAV_STYLE_LIBRARY, temp.path() + "\\TAVri.dll");
    const wintest::InstallLocationAt installed(temp.path());
    // A refused port: the download starts (wininet) and fails visibly, the
    // window paints (msimg32, uxtheme) and stays.
    const wintest::Process update = start(TAV_EXE_PATH, kRefusedPort);
    EXPECT_TRUE(wintest::ShowsFailedDownload(update)) << "the download never failed visibly";
    EXPECT_FALSE(loadedAny()) << "the program loaded a planted DLL";
}

}  // namespace
}  // namespace tav
