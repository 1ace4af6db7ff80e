// The program's start.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace tav {

struct ProgramState;
class App;

// Registry key and value that name the TAV installation folder.
inline constexpr const char* kTavKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvel Systems\\TAV";
inline constexpr const char* kInstallLocationValue = "InstallLocation";

// Why the installation folder read from the registry (value, the read's
// status and the value's type) cannot be used, in words for the user; ""
// when it can.
std::string InstallLocationProblem(const std::optional<std::string>& value, int32_t status,
                                   uint32_t type);

// Ends at once (false) when another copy runs (as app tells), and with a
// log entry when that cannot be told; otherwise reads and judges the
// installation folder into state and opens the main window modeless (true).
bool Main(ProgramState& state, App& app, const std::function<void()>& openMainWindow);

}  // namespace tav
