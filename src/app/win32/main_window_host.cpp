// The program on Win32: the start-up and the main window's logic wired to
// the real window and services.
#include "app/modMain.h"
#include "app/state.h"
#include "main_window/frmMain.h"
#include "main_window/program_services.h"
#include "platform/program.h"
#include "platform/win32/main_window_win32.h"

namespace tav {

namespace {

void OpenMainWindow(const Platform& services, ProgramState& state) {
    // The window, its logic and its services live as long as the process:
    // the program ends when this window has closed.
    static win32::Win32MainWindow view;
    static ProgramServices updateServices(services, state.registry, state.log, state.location);
    static frmMain form(view, updateServices, state.location, state.log);
    updateServices.Attach(form);
    if (!view.Create(form)) return;
    // As a form's load runs before it is first shown.
    form.Form_Load();
    view.Show();
}

}  // namespace

bool StartProgram(const Platform& services) {
    // What the parts share lives as long as the process, as the window does.
    static ProgramState state(services);
    return Main(state, *services.app, [&services] { OpenMainWindow(services, state); });
}

}  // namespace tav
