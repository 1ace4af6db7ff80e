// Opens the program's main window modeless and returns at once.
#pragma once

namespace tav::win32 {

void OpenMainWindow();

}  // namespace tav::win32
