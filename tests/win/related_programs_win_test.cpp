// Closing the TAV programs for real: a test program copied under the TAV
// image names, a service named TAVorsService, the real registry.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "install/process_utils.h"
#include "install/related_programs.h"
#include "platform/win32/platform_win32.h"
#include "platform/win32/processes_win32.h"
#include "platform/win32/runtime_win32.h"
#include "platform/win32/text.h"
#include "system/registry.h"
#include "win_test_support.h"

namespace tav {
namespace {

using wintest::HostPath;
using wintest::TempFolder;
using wintest::WaitExit;

const std::string kHelper = HostPath(TAV_TEST_HELPER_DIR "/related_program.exe");
const std::string kServiceExe = HostPath(TAV_TEST_HELPER_DIR "/tav_test_service.exe");

constexpr long kTerminatedExitCode = 0;  // the exit code the close stage passes
constexpr long kExitedByItself = 5;

// A stand-in program started under one of the TAV image names.
struct Program {
    HANDLE process = nullptr;
    DWORD id = 0;
    bool Running() const { return ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT; }
};

// Runs a program to its end; its exit code, or -1.
long RunAndWait(const std::string& exe, const std::string& commandLine) {
    std::wstring cmd = win32::Widen(commandLine);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(win32::Widen(exe).c_str(), cmd.data(), nullptr, nullptr, FALSE, 0,
                          nullptr, nullptr, &si, &pi))
        return -1;
    ::CloseHandle(pi.hThread);
    const long code = WaitExit(pi.hProcess, 60000);
    ::CloseHandle(pi.hProcess);
    return code;
}

long Sc(const std::string& arguments) {
    return RunAndWait(win32::SystemFolder() + "\\sc.exe", "sc " + arguments);
}

// The state and process of the service, 0 when it is not installed.
SERVICE_STATUS_PROCESS ServiceStatus() {
    SERVICE_STATUS_PROCESS status{};
    SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) return status;
    if (SC_HANDLE service = ::OpenServiceW(manager, L"TAVorsService", SERVICE_QUERY_STATUS)) {
        DWORD needed = 0;
        ::QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                               sizeof status, &needed);
        ::CloseServiceHandle(service);
    }
    ::CloseServiceHandle(manager);
    return status;
}

// Pumps this thread's messages while waiting, as the windows owned across
// processes share its input.
template <class Condition>
bool WaitUntil(Condition done, DWORD ms) {
    const DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start > ms) return false;
        platform().events->DoEvents();
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

class RelatedProgramsWinTest : public ::testing::Test {
protected:
    void SetUp() override { win32::InstallWin32Platform(); }

    void TearDown() override {
        for (Program& p : programs_) {
            if (p.Running()) ::TerminateProcess(p.process, 9);
            WaitExit(p.process, 10000);
            ::CloseHandle(p.process);
        }
        if (owner_) ::DestroyWindow(owner_);
        if (serviceCreated_) {
            if (ServiceStatus().dwCurrentState == SERVICE_RUNNING) Sc("stop TAVorsService");
            WaitUntil([] { return ServiceStatus().dwCurrentState != SERVICE_RUNNING; }, 10000);
            Sc("delete TAVorsService");
        }
    }

    // Copies the test program under imageName and starts it in mode.
    Program Start(const std::string& imageName, const std::string& mode) {
        const std::string exe = folder_.path() + "\\" + imageName;
        ::CopyFileW(win32::Widen(kHelper).c_str(), win32::Widen(exe).c_str(), FALSE);
        Program p;
        p.process = wintest::StartProcess(exe, mode);
        EXPECT_NE(p.process, nullptr) << imageName;
        if (!p.process) return p;
        p.id = ::GetProcessId(p.process);
        programs_.push_back(p);
        const std::wstring ready = L"TAVTest.Ready." + std::to_wstring(p.id);
        HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, ready.c_str());
        EXPECT_TRUE(
            WaitUntil([&] { return ::WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }, 20000))
            << imageName << " " << mode;
        ::CloseHandle(event);
        return p;
    }

    // A window of this process that owns another program's pop-up.
    HWND OwnerWindow() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = ::DefWindowProcW;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"TAVTestOwner";
        ::RegisterClassW(&wc);
        owner_ = ::CreateWindowExW(0, wc.lpszClassName, L"owner", WS_OVERLAPPEDWINDOW, 0, 0, 120,
                                   80, nullptr, nullptr, wc.hInstance, nullptr);
        return owner_;
    }

    // Installs and starts the test service as "TAVorsService"; its program
    // runs under the image name of the TAV service program.
    void StartService() {
        const std::string exe = folder_.path() + "\\TAVorsService.exe";
        ASSERT_TRUE(
            ::CopyFileW(win32::Widen(kServiceExe).c_str(), win32::Widen(exe).c_str(), FALSE));
        Sc("delete TAVorsService");
        ASSERT_EQ(Sc("create TAVorsService binPath= \"" + exe + "\""), 0);
        serviceCreated_ = true;
        ASSERT_EQ(Sc("start TAVorsService"), 0);
        ASSERT_TRUE(
            WaitUntil([] { return ServiceStatus().dwCurrentState == SERVICE_RUNNING; }, 20000));
    }

    TempFolder folder_;
    std::vector<Program> programs_;
    HWND owner_ = nullptr;
    bool serviceCreated_ = false;
};

TEST_F(RelatedProgramsWinTest, CloseStageEndsWindowedProgramsAndTheServiceAndSparesTheRest) {
    ASSERT_NO_FATAL_FAILURE(StartService());
    const DWORD servicePid = ServiceStatus().dwProcessId;
    ASSERT_NE(servicePid, 0u);
    EXPECT_TRUE(CheckForProcessByName("TAVorsService.exe"));

    const Program closes = Start("TAV Core Server.exe", "window");
    const Program stubborn = Start("TAVCOM.EXE", "stubborn");  // hidden, ignores WM_CLOSE
    const Program windowless = Start("TAV GUARD.EXE", "windowless");
    const Program popupOnly =
        Start("voxmic.exe", "popup " + std::to_string(reinterpret_cast<uintptr_t>(OwnerWindow())));
    const Program bystander = Start("Bystander.exe", "window");

    ShutdownOptions options;
    options.timings.closeAttemptMs = 2000;
    EXPECT_FALSE(CloseAllTavProcesses(options)) << "two programs had to survive";

    EXPECT_EQ(WaitExit(closes.process, 5000), kTerminatedExitCode);
    EXPECT_EQ(WaitExit(stubborn.process, 5000), kTerminatedExitCode);
    EXPECT_TRUE(windowless.Running());
    EXPECT_TRUE(popupOnly.Running());
    EXPECT_TRUE(bystander.Running());
    EXPECT_FALSE(CheckForProcessByName("TAVorsService.exe"));
    EXPECT_EQ(ServiceStatus().dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
}

TEST_F(RelatedProgramsWinTest, RealProcessesAreFoundByExactNameAndResolvedToTheirFileName) {
    const Program p = Start("TAV Data Studio.exe", "window");
    EXPECT_TRUE(CheckForProcessByName("TAV Data Studio.exe"));
    EXPECT_FALSE(CheckForProcessByName("TAV DATA STUDIO.EXE"));
    EXPECT_EQ(GetLongProcessName("TAV Data Studio.exe"), "TAV Data Studio.exe");
    EXPECT_TRUE(IsRelatedProcess("TAV Data Studio.exe", true));
    EXPECT_TRUE(AnyTavProcesses());

    EXPECT_TRUE(CloseAll(p.id, kWmClose, 0));
    EXPECT_EQ(WaitExit(p.process, 10000), 3) << "the window closed the program by itself";
    EXPECT_FALSE(CheckForProcessByName("TAV Data Studio.exe"));
    EXPECT_EQ(GetLongProcessName("TAV Data Studio.exe"), "");
}

// A listed id that now belongs to another program (told apart by its
// creation time) gets no message and is not terminated; the program the
// snapshot really listed is closed.
TEST_F(RelatedProgramsWinTest, AReusedProcessIdIsLeftAlone) {
    const Program p = Start("TAV Core Server.exe", "window");
    const auto snapshot = win32::SnapshotFromSystemInformation();
    ASSERT_TRUE(snapshot);
    const auto listed = std::find_if(snapshot->begin(), snapshot->end(),
                                     [&](const ProcessEntry& e) { return e.processId == p.id; });
    ASSERT_NE(listed, snapshot->end());
    FILETIME created{}, exited{}, kernel{}, user{};
    ASSERT_TRUE(::GetProcessTimes(p.process, &created, &exited, &kernel, &user));
    EXPECT_EQ(listed->creationTime, (uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime);

    ProcessEntry reused = *listed;
    reused.creationTime += 1;
    CloseProcess(reused, 0);
    EXPECT_EQ(WaitExit(p.process, 2000), -1) << "not the program that was listed";
    CloseProcess(*listed, 0);
    EXPECT_NE(WaitExit(p.process, 10000), -1);
}

TEST_F(RelatedProgramsWinTest, BothProcessListsNameProcessesAlike) {
    const Program p = Start("TAV LAN Server.exe", "windowless");
    const auto fast = win32::SnapshotFromSystemInformation();
    const auto toolhelp = win32::SnapshotFromToolhelp();
    ASSERT_TRUE(fast && toolhelp);
    std::map<uint32_t, std::string> byToolhelp;
    for (const ProcessEntry& e : *toolhelp) byToolhelp[e.processId] = e.imageName;
    size_t common = 0;
    for (const ProcessEntry& e : *fast) {
        auto it = byToolhelp.find(e.processId);
        if (it == byToolhelp.end()) continue;
        ++common;
        EXPECT_EQ(e.imageName, it->second) << e.processId;
    }
    EXPECT_GE(common + 2, std::max(fast->size(), toolhelp->size()));
    EXPECT_EQ(byToolhelp[p.id], "TAV LAN Server.exe");
    EXPECT_EQ(byToolhelp[::GetCurrentProcessId()], "win_tests.exe");
}

// The watchdog's values in the registry view the TAV programs read.
class WatchdogWinTest : public RelatedProgramsWinTest {
protected:
    void SetUp() override {
        RelatedProgramsWinTest::SetUp();
        tavKeyExisted_ = QueryKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvel Systems");
        ASSERT_TRUE(CreateKey(kWatchDogKey));
        DeleteValues();
    }
    void TearDown() override {
        RelatedProgramsWinTest::TearDown();
        DeleteValues();
        const wchar_t* created =
            tavKeyExisted_ ? L"Corvel Systems\\TAV\\WatchDog" : L"Corvel Systems";
        HKEY software;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                            &software) == 0) {
            ::RegDeleteTreeW(software, created);
            ::RegCloseKey(software);
        }
    }
    void DeleteValues() {
        HKEY key;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Corvel Systems\\TAV\\WatchDog", 0,
                            KEY_ALL_ACCESS | KEY_WOW64_32KEY, &key) == 0) {
            ::RegDeleteValueW(key, L"Command");
            ::RegDeleteValueW(key, L"ShutDown");
            ::RegCloseKey(key);
        }
    }
    static std::optional<std::string> Command() { return GetStringValue(kWatchDogKey, "Command"); }
    static std::optional<int32_t> Acknowledgement() {
        return GetDWORDValue(kWatchDogKey, "ShutDown");
    }

    bool tavKeyExisted_ = false;
};

TEST_F(WatchdogWinTest, ProgramsEndingDuringTheWatchdogStageAreAcknowledged) {
    const Program ends = Start("TAVIMD.EXE", "exit-after 1200");
    const Program guard = Start("TAV GUARD.EXE", "windowless");
    ShutdownOptions options;
    options.timings = {11, 500, 2000, 50};

    ShutDownTAV(options);

    EXPECT_EQ(Command(), "Shutdown");
    EXPECT_EQ(Acknowledgement(), 99);
    EXPECT_EQ(WaitExit(ends.process, 0), kExitedByItself);
    EXPECT_TRUE(guard.Running()) << "the watchdog stage closes nothing itself";
}

TEST_F(WatchdogWinTest, ProgramsClosedAfterTheWatchdogStageAreAcknowledged) {
    const Program windowed = Start("Tav Web Server.exe", "stubborn");
    ShutdownOptions options;
    options.timings = {2, 300, 2000, 50};

    ShutDownTAV(options);

    EXPECT_EQ(Command(), "Shutdown");
    EXPECT_EQ(WaitExit(windowed.process, 5000), kTerminatedExitCode);
    EXPECT_EQ(Acknowledgement(), 99);
}

TEST_F(WatchdogWinTest, AProgramThatSurvivesLeavesNoAcknowledgement) {
    const Program windowless = Start("VOXTELE.EXE", "windowless");
    ShutdownOptions options;
    options.timings = {2, 300, 1000, 50};

    ShutDownTAV(options);

    EXPECT_EQ(Command(), "Shutdown");
    EXPECT_FALSE(Acknowledgement());
    EXPECT_TRUE(windowless.Running());
}

int g_timerTicks = 0;

LRESULT CALLBACK CountTicks(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_TIMER) {
        ++g_timerTicks;
        return 0;
    }
    return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

TEST_F(WatchdogWinTest, TheWindowStaysAliveDuringTheWatchdogWaitAndAbortEndsIt) {
    // Ends by itself after 3 s: a wait that does not let the timer tick
    // would still be at its first checks then, see it gone and acknowledge.
    const Program watched = Start("RCV2048.EXE", "exit-after 3000");
    WNDCLASSW wc{};
    wc.lpfnWndProc = CountTicks;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TAVTestTicking";
    ::RegisterClassW(&wc);
    HWND window = ::CreateWindowExW(0, wc.lpszClassName, L"ticking", WS_OVERLAPPEDWINDOW, 0, 0, 100,
                                    60, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    g_timerTicks = 0;
    ::SetTimer(window, 1, 50, nullptr);
    int checksAfterAbort = 0;
    ShutdownOptions options;  // the real 11 x 2000 ms
    options.shouldStop = [&] {
        if (g_timerTicks < 10) return false;
        ++checksAfterAbort;
        return true;
    };

    ShutDownTAV(options);

    ::DestroyWindow(window);
    EXPECT_GE(g_timerTicks, 10);
    EXPECT_EQ(checksAfterAbort, 1) << "nothing runs after the owner closed";
    EXPECT_TRUE(watched.Running());
    EXPECT_EQ(Command(), "Shutdown");
    EXPECT_FALSE(Acknowledgement());
}

TEST(IsFileWinTest, OnlyOrdinaryFilesCount) {
    win32::InstallWin32Platform();
    TempFolder folder;
    const std::string dir = folder.path();
    auto make = [&](const std::string& name, DWORD attributes) {
        HANDLE h = ::CreateFileW(win32::Widen(dir + "\\" + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                 CREATE_NEW, attributes, nullptr);
        ::CloseHandle(h);
    };
    make("a_hidden.txt", FILE_ATTRIBUTE_HIDDEN);
    make("b_plain.txt", FILE_ATTRIBUTE_NORMAL);
    make("c_system.dat", FILE_ATTRIBUTE_SYSTEM);
    ::CreateDirectoryW(win32::Widen(dir + "\\d_folder.txt").c_str(), nullptr);

    EXPECT_TRUE(IsFile(dir + "\\b_plain.txt"));
    EXPECT_TRUE(IsFile(dir + "\\B_PLAIN.TXT"));
    EXPECT_TRUE(IsFile(dir + "\\*.txt"));
    EXPECT_FALSE(IsFile(dir + "\\a_hidden.txt"));
    EXPECT_FALSE(IsFile(dir + "\\c_system.dat"));
    EXPECT_FALSE(IsFile(dir + "\\d_folder.txt"));
    EXPECT_FALSE(IsFile(dir + "\\a*"));
    EXPECT_FALSE(IsFile(dir + "\\d*"));
    EXPECT_FALSE(IsFile(dir + "\\b_plain.txt\\"));
    EXPECT_FALSE(IsFile(dir));
    EXPECT_FALSE(IsFile(""));
    EXPECT_EQ(GetFileNameFromPath(dir + "\\B_PLAIN.TXT"), "b_plain.txt");
}

}  // namespace
}  // namespace tav
