// Closing real processes. A plainly windowed program, a watched one and a
// bystander are seen end to end; here the kinds of program the close stage
// meets less often, and the two process lists.
#include <gmock/gmock.h>

#include <algorithm>
#include <map>

#include "app/state.h"
#include "install/process_utils.h"
#include "install/related_programs.h"
#include "platform/win32/platform_win32.h"
#include "platform/win32/processes_win32.h"
#include "win_test_support.h"

namespace tav {
namespace {

class ProcessesWinTest : public ::testing::Test {
protected:
    void SetUp() override { win32::InstallWin32Platform(); }
    // A stand-in TAV program under image in the test's folder.
    wintest::Process Start(const std::string& image, const std::string& mode) {
        return wintest::StartStandIn(temp.path() + "\\" + image, mode);
    }
    wintest::TempFolder temp;
    ProgramState state{win32::InstallWin32Platform()};
    const Platform& services = win32::InstallWin32Platform();
    ProcessTools tools{*services.processes, *services.events,      *services.clock, *services.files,
                       *services.shell,     *services.environment, state.log};
};

TEST_F(ProcessesWinTest, CloseStageEndsHiddenWindowsAndSparesTheWindowlessAndForeignPopups) {
    HWND owner = ::CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 120, 80, nullptr,
                                   nullptr, nullptr, nullptr);
    const auto stubborn = Start("TAVCOM.EXE", "stubborn");  // hidden, ignores WM_CLOSE
    const auto windowless = Start("TAV GUARD.EXE", "windowless");
    const auto popupOnly =
        Start("voxmic.exe", "popup " + std::to_string(reinterpret_cast<uintptr_t>(owner)));
    EXPECT_FALSE(CheckForProcessByName(tools, "tavcom.exe")) << "found by another case of its name";

    ShutdownOptions options;
    options.timings.closeAttemptMs = 2000;
    EXPECT_FALSE(CloseAllTavProcesses(tools, options)) << "two programs had to survive";
    EXPECT_EQ(stubborn.Exit(5000), 0) << "the hidden window's program was not ended";
    EXPECT_TRUE(windowless.Running()) << "a program without windows was ended";
    EXPECT_TRUE(popupOnly.Running()) << "a program with another's pop-up only was ended";
    ::DestroyWindow(owner);
}

// Both process lists name processes alike; a listed id that now belongs
// to another program (told apart by its creation time) is left alone.
TEST_F(ProcessesWinTest, ProcessListsAgreeAndAReusedProcessIdIsLeftAlone) {
    const auto p = Start("TAV LAN Server.exe", "window");
    const auto fast = win32::SnapshotFromSystemInformation();
    const auto toolhelp = win32::SnapshotFromToolhelp();
    ASSERT_TRUE(fast) << "no list from the system information";
    ASSERT_TRUE(toolhelp) << "no list from the tool help";
    const auto named = [&](const std::vector<ProcessEntry>& list) {
        std::map<uint32_t, std::string> names;
        for (const ProcessEntry& e : list)
            if (e.processId == p.id() || e.processId == ::GetCurrentProcessId())
                names[e.processId] = e.imageName;
        return names;
    };
    EXPECT_EQ(named(*fast), named(*toolhelp)) << "the lists name the processes differently";
    EXPECT_EQ(named(*fast)[p.id()], "TAV LAN Server.exe") << "not the image's name";

    const auto listed = std::find_if(fast->begin(), fast->end(),
                                     [&](const ProcessEntry& e) { return e.processId == p.id(); });
    ASSERT_NE(listed, fast->end()) << "the stand-in is not listed";
    ProcessEntry reused = *listed;
    reused.creationTime += 1;
    CloseProcess(tools, reused, 0);
    EXPECT_EQ(p.Exit(2000), -1) << "ended, though not the program that was listed";
    CloseProcess(tools, *listed, 0);
    EXPECT_NE(p.Exit(10000), -1) << "the listed program was not ended";
}

}  // namespace
}  // namespace tav
