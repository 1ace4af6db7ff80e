// Test helper: shows one message dialog and ends with its result as exit
// code, so another process can read and press the real window.
//
//   dialog_probe <log folder> <style> <avoid splash 0|1> <content>
//
// "\n" in the content stands for a line break (CR LF). The error log goes
// to <log folder>\LOGS.
#include <cstdlib>
#include <string>

#include "app/state.h"
#include "dialog/ShowMessageDialog.h"
#include "platform/win32/form_window.h"
#include "platform/win32/platform_win32.h"
#include "platform/win32/text.h"
#include "platform/win32/win.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 5) return 100;
    const auto arg = [&](int i) { return tav::win32::Narrow(argv[i]); };

    // As the program itself does: DLLs only from the system folder.
    ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    tav::win32::BecomePerMonitorDpiAware();
    const tav::Platform& services = tav::win32::InstallWin32Platform();
    tav::ProgramState state(services);
    state.location.folder = arg(1);

    std::string content = arg(4);
    for (size_t at = 0; (at = content.find("\\n", at)) != std::string::npos;)
        content.replace(at, 2, "\r\n");
    return tav::ShowMessageDialog({*services.dialogs, *services.ui, *services.app}, state.log,
                                  content, std::atoi(arg(2).c_str()), "TAV Update Manager",
                                  "Warning", -1, nullptr, arg(3) == "1");
}
