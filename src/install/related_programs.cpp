#include "install/related_programs.h"

#include <cctype>
#include <optional>
#include <vector>

#include "install/process_utils.h"
#include "platform/platform.h"
#include "error_log/trap.h"
#include "system/registry.h"

namespace tav {

namespace {

void DoEvents() { platform().events->DoEvents(); }
uint32_t Tick() { return platform().clock->TickCount(); }

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
bool PauseKeepingWindowAlive(uint32_t ms, const ShutdownOptions& options, Trap& trap) {
    const uint32_t start = Tick();
    for (;;) {
        const uint32_t elapsed = Tick() - start;
        if (elapsed >= ms) return true;
        trap([&] { platform().events->WaitForEvents(ms - elapsed); });
        trap([&] { DoEvents(); });
        if (StopRequested(options, trap)) return false;
    }
}

std::optional<std::vector<ProcessEntry>> TakeSnapshot(Trap& trap) {
    std::optional<std::vector<ProcessEntry>> snapshot;
    trap([&] { snapshot = platform().processes->Snapshot(); });
    return snapshot;
}

}  // namespace

bool IsRelatedProcess(CErrorUpdate& log, const std::string& imageName, bool watchedOnly) {
    std::string name = imageName;
    if (name.find('~') != std::string::npos) name = GetLongProcessName(log, name);
    name = Upper(name);
    bool matched = false;
    for (const RelatedProcess& row : RelatedProcessTable) {
        if ((row.watched || !watchedOnly) && name == row.imageName) matched = true;
    }
    return matched;
}

bool AnyTavProcesses(CErrorUpdate& log) noexcept {
    bool result = false;
    Trap trap(log, "modMain.AnyTavProcesses");
    const auto snapshot = TakeSnapshot(trap);
    if (!snapshot) return result;
    for (const ProcessEntry& entry : *snapshot) {
        trap([&] {
            if (IsRelatedProcess(log, entry.imageName, true)) result = true;
        });
        trap([&] { DoEvents(); });
    }
    return result;
}

WaitOutcome WaitWhileRunning(CErrorUpdate& log, const std::string& imageName, uint32_t limitMs,
                             const ShutdownOptions& options) noexcept {
    Trap trap(log, "modMain.CloseAllTavProcesses");
    // On the tick clock: a change of the wall clock (daylight saving, a time
    // sync) must neither stretch the wait by hours nor cut it short.
    const uint32_t start = Tick();
    for (;;) {
        const bool running = CheckForProcessByName(log, imageName);
        if (StopRequested(options, trap)) return WaitOutcome::Stopped;
        if (!running) return WaitOutcome::Gone;
        if (Tick() - start > limitMs) return WaitOutcome::StillRunning;
        trap([&] { DoEvents(); });
        if (StopRequested(options, trap)) return WaitOutcome::Stopped;
        // A spinning wait would starve the very programs it waits for.
        trap([&] { platform().events->WaitForEvents(options.timings.pollMs); });
    }
}

bool CloseAllTavProcesses(CErrorUpdate& log, const ShutdownOptions& options) noexcept {
    int failures = 0;
    Trap trap(log, "modMain.CloseAllTavProcesses");
    if (StopRequested(options, trap)) return false;
    const auto snapshot = TakeSnapshot(trap);
    if (!snapshot) return false;

    // By full path, so that an sc.exe planted beside the program never runs.
    trap([&] {
        platform().shell->RunHidden(
            platform().environment->SystemFolder() + "\\" + kServiceControlProgram,
            kStopTavService);
    });

    const uint32_t limit = options.timings.closeAttemptMs;
    for (const ProcessEntry& entry : *snapshot) {
        bool related = false;
        trap([&] { related = IsRelatedProcess(log, entry.imageName, false); });
        if (StopRequested(options, trap)) return false;
        if (related) {
            CloseProcess(log, entry, kExitCode);
            if (StopRequested(options, trap)) return false;
            if (WaitWhileRunning(log, entry.imageName, limit, options) == WaitOutcome::Stopped)
                return false;
            bool stillThere = CheckForProcessByName(log, entry.imageName);
            if (StopRequested(options, trap)) return false;
            if (stillThere) {
                CloseProcess(log, entry, kExitCode);
                if (StopRequested(options, trap)) return false;
                if (WaitWhileRunning(log, entry.imageName, limit, options) == WaitOutcome::Stopped)
                    return false;
                stillThere = CheckForProcessByName(log, entry.imageName);
                if (StopRequested(options, trap)) return false;
                if (stillThere) ++failures;
            }
        }
        trap([&] { DoEvents(); });
        if (StopRequested(options, trap)) return false;
    }
    return failures == 0;
}

void ShutDownTAV(Registry& registry, CErrorUpdate& log, const ShutdownOptions& options) noexcept {
    Trap trap(log, "modMain.ShutDownTAV");
    if (StopRequested(options, trap)) return;
    const bool anyWatched = AnyTavProcesses(log);
    if (StopRequested(options, trap)) return;

    bool down = !anyWatched;
    if (anyWatched) {
        registry.SetStringValue(kWatchDogKey, kWatchDogCommandValue, kWatchDogShutdownCommand);
        registry.ApplyRegistryUpdate();
        trap([&] { DoEvents(); });
        if (StopRequested(options, trap)) return;
        for (uint32_t check = 0; check < options.timings.watchdogChecks; ++check) {
            if (!PauseKeepingWindowAlive(options.timings.watchdogIntervalMs, options, trap)) return;
            const bool stillRunning = AnyTavProcesses(log);
            if (StopRequested(options, trap)) return;
            if (!stillRunning) {
                down = true;
                break;
            }
        }
    }

    if (!down) {
        down = CloseAllTavProcesses(log, options);
        if (StopRequested(options, trap)) return;
    }
    if (!down) return;
    registry.SetDWORDValue(kWatchDogKey, kWatchDogShutDownValue, kWatchDogAllClosed);
}

}  // namespace tav
