// Installs the Win32 run-time services for the whole process.
#pragma once

#include "platform/platform.h"

namespace tav::win32 {

// Creates the services once and installs them; returns them.
Platform& InstallWin32Platform();

}  // namespace tav::win32
