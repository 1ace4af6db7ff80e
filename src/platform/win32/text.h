// Text at the Win32 edge: the program keeps UTF-8, Windows wants UTF-16
// or the ANSI code page.
#pragma once

#include <string>

namespace tav::win32 {

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);
std::string Utf8ToAnsi(const std::string& utf8);
std::string AnsiToUtf8(const std::string& ansi);

}  // namespace tav::win32
