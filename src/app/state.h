// Program-wide state: one copy for the whole process.
#pragma once

#include <string>

namespace tav {

class CErrorUpdate;

// The TAV installation folder as the registry holds it, no trailing "\";
// empty when the key or value is absent. Written once by Main.
extern std::string sInstallLocation;
// Why the registry's installation folder cannot be used, in words for the
// user; "" when it can. sInstallLocation is then empty. Written once by Main.
extern std::string sInstallLocationProblem;

// The program's error logger, created on first use.
CErrorUpdate& ErrorLog();
// Releases the logger; a later use creates it afresh.
void ReleaseErrorLog();

}  // namespace tav
