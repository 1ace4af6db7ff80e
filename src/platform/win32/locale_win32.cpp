// The user's number format and the ANSI code page.
#include "platform/win32/runtime_win32.h"

#include "platform/win32/text.h"

namespace tav::win32 {

std::string Win32Locale::ThousandsSeparator() {
    wchar_t buf[8];
    const int n = ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STHOUSAND, buf,
                                    static_cast<int>(std::size(buf)));
    if (n <= 1) return ",";
    return Narrow(std::wstring(buf, static_cast<size_t>(n - 1)));
}

std::string Win32Locale::ToAnsi(const std::string& utf8) { return Utf8ToAnsi(utf8); }
std::string Win32Locale::FromAnsi(const std::string& ansi) { return AnsiToUtf8(ansi); }

}  // namespace tav::win32
