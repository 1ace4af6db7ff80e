// Watches the update program's window from outside, as the demo shows it:
// prints each new status line, bar position and dialog text with the time
// since the window appeared, and keeps pictures of the window part way
// through the download and of any dialog (BMP files in FOLDER).
// Usage: window_probe [--press] [--trust ROOT.der] FOLDER [WAIT_SECONDS]
// --press clicks a dialog's button once it is pictured, so that an
// unattended run never waits for a person; --trust trusts a test
// authority in the machine's root store while the probe runs.
// Ends when the window has gone (exit code 0) or never came (exit code 1).
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/win32/win.h"

#include <commctrl.h>

#include "win_test_support.h"

namespace {

using tav::wintest::Ask;

constexpr int kStatusId = 104;
constexpr int kBarId = 105;
constexpr int kSilentId = 106;
constexpr int kDialogContentId = 1003;
constexpr int kDialogButtonBarId = 1004;
constexpr int kDialogFirstOptionId = 1100;

std::string Text(HWND w) {
    std::string s = tav::wintest::Text(w);
    for (char& c : s)
        if (c == '\r' || c == '\n') c = ' ';
    return s;
}

HWND FindClass(const wchar_t* cls) {
    HWND w = ::FindWindowW(cls, nullptr);
    return w && ::IsWindowVisible(w) ? w : nullptr;
}

bool SavePicture(HWND window, const std::string& path) {
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Ask(window, WM_NULL);
    ::Sleep(200);
    return tav::wintest::WriteWindowBmp(window, path);
}

}  // namespace

int main(int argc, char** argv) {
    bool press = false;
    std::unique_ptr<tav::wintest::TrustedTestRoot> root;
    for (; argc > 1 && std::string(argv[1]).starts_with("--"); --argc, ++argv) {
        if (std::string(argv[1]) == "--press") {
            press = true;
        } else if (std::string(argv[1]) == "--trust" && argc > 2) {
            root = std::make_unique<tav::wintest::TrustedTestRoot>(argv[2]);
            // The caller starts the update only after this line.
            std::printf("  test root %s\n", root->ok() ? "trusted" : "NOT trusted");
            std::fflush(stdout);
            --argc, ++argv;
        }
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: window_probe [--press] [--trust ROOT.der] FOLDER [WAIT_SECONDS]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const DWORD waitMs = static_cast<DWORD>(argc > 2 ? std::atoi(argv[2]) : 60) * 1000;
    HWND main = nullptr;
    const ULONGLONG asked = ::GetTickCount64();
    while (!(main = FindClass(L"TAVUpdateMainWindow")) && !FindClass(L"TAVForm")) {
        if (::GetTickCount64() - asked > waitMs) return 1;
        ::Sleep(10);
    }
    const ULONGLONG start = ::GetTickCount64();
    auto say = [&](const std::string& what) {
        std::printf("  [%5.2f s] %s\n", static_cast<double>(::GetTickCount64() - start) / 1000.0, what.c_str());
        std::fflush(stdout);
    };
    std::string status, dialogText;
    long bar = -1;
    bool silent = false, pictured = false;
    HWND shownDialog = nullptr;
    int dialogs = 0;
    for (;;) {
        const bool mainAlive = main && ::IsWindow(main);
        HWND dialog = FindClass(L"TAVForm");
        if (!mainAlive && !dialog) break;
        if (mainAlive) {
            const std::string s = Text(::GetDlgItem(main, kStatusId));
            const HWND barWindow = ::GetDlgItem(main, kBarId);
            const long b = ::IsWindowVisible(barWindow) ? static_cast<long>(Ask(barWindow, PBM_GETPOS)) : -1;
            const bool sl = Ask(::GetDlgItem(main, kSilentId), BM_GETCHECK) == BST_CHECKED;
            if (!s.empty() && s != status) say("status: " + s);
            if (b != bar && b >= 0 && (b == 0 || b == 100 || b / 10 != bar / 10)) say("bar: " + std::to_string(b) + "%");
            if (sl != silent) say(std::string("silent install: ") + (sl ? "ticked" : "cleared"));
            if (!s.empty()) status = s;
            if (b >= 0) bar = b;
            silent = sl;
            if (!pictured && b >= 40 && b < 100) {
                pictured = true;
                const std::string path = folder + "\\window_downloading.bmp";
                if (SavePicture(main, path)) say("picture of the window: window_downloading.bmp");
            }
        }
        if (dialog && dialog != shownDialog) {
            shownDialog = dialog;
            ++dialogs;
            dialogText = Text(::GetDlgItem(dialog, kDialogContentId));
            say("dialog \"" + Text(dialog) + "\": " + dialogText);
            const std::string name = "dialog_" + std::to_string(dialogs) + ".bmp";
            if (SavePicture(dialog, folder + "\\" + name)) say("picture of the dialog: " + name);
            for (int slot = 0; press && slot < 3; ++slot) {
                const HWND b = ::GetDlgItem(::GetDlgItem(dialog, kDialogButtonBarId), kDialogFirstOptionId + slot);
                if (!b || !::IsWindowVisible(b)) continue;
                say("pressing \"" + Text(b) + "\"");
                // Posted: the click ends the dialog's modal loop.
                ::PostMessageW(b, BM_CLICK, 0, 0);
                break;
            }
        }
        ::Sleep(20);
    }
    say("the window has closed");
    return 0;
}
