// The program a process entry runs. The application defines it; the
// entry of the platform's home calls it once the process is set up and
// its services are installed, as a C run-time calls main.
#pragma once

namespace tav {

struct Platform;

// Starts the program with the installed services: false when it has ended
// already; otherwise its windows are open and the process lives until the
// last one closes.
bool StartProgram(const Platform& services);

}  // namespace tav
