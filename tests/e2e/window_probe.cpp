// Watches the update program's window from outside, as the demo shows it:
// prints each new status line, bar position and dialog text with the time
// since the window appeared, and keeps pictures of the window part way
// through the download and of any dialog (BMP files in FOLDER).
// Usage: window_probe [--press] [--trust ROOT.der] FOLDER [WAIT_SECONDS]
// --press clicks a dialog's only button once it is pictured, so that an
// unattended run never waits for a person; --trust trusts a test
// authority in the machine's root store while the probe runs.
// Ends when the window has gone (exit code 0) or never came (exit code 1).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "e2e_support.h"

#include <commctrl.h>

using namespace tav::e2e;
using tav::wintest::Ask;

namespace {

HWND Shown(const wchar_t* cls) {
    HWND w = ::FindWindowW(cls, nullptr);
    return w && ::IsWindowVisible(w) ? w : nullptr;
}

std::string OneLine(HWND w) {
    std::string s = Text(w);
    std::replace_if(
        s.begin(), s.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const bool press = !args.empty() && args[0] == "--press";
    std::unique_ptr<tav::wintest::TrustedTestRoot> root;
    if (press) args.erase(args.begin());
    if (args.size() > 1 && args[0] == "--trust") {
        root = std::make_unique<tav::wintest::TrustedTestRoot>(args[1]);
        // The caller starts the update only after this line.
        std::printf("  test root %s\n", root->ok() ? "trusted" : "NOT trusted");
        std::fflush(stdout);
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.empty()) {
        std::fprintf(stderr,
                     "usage: window_probe [--press] [--trust ROOT.der] FOLDER [WAIT_SECONDS]\n");
        return 2;
    }
    const std::string folder = args[0];
    const ULONGLONG asked = ::GetTickCount64();
    const ULONGLONG waitMs = (args.size() > 1 ? std::atoi(args[1].c_str()) : 60) * 1000ull;
    HWND main = nullptr;
    while (!(main = Shown(L"TAVUpdateMainWindow")) && !Shown(L"TAVForm")) {
        if (::GetTickCount64() - asked > waitMs) return 1;
        ::Sleep(10);
    }
    const ULONGLONG start = ::GetTickCount64();
    auto say = [&](const std::string& what) {
        std::printf("  [%5.2f s] %s\n", static_cast<double>(::GetTickCount64() - start) / 1000.0,
                    what.c_str());
        std::fflush(stdout);
    };
    std::string status;
    long bar = -1;
    bool silent = false;
    bool pictured = false;
    HWND shownDialog = nullptr;
    for (int dialogs = 0;; ::Sleep(20)) {
        const bool mainAlive = main && ::IsWindow(main);
        const HWND dialog = Shown(L"TAVForm");
        if (!mainAlive && !dialog) break;
        if (mainAlive) {
            const std::string s = OneLine(::GetDlgItem(main, kStatusId));
            const HWND barWindow = ::GetDlgItem(main, kBarId);
            const long b =
                ::IsWindowVisible(barWindow) ? static_cast<long>(Ask(barWindow, PBM_GETPOS)) : -1;
            const bool sl = Ask(::GetDlgItem(main, kSilentId), BM_GETCHECK) == BST_CHECKED;
            if (!s.empty() && s != status) say("status: " + (status = s));
            if (b != bar && b >= 0 && (b == 0 || b == 100 || b / 10 != bar / 10))
                say("bar: " + std::to_string(bar = b) + "%");
            if (sl != silent)
                say(std::string("silent install: ") + ((silent = sl) ? "ticked" : "cleared"));
            if (!pictured && b >= 40 && b < 100 &&
                (pictured = tav::wintest::SaveWindowPicture(main, "window_downloading", folder)))
                say("picture of the window: window_downloading.bmp");
        }
        if (dialog && dialog != shownDialog) {
            shownDialog = dialog;
            say("dialog \"" + OneLine(dialog) +
                "\": " + OneLine(::GetDlgItem(dialog, kDialogContentId)));
            const std::string name = "dialog_" + std::to_string(++dialogs);
            if (tav::wintest::SaveWindowPicture(dialog, name, folder))
                say("picture of the dialog: " + name + ".bmp");
            if (press)
                say(PressTheOnlyButton(dialog) ? "pressing its button"
                                               : "not pressed: it shows more than one button");
        }
    }
    say("the window has closed");
    return 0;
}
