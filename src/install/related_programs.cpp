#include "install/related_programs.h"

#include <cctype>
#include <optional>
#include <vector>

#include "install/process_utils.h"
#include "error_log/trap.h"
#include "system/registry.h"

namespace tav {

namespace {

// The exit code a TAV program that must be ended is given.
constexpr uint32_t kExitCode = 0;

bool StopRequested(const ShutdownOptions& options, Trap& trap) {
    bool stop = false;
    if (options.shouldStop) trap([&] { stop = options.shouldStop(); });
    return stop;
}

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Waits ms on the tick clock while the window keeps painting and reacting;
// false when the owner asked to stop.
bool PauseKeepingWindowAlive(const ProcessTools& tools, uint32_t ms, const ShutdownOptions& options,
                             Trap& trap) {
    const uint32_t start = tools.clock.TickCount();
    for (;;) {
        const uint32_t elapsed = tools.clock.TickCount() - start;
        if (elapsed >= ms) return true;
        trap([&] { tools.events.WaitForEvents(ms - elapsed); });
        trap([&] { tools.events.DoEvents(); });
        if (StopRequested(options, trap)) return false;
    }
}

std::optional<std::vector<ProcessEntry>> TakeSnapshot(const ProcessTools& tools, Trap& trap) {
    std::optional<std::vector<ProcessEntry>> snapshot;
    trap([&] { snapshot = tools.processes.Snapshot(); });
    return snapshot;
}

}  // namespace

bool IsRelatedProcess(const ProcessTools& tools, const std::string& imageName, bool watchedOnly) {
    std::string name = imageName;
    if (name.find('~') != std::string::npos) name = GetLongProcessName(tools, name);
    name = Upper(name);
    bool matched = false;
    for (const RelatedProcess& row : RelatedProcessTable) {
        if ((row.watched || !watchedOnly) && name == row.imageName) matched = true;
    }
    return matched;
}

bool AnyTavProcesses(const ProcessTools& tools) noexcept {
    bool result = false;
    Trap trap(tools.log, "modMain.AnyTavProcesses");
    const auto snapshot = TakeSnapshot(tools, trap);
    if (!snapshot) return result;
    for (const ProcessEntry& entry : *snapshot) {
        trap([&] {
            if (IsRelatedProcess(tools, entry.imageName, true)) result = true;
        });
        trap([&] { tools.events.DoEvents(); });
    }
    return result;
}

WaitOutcome WaitWhileRunning(const ProcessTools& tools, const std::string& imageName,
                             uint32_t limitMs, const ShutdownOptions& options) noexcept {
    Trap trap(tools.log, "modMain.CloseAllTavProcesses");
    // On the tick clock: a change of the wall clock (daylight saving, a time
    // sync) must neither stretch the wait by hours nor cut it short.
    const uint32_t start = tools.clock.TickCount();
    for (;;) {
        const bool running = CheckForProcessByName(tools, imageName);
        if (StopRequested(options, trap)) return WaitOutcome::Stopped;
        if (!running) return WaitOutcome::Gone;
        if (tools.clock.TickCount() - start > limitMs) return WaitOutcome::StillRunning;
        trap([&] { tools.events.DoEvents(); });
        if (StopRequested(options, trap)) return WaitOutcome::Stopped;
        // A spinning wait would starve the very programs it waits for.
        trap([&] { tools.events.WaitForEvents(options.timings.pollMs); });
    }
}

bool CloseAllTavProcesses(const ProcessTools& tools, const ShutdownOptions& options) noexcept {
    int failures = 0;
    Trap trap(tools.log, "modMain.CloseAllTavProcesses");
    if (StopRequested(options, trap)) return false;
    const auto snapshot = TakeSnapshot(tools, trap);
    if (!snapshot) return false;

    // By full path, so that an sc.exe planted beside the program never runs.
    trap([&] {
        tools.shell.RunHidden(tools.environment.SystemFolder() + "\\" + kServiceControlProgram,
                              kStopTavService);
    });

    const uint32_t limit = options.timings.closeAttemptMs;
    for (const ProcessEntry& entry : *snapshot) {
        bool related = false;
        trap([&] { related = IsRelatedProcess(tools, entry.imageName, false); });
        if (StopRequested(options, trap)) return false;
        if (related) {
            CloseProcess(tools, entry, kExitCode);
            if (StopRequested(options, trap)) return false;
            if (WaitWhileRunning(tools, entry.imageName, limit, options) == WaitOutcome::Stopped)
                return false;
            bool stillThere = CheckForProcessByName(tools, entry.imageName);
            if (StopRequested(options, trap)) return false;
            if (stillThere) {
                CloseProcess(tools, entry, kExitCode);
                if (StopRequested(options, trap)) return false;
                if (WaitWhileRunning(tools, entry.imageName, limit, options) ==
                    WaitOutcome::Stopped)
                    return false;
                stillThere = CheckForProcessByName(tools, entry.imageName);
                if (StopRequested(options, trap)) return false;
                if (stillThere) ++failures;
            }
        }
        trap([&] { tools.events.DoEvents(); });
        if (StopRequested(options, trap)) return false;
    }
    return failures == 0;
}

void ShutDownTAV(Registry& registry, const ProcessTools& tools,
                 const ShutdownOptions& options) noexcept {
    Trap trap(tools.log, "modMain.ShutDownTAV");
    if (StopRequested(options, trap)) return;
    const bool anyWatched = AnyTavProcesses(tools);
    if (StopRequested(options, trap)) return;

    bool down = !anyWatched;
    if (anyWatched) {
        registry.SetStringValue(kWatchDogKey, kWatchDogCommandValue, kWatchDogShutdownCommand);
        registry.ApplyRegistryUpdate();
        trap([&] { tools.events.DoEvents(); });
        if (StopRequested(options, trap)) return;
        for (uint32_t check = 0; check < options.timings.watchdogChecks; ++check) {
            if (!PauseKeepingWindowAlive(tools, options.timings.watchdogIntervalMs, options, trap))
                return;
            const bool stillRunning = AnyTavProcesses(tools);
            if (StopRequested(options, trap)) return;
            if (!stillRunning) {
                down = true;
                break;
            }
        }
    }

    if (!down) {
        down = CloseAllTavProcesses(tools, options);
        if (StopRequested(options, trap)) return;
    }
    if (!down) return;
    registry.SetDWORDValue(kWatchDogKey, kWatchDogShutDownValue, kWatchDogAllClosed);
}

}  // namespace tav
