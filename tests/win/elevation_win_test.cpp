// The updater asks Windows for administrator rights (it writes values under
// HKEY_LOCAL_MACHINE and files in the TAV folder): what its manifest
// requests, and that the shell starts it, as TAV must start it.
#include <gmock/gmock.h>

#include <string>

#include "platform/win32/text.h"
#include "win_test_support.h"

namespace tav {
namespace {

// The program's embedded manifest (RT_MANIFEST 1, as the loader reads
// it); empty when there is none.
std::string EmbeddedManifest(const std::string& exe) {
    const DWORD asData = LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE;
    const HMODULE image = ::LoadLibraryExW(win32::Widen(exe).c_str(), nullptr, asData);
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
    ASSERT_THAT(manifest, ::testing::HasSubstr("<requestedExecutionLevel"))
        << "no execution level in the program's manifest";
    const std::string request =
        "<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>";
    EXPECT_THAT(manifest, ::testing::HasSubstr(request))
        << "the program does not ask for administrator rights";
    EXPECT_THAT(manifest, ::testing::Not(::testing::HasSubstr("asInvoker")))
        << "a second, weaker request is left in the manifest";
}

// The way TAV must start it on Windows, where a caller that is not elevated
// cannot create it directly: ShellExecuteEx. Under Wine (no consent prompt)
// it runs; the window shows and a refused port fails the download visibly.
TEST(ElevationWin, TheShellStartsTheProgramAsTavMustStartIt) {
    wintest::TempFolder temp;
    const std::string exe = temp.path() + "\\TAVUpdate.exe";
    ASSERT_TRUE(wintest::CopyFromBuild(TAV_EXE_PATH, exe));
    const wintest::InstallLocationAt installed(temp.path());
    const std::string refusedPort = "\"http://127.0.0.1:9/setup.exe|x\"";
    const wintest::Process p = wintest::ShellStartProcess(exe, refusedPort, temp.path());
    ASSERT_TRUE(p.Running()) << "ShellExecuteEx did not start the program";
    bool failedShown = false;
    wintest::PumpMessages(30000, [&] {
        const HWND window = wintest::FindTopWindow(p.id(), L"TAVUpdateMainWindow");
        const std::string status = window ? wintest::Text(::GetDlgItem(window, 104)) : "";
        failedShown = status.find("failed") != std::string::npos;
        return failedShown || !p.Running();
    });
    EXPECT_TRUE(failedShown) << "the program started by the shell never showed its failed download";
}

}  // namespace
}  // namespace tav
