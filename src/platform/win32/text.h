// Text at the Win32 edge: the program keeps UTF-8, Windows wants UTF-16
// or the ANSI code page.
#pragma once

#include <string>

#include "platform/win32/win.h"

namespace tav::win32 {

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);
std::string Utf8ToAnsi(const std::string& utf8);
std::string AnsiToUtf8(const std::string& ansi);

// The system's words for an error code (looked up in module first when
// given), without the closing full stop, so a caller's sentence can go on;
// "" when the system has none.
std::string SystemMessage(DWORD code, HMODULE module = nullptr);
// A window's text, a control's caption.
std::wstring WindowText(HWND window);

}  // namespace tav::win32
