// The message dialog as another program meets it: a helper process shows a
// real dialog; this test finds its window, reads its texts and buttons with
// WM_GETTEXT, presses them and reads the result from the exit code. It
// keeps screenshots of a styled and an unstyled dialog in build/artifacts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <set>
#include <string>

#include <wincodec.h>

#include "platform/win32/dialog_view_win32.h"
#include "platform/win32/text.h"
#include "win_test_support.h"

namespace tav {
namespace {

using ::testing::HasSubstr;
using wintest::HostPath;
using wintest::StartProcess;
using wintest::WaitExit;

const std::string kProbe = HostPath(TAV_TEST_HELPER_DIR "/dialog_probe.exe");
const std::string kStyleLibrary = HostPath(TAV_STYLE_LIBRARY);
const std::string kArtifacts = HostPath(TAV_ARTIFACT_DIR);
constexpr int kButtonBarId = win32::kButtonBarId;

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

std::string TextOf(HWND w) {
    wchar_t buf[1024] = {};
    const LRESULT n = ::SendMessageW(w, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buf));
    return win32::Narrow(std::wstring(buf, static_cast<size_t>(n)));
}

struct Search {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindDialogOf(HWND w, LPARAM p) {
    auto* s = reinterpret_cast<Search*>(p);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(w, &owner);
    wchar_t cls[32] = {};
    ::GetClassNameW(w, cls, 32);
    if (owner == s->pid && ::IsWindowVisible(w) && std::wstring(cls) == win32::kFormWindowClass) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

// A helper process showing one dialog; ends it on destruction if a test
// failed half-way.
class ShownDialog {
public:
    // folder: where the helper runs from and logs to; withStyle: whether
    // the style library lies beside it.
    ShownDialog(const std::string& folder, bool withStyle, int style, const std::string& title,
                const std::string& message, const std::string& content, int timeout = -1,
                int timeoutResult = 0, bool avoidSplash = false) {
        const std::string exe = folder + "\\dialog_probe.exe";
        ::CopyFileW(win32::Widen(kProbe).c_str(), win32::Widen(exe).c_str(), FALSE);
        if (withStyle) {
            ::CopyFileW(win32::Widen(kStyleLibrary).c_str(),
                        win32::Widen(folder + "\\TAVri.dll").c_str(), FALSE);
        }
        process_ = StartProcess(exe, Quote(folder) + " " + std::to_string(style) + " " +
                                         std::to_string(timeout) + " " +
                                         std::to_string(timeoutResult) + " " +
                                         (avoidSplash ? "1" : "0") + " " + Quote(title) + " " +
                                         Quote(message) + " " + Quote(content));
        if (!process_) return;
        Search s{::GetProcessId(process_), nullptr};
        // Bounded: the helper shows its window within moments, or has ended.
        for (int i = 0; i < 1000 && !s.found && WaitExit(process_, 0) == -1; ++i) {
            ::EnumWindows(FindDialogOf, reinterpret_cast<LPARAM>(&s));
            if (!s.found) ::Sleep(20);
        }
        dialog_ = s.found;
        // Activation follows the showing a moment later under Wine.
        GUITHREADINFO gui{};
        gui.cbSize = sizeof gui;
        const DWORD thread = dialog_ ? ::GetWindowThreadProcessId(dialog_, nullptr) : 0;
        for (int i = 0; i < 250 && thread; ++i) {
            if (::GetGUIThreadInfo(thread, &gui) && gui.hwndActive == dialog_ && gui.hwndFocus) break;
            ::Sleep(20);
        }
        DWORD_PTR ignored = 0;
        if (dialog_) ::SendMessageTimeoutW(dialog_, WM_NULL, 0, 0, SMTO_BLOCK, 5000, &ignored);
    }
    ~ShownDialog() {
        if (process_) {
            if (WaitExit(process_, 0) == -1) ::TerminateProcess(process_, 99);
            ::CloseHandle(process_);
        }
    }
    ShownDialog(const ShownDialog&) = delete;
    ShownDialog& operator=(const ShownDialog&) = delete;

    HWND dialog() const { return dialog_; }
    HWND Item(int id) const { return ::GetDlgItem(dialog_, id); }
    HWND Button(int slot) const {
        return ::GetDlgItem(Item(kButtonBarId), win32::kFirstOptionId + slot);
    }
    bool Visible(HWND w) const { return (::GetWindowLongW(w, GWL_STYLE) & WS_VISIBLE) != 0; }
    int DefaultSlot() const {
        const LRESULT r = ::SendMessageW(dialog_, DM_GETDEFID, 0, 0);
        return HIWORD(r) == DC_HASDEFID ? LOWORD(r) - win32::kFirstOptionId : -1;
    }
    long Result() { return WaitExit(process_, 30000); }
    HANDLE process() const { return process_; }

private:
    HANDLE process_ = nullptr;
    HWND dialog_ = nullptr;
};

// The dialog as it is on the screen, written as a PNG.
void Screenshot(HWND dialog, const std::string& name) {
    std::filesystem::create_directories(std::filesystem::path(win32::Widen(kArtifacts)));
    // Painted before the picture is taken: the helper answers only after
    // it has handled what is queued.
    ::RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_BLOCK, 5000, &ignored);
    ::Sleep(200);
    RECT r;
    ::GetWindowRect(dialog, &r);
    const int margin = 12;
    const int w = r.right - r.left + 2 * margin;
    const int h = r.bottom - r.top + 2 * margin;
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    HBITMAP bmp = ::CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = ::SelectObject(mem, bmp);
    ::BitBlt(mem, 0, 0, w, h, screen, r.left - margin, r.top - margin, SRCCOPY);
    ::SelectObject(mem, old);

    const std::wstring path = win32::Widen(kArtifacts + "\\" + name);
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IWICImagingFactory* factory = nullptr;
    IWICBitmap* bitmap = nullptr;
    IWICStream* stream = nullptr;
    IWICBitmapEncoder* encoder = nullptr;
    IWICBitmapFrameEncode* frame = nullptr;
    bool ok = SUCCEEDED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                           IID_PPV_ARGS(&factory))) &&
              SUCCEEDED(factory->CreateBitmapFromHBITMAP(bmp, nullptr, WICBitmapIgnoreAlpha, &bitmap)) &&
              SUCCEEDED(factory->CreateStream(&stream)) &&
              SUCCEEDED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) &&
              SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
              SUCCEEDED(encoder->Initialize(stream, WICBitmapEncoderNoCache)) &&
              SUCCEEDED(encoder->CreateNewFrame(&frame, nullptr)) && SUCCEEDED(frame->Initialize(nullptr)) &&
              SUCCEEDED(frame->WriteSource(bitmap, nullptr)) && SUCCEEDED(frame->Commit()) &&
              SUCCEEDED(encoder->Commit());
    for (IUnknown* p : std::initializer_list<IUnknown*>{frame, encoder, stream, bitmap, factory}) {
        if (p) p->Release();
    }
    ::CoUninitialize();
    ::DeleteObject(bmp);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    EXPECT_TRUE(ok) << "screenshot " << name;
}

int LogEntries(const std::string& log, const std::string& routine) {
    int n = 0;
    for (size_t at = log.find(routine + " \r\n"); at != std::string::npos;
         at = log.find(routine + " \r\n", at + 1)) {
        ++n;
    }
    return n;
}

class DialogWinTest : public ::testing::Test {
protected:
    wintest::TempFolder folder;
    std::string Log() { return wintest::ReadFileBytes(folder.path() + "\\LOGS\\TAVerror.log"); }
};

const std::string kLongText =
    "The new release could not be installed because the installer was not found in the "
    "TAV folder. Download the update again and start it once more.";

TEST_F(DialogWinTest, FatalErrorDialogShowsItsPartsStyledAndOkReturnsOne) {
    ShownDialog d(folder.path(), true, 16, "TAV Update Manager", "Critical Error", kLongText);
    ASSERT_NE(d.dialog(), nullptr);
    EXPECT_EQ(TextOf(d.dialog()), "TAV Update Manager");
    EXPECT_EQ(TextOf(d.Item(win32::kLabelMessageId)), "Critical Error");
    EXPECT_EQ(TextOf(d.Item(win32::kLabelContentId)),
              "The new release could not be installed because the installer was\r\n"
              "not found in the TAV folder.  Download the update again and start\r\n"
              "it once more.  ");
    EXPECT_TRUE(d.Visible(d.Item(win32::kPictureCustomId)));
    EXPECT_EQ(TextOf(d.Button(0)), "OK");
    EXPECT_TRUE(d.Visible(d.Button(0)));
    EXPECT_FALSE(d.Visible(d.Button(1)));
    EXPECT_FALSE(d.Visible(d.Button(2)));
    EXPECT_EQ(d.DefaultSlot(), 0);
    EXPECT_EQ(::GetWindowLongW(d.Button(0), GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);

    // The body text's label ends above the bar, which grew down with it.
    RECT label, bar, window;
    ::GetWindowRect(d.Item(win32::kLabelContentId), &label);
    ::GetWindowRect(d.Item(kButtonBarId), &bar);
    ::GetWindowRect(d.dialog(), &window);
    EXPECT_LE(label.bottom, bar.top);
    EXPECT_GT(bar.bottom, window.bottom);  // the bar runs under the lower edge, as designed
    EXPECT_THAT(wintest::LayoutFaults(d.dialog()), ::testing::IsEmpty());

    Screenshot(d.dialog(), "dialog-fatal-error.png");
    ::SendMessageW(d.Button(0), BM_CLICK, 0, 0);
    EXPECT_EQ(d.Result(), 1);
    EXPECT_EQ(Log(), "");
}

TEST_F(DialogWinTest, EveryLineOfATallBodyShowsAboveTheBar) {
    // Seven breaks: the growth rule alone leaves the last line under the bar.
    ShownDialog d(folder.path(), true, 48, "TAV Update Manager", "Warning",
                  "one\\ntwo\\nthree\\nfour\\nfive\\nsix\\nseven\\nthe last line");
    ASSERT_NE(d.dialog(), nullptr);
    RECT label, bar;
    ::GetWindowRect(d.Item(win32::kLabelContentId), &label);
    ::GetWindowRect(d.Item(kButtonBarId), &bar);
    EXPECT_LE(label.bottom, bar.top);
    EXPECT_THAT(wintest::LayoutFaults(d.dialog()), ::testing::IsEmpty());
    Screenshot(d.dialog(), "dialog-eight-lines.png");
    ::SendMessageW(d.Button(0), BM_CLICK, 0, 0);
    EXPECT_EQ(d.Result(), 1);
}

TEST_F(DialogWinTest, ThreeButtonsWithFlagAndEnterPressesTheDefault) {
    ShownDialog d(folder.path(), true, 0x33 | 0x100, "Update", "",
                  "Some TAV programs are still running. Close them and install now?");
    ASSERT_NE(d.dialog(), nullptr);
    EXPECT_EQ(TextOf(d.Item(win32::kLabelMessageId)), "Warning");
    const std::array<std::string, 3> captions{"Cancel", "No", "Yes"};
    for (int slot = 0; slot < 3; ++slot) {
        EXPECT_EQ(TextOf(d.Button(slot)), captions[static_cast<size_t>(slot)]);
        EXPECT_TRUE(d.Visible(d.Button(slot)));
    }
    EXPECT_EQ(d.DefaultSlot(), 1);
    Screenshot(d.dialog(), "dialog-styled.png");
    ::PostMessageW(d.dialog(), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(d.Result(), 7);
}

TEST_F(DialogWinTest, EscapeAndTheCloseCommandGiveTwo) {
    {
        ShownDialog d(folder.path(), true, 4, "Update", "Question", "Install now?");
        ASSERT_NE(d.dialog(), nullptr);
        ::PostMessageW(d.dialog(), WM_KEYDOWN, VK_ESCAPE, 0);
        EXPECT_EQ(d.Result(), 2);
    }
    {
        ShownDialog d(folder.path(), true, 0x26, "Update", "Question", "No button at all.");
        ASSERT_NE(d.dialog(), nullptr);
        for (int slot = 0; slot < 3; ++slot) EXPECT_FALSE(d.Visible(d.Button(slot)));
        ::PostMessageW(d.dialog(), WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_EQ(d.Result(), 2);
    }
}

TEST_F(DialogWinTest, WithoutTheStyleLibraryTheDialogWorksUnstyledAndLogsOnce) {
    ShownDialog d(folder.path(), false, 0x45, "TAV Update Manager", "",
                  "The download was interrupted. Retry?");
    ASSERT_NE(d.dialog(), nullptr);
    EXPECT_EQ(TextOf(d.Item(win32::kLabelMessageId)), "Information");
    EXPECT_EQ(::GetWindowLongW(d.Button(1), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    EXPECT_EQ(::GetWindowLongW(d.Button(0), GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
    Screenshot(d.dialog(), "dialog-unstyled.png");
    ::SendMessageW(d.Button(1), BM_CLICK, 0, 0);
    EXPECT_EQ(d.Result(), 4);
    const std::string log = Log();
    EXPECT_EQ(LogEntries(log, "frmDialog.FormSetup"), 1) << log;
    EXPECT_THAT(log, HasSubstr("53, File not found"));
}

TEST_F(DialogWinTest, DamagedStyleLibraryAlsoGivesAnUnstyledDialog) {
    const std::string junk = "this is no library";
    HANDLE f = ::CreateFileW(win32::Widen(folder.path() + "\\TAVri.dll").c_str(), GENERIC_WRITE, 0,
                             nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    ::WriteFile(f, junk.data(), static_cast<DWORD>(junk.size()), &written, nullptr);
    ::CloseHandle(f);
    ShownDialog d(folder.path(), false, 1, "TAV Update Manager", "Critical Error", "Damaged.");
    ASSERT_NE(d.dialog(), nullptr);
    EXPECT_EQ(::GetWindowLongW(d.Button(1), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    ::PostMessageW(d.dialog(), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(d.Result(), 1);
    EXPECT_EQ(LogEntries(Log(), "frmDialog.FormSetup"), 1) << Log();
}

TEST_F(DialogWinTest, CountdownShowsTheSecondsLeftAndEndsWithTheTimeOutResult) {
    ShownDialog d(folder.path(), true, 4, "Closing", "Please confirm", "Ends by itself.", 3, 6);
    ASSERT_NE(d.dialog(), nullptr);
    std::set<std::string> titles;
    long code = -1;
    for (int i = 0; i < 3000 && code == -1; ++i) {
        wchar_t buf[128] = {};
        // Cheap for the dialog: the title is kept by the system.
        if (::GetWindowTextW(d.dialog(), buf, 128) > 0) titles.insert(win32::Narrow(buf));
        code = WaitExit(d.process(), 10);
    }
    EXPECT_EQ(code, 6);
    for (const std::string& t : titles) {
        EXPECT_TRUE(t == "Closing" || t == "Closing (2)" || t == "Closing (1)" || t == "Closing (0)")
            << t;
    }
    EXPECT_TRUE(titles.count("Closing (2)") || titles.count("Closing (1)"));
}

TEST_F(DialogWinTest, OneSecondCountdownEndsBeforeTheDialogIsEverShown) {
    ShownDialog d(folder.path(), true, 4, "Closing", "Please confirm", "Gone at once.", 1, 5);
    EXPECT_EQ(d.dialog(), nullptr);
    EXPECT_EQ(d.Result(), 5);
    EXPECT_EQ(Log(), "");
}

TEST_F(DialogWinTest, AvoidSplashPlacesTheDialogAFifthDownTheScreenAndCentred) {
    ShownDialog d(folder.path(), true, 0, "Update", "Working", "Placed high.", -1, 0, true);
    ASSERT_NE(d.dialog(), nullptr);
    RECT r;
    ::GetWindowRect(d.dialog(), &r);
    const int screenW = ::GetSystemMetrics(SM_CXSCREEN);
    const int screenH = ::GetSystemMetrics(SM_CYSCREEN);
    EXPECT_NEAR(r.top, screenH / 5, 1);
    EXPECT_NEAR(r.left, (screenW - (r.right - r.left)) / 2, 1);
    ::SendMessageW(d.Button(0), BM_CLICK, 0, 0);
    EXPECT_EQ(d.Result(), 1);
}

}  // namespace
}  // namespace tav
