// Adapting the program to the desktop it runs on: the window icon, the
// processor's address width and the installer's run-as-administrator flag.
#pragma once

#include <string>

#include "platform/environment.h"
#include "platform/processes.h"
#include "system/registry.h"

namespace tav {

class CErrorUpdate;

inline constexpr const char* kAppCompatLayersKey =
    "HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers";
inline constexpr const char* kRunAsAdminLayers = "WINXPSP3 RUNASADMIN";
// The program's own group icon.
inline constexpr const char* kAppIconName = "TAV";

// Gives window (and, with setAsAppIcon, its top owner) the named icon of
// the program's resources, large and small, at the sizes the desktop uses.
void SetIcon(Environment& environment, CErrorUpdate& log, WindowHandle window,
             const std::string& name, bool setAsAppIcon);

// The processor's address width as the management service reports it
// ("32", "64"); "" when the service or the query is not available.
std::string GetAddressWidth(Environment& environment);

// The path under which the installer is flagged: the drive of the
// installation folder installFolder, the Program Files folder of 32-bit
// programs on this system, TAV.
std::string AssumedInstallerPath(const std::string& installFolder, const std::string& installerFile,
                                 const std::string& addressWidth);

// Flags installerFile of installFolder to run with administrator rights.
void SetRunAsAdmin(Environment& environment, Registry& registry, CErrorUpdate& log,
                   const std::string& installFolder, const std::string& installerFile);

}  // namespace tav
