#include "platform/win32/platform_win32.h"

#include "platform/win32/code_signing_win32.h"
#include "platform/win32/environment_win32.h"
#include "platform/win32/processes_win32.h"
#include "platform/win32/dialog_view_win32.h"
#include "platform/win32/read_service_win32.h"
#include "platform/win32/registry_win32.h"
#include "platform/win32/runtime_win32.h"

namespace tav::win32 {

Platform& InstallWin32Platform() {
    static Win32EventLoop events;
    static Win32App app;
    static Win32Files files;
    static Win32Clock clock;
    static Win32Ui ui;
    static Win32Shell shell;
    static Win32Locale locale;
    static Win32Registry registry(true);
    SetPlatform(Platform{&events, &app, &files, &clock, &ui, &shell, &locale, &registry});
    static Win32Processes processes;
    static Win32Environment environment;
    platform().processes = &processes;
    platform().environment = &environment;
    static Win32DialogViews dialogs;
    platform().dialogs = &dialogs;
    static Win32ReadService reads;
    platform().reads = &reads;
    static Win32CodeSigning signing;
    platform().signing = &signing;
    return platform();
}

}  // namespace tav::win32
