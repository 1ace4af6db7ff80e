// How the shell is asked to open a file, apart from the asking: the verb
// is seen by nobody the shell starts, so only the request can show it.
#pragma once

#include <string>

#include "platform/win32/win.h"

#include <shellapi.h>

namespace tav::win32 {

// The request for file in folder, shown normally, without the shell's own
// error box; the strings must outlive it.
SHELLEXECUTEINFOW ShellOpenRequest(const std::wstring& file, const std::wstring& parameters,
                                   const std::wstring& folder);

}  // namespace tav::win32
