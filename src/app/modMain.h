// The program's start.
#pragma once

#include <functional>

namespace tav {

// Registry key and value that name the TAV installation folder.
inline constexpr const char* kTavKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvel Systems\\TAV";
inline constexpr const char* kInstallLocationValue = "InstallLocation";

// Ends at once (false) when another copy runs; otherwise reads the
// installation folder and opens the main window modeless (true).
bool Main(const std::function<void()>& openMainWindow);

}  // namespace tav
