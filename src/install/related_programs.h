// Closing every TAV program before the installer runs: first by asking the
// watchdog through the registry, then by stopping the TAV service and
// closing or terminating each related program.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "install/process_utils.h"

namespace tav {

class Registry;

inline constexpr const char* kWatchDogKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvel Systems\\TAV\\WatchDog";
inline constexpr const char* kWatchDogCommandValue = "Command";
inline constexpr const char* kWatchDogShutdownCommand = "Shutdown";
// The acknowledgement is spelled with a capital D, the command without.
inline constexpr const char* kWatchDogShutDownValue = "ShutDown";
inline constexpr int32_t kWatchDogAllClosed = 99;

inline constexpr const char* kServiceControlProgram = "sc.exe";
inline constexpr const char* kStopTavService = "sc stop TAVorsService";

struct RelatedProcess {
    std::string_view imageName;  // upper case
    bool watched;                // ended by the watchdog's shutdown
};

// The image names of the TAV programs.
inline constexpr std::array<RelatedProcess, 16> RelatedProcessTable{{
    {"TAV CORE SERVER.EXE", true},
    {"TAV WEB SERVER.EXE", true},
    {"TAV LAN SERVER.EXE", false},
    {"TAVORSCOM.EXE", false},
    {"TAVORSSERVICE.EXE", false},
    {"TAV GUARD.EXE", false},
    {"VOXMIC.EXE", true},
    {"RCV2048.EXE", true},
    {"VOXTELE.EXE", true},
    {"QTSEXE.EXE", true},
    {"TAVCOM.EXE", true},
    {"TAV SETUP CONSOLE.EXE", true},
    {"TAV DATA STUDIO.EXE", true},
    {"TAVIDS.EXE", true},
    {"TAVIMD.EXE", true},
    {"TAVEMCSERVER.EXE", true},
}};

struct ShutdownTimings {
    uint32_t watchdogChecks = 11;
    uint32_t watchdogIntervalMs = 2000;
    uint32_t closeAttemptMs = 15000;  // per attempt, two attempts per process
    // Longest pause between two passes of a close wait.
    uint32_t pollMs = 50;
};

struct ShutdownOptions {
    // Asked after every yield; true once the owner has closed (the user
    // pressed Abort). The operation then returns at once, starts nothing
    // more and writes no acknowledgement.
    std::function<bool()> shouldStop;
    ShutdownTimings timings;
};

// True when a process listed under imageName is a row of the table (one of
// the watched rows when watchedOnly). Short names are resolved to the
// running executable's long name; case does not matter.
bool IsRelatedProcess(const ProcessTools& tools, const std::string& imageName, bool watchedOnly);

// Asks the watchdog to shut TAV down and waits for the watched programs;
// closes the rest itself when they outlast the wait. Writes the watchdog's
// acknowledgement only when every program is gone.
void ShutDownTAV(Registry& registry, const ProcessTools& tools,
                 const ShutdownOptions& options = {}) noexcept;

// Stops the TAV service and closes every related program, terminating
// those with windows; true when no related program survived.
bool CloseAllTavProcesses(const ProcessTools& tools, const ShutdownOptions& options = {}) noexcept;

// True when at least one watched program runs.
bool AnyTavProcesses(const ProcessTools& tools) noexcept;

enum class WaitOutcome { Gone, StillRunning, Stopped };

// Waits while a process with exactly this image name runs, for limitMs at
// most, keeping the user interface alive without spinning.
WaitOutcome WaitWhileRunning(const ProcessTools& tools, const std::string& imageName,
                             uint32_t limitMs, const ShutdownOptions& options) noexcept;

}  // namespace tav
