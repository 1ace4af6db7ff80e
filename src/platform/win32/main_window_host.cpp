#include "platform/win32/main_window_host.h"

#include "main_window/frmMain.h"
#include "main_window/program_services.h"
#include "platform/win32/main_window_win32.h"

namespace tav::win32 {

void OpenMainWindow() {
    // The window, its logic and its services live as long as the process:
    // the program ends when this window has closed.
    static Win32MainWindow view;
    static ProgramServices services;
    static frmMain form(view, services);
    services.Attach(form);
    if (!view.Create(form)) return;
    // As a form's load runs before it is first shown.
    form.Form_Load();
    view.Show();
}

}  // namespace tav::win32
