// DLL planting: canary DLLs named like the system DLLs the program loads are
// put beside a copy of it and in its current folder. The program must never
// load one, neither at process start nor later when it first needs the DLL.
// Wine prefers its builtin DLLs to a copy beside a program; scripts/wine-env.sh
// turns that to native first for these names, as Windows searches, and the
// first test shows that it took.
#include <gtest/gtest.h>

#include <vector>

#include "platform/win32/text.h"
#include "win_test_support.h"

namespace tav {
namespace {

using win32::Widen;
using wintest::HostPath;

// Non-known system DLLs the program uses, statically, delay-loaded or by
// LoadLibrary. version.dll and crypt32.dll are left out: Wine's own builtin
// DLLs import them, and Wine has no known-DLL list that would keep those
// imports in the system folder as Windows does.
const std::vector<std::string> kPlanted = {"wininet.dll",  "msimg32.dll",       "uxtheme.dll",
                                           "comctl32.dll", "dwmapi.dll",        "windowscodecs.dll",
                                           "wintrust.dll", "propsys.dll",       "wbemcomn.dll"};

class DllPlantingTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const std::string& name : kPlanted)
            ASSERT_TRUE(::CopyFileW(Widen(HostPath(TAV_CANARY_DLL)).c_str(), Widen(Path(name)).c_str(), FALSE));
    }
    std::string Path(const std::string& name) const { return temp.path() + "\\" + name; }
    std::vector<std::string> LoadedCanaries() const {
        std::vector<std::string> loaded;
        for (const std::string& name : kPlanted)
            if (::GetFileAttributesW(Widen(Path(name + ".loaded")).c_str()) != INVALID_FILE_ATTRIBUTES)
                loaded.push_back(name);
        return loaded;
    }
    // Starts exe from the planted folder, with that folder as current folder.
    HANDLE Start(const std::string& exe, const std::string& arguments) const {
        std::wstring cmd = L"\"" + Widen(exe) + L"\" " + Widen(arguments);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, Widen(temp.path()).c_str(),
                              &si, &pi))
            return nullptr;
        ::CloseHandle(pi.hThread);
        return pi.hProcess;
    }

    wintest::TempFolder temp;
};

// The canary works: a program that imports wininet statically, as the
// updater did before, picks the planted one up at start.
TEST_F(DllPlantingTest, AStaticImportOfANonKnownDllLoadsThePlantedCopy) {
    const std::string exe = Path("trust_probe.exe");
    ASSERT_TRUE(::CopyFileW(Widen(HostPath(TAV_TEST_HELPER_DIR "/trust_probe.exe")).c_str(), Widen(exe).c_str(), FALSE));
    HANDLE p = Start(exe, "x y");
    ASSERT_NE(p, nullptr);
    wintest::WaitExit(p, 30000);
    ::TerminateProcess(p, 0);
    ::CloseHandle(p);
    EXPECT_FALSE(LoadedCanaries().empty());
}

struct Watch {
    DWORD pid;
    bool failedShown;
};

BOOL CALLBACK FindFailureInChild(HWND child, LPARAM p) {
    if (wintest::WindowText(child).find("failed") != std::string::npos)
        reinterpret_cast<Watch*>(p)->failedShown = true;
    return TRUE;
}

BOOL CALLBACK FindFailureText(HWND w, LPARAM p) {
    auto* watch = reinterpret_cast<Watch*>(p);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(w, &owner);
    if (owner == watch->pid) ::EnumChildWindows(w, FindFailureInChild, p);
    return TRUE;
}

TEST_F(DllPlantingTest, TheUpdaterNeverLoadsAPlantedDll) {
    const std::string exe = Path("TAVUpdate.exe");
    ASSERT_TRUE(::CopyFileW(Widen(HostPath(TAV_EXE_PATH)).c_str(), Widen(exe).c_str(), FALSE));
    ::CopyFileW(Widen(HostPath(TAV_STYLE_LIBRARY)).c_str(), Widen(Path("TAVri.dll")).c_str(), FALSE);
    // A refused port: the download starts (wininet) and fails, the window
    // paints (msimg32, uxtheme) and stays.
    HANDLE p = Start(exe, "\"http://127.0.0.1:9/setup.exe|x\"");
    ASSERT_NE(p, nullptr);
    Watch watch{::GetProcessId(p), false};
    for (int i = 0; i < 300 && !watch.failedShown && ::WaitForSingleObject(p, 0) == WAIT_TIMEOUT; ++i) {
        ::EnumWindows(FindFailureText, reinterpret_cast<LPARAM>(&watch));
        wintest::PumpMessages(100);
    }
    const bool exitedEarly = ::WaitForSingleObject(p, 0) == WAIT_OBJECT_0;
    ::TerminateProcess(p, 0);
    wintest::WaitExit(p, 10000);
    ::CloseHandle(p);
    EXPECT_TRUE(watch.failedShown) << "the download never failed visibly; exited early: " << exitedEarly;
    EXPECT_EQ(LoadedCanaries(), std::vector<std::string>{});
}

}  // namespace
}  // namespace tav
