#include "platform/win32/text.h"

#include "platform/win32/unique_handle.h"

namespace tav::win32 {

namespace {
std::wstring ToWide(UINT codePage, const std::string& s) {
    if (s.empty()) return {};
    const int n =
        ::MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
}
std::string FromWide(UINT codePage, const std::wstring& w) {
    if (w.empty()) return {};
    const int n = ::WideCharToMultiByte(codePage, 0, w.data(), static_cast<int>(w.size()), nullptr,
                                        0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(codePage, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr,
                          nullptr);
    return out;
}
}  // namespace

std::wstring Widen(const std::string& utf8) { return ToWide(CP_UTF8, utf8); }
std::string Narrow(const std::wstring& wide) { return FromWide(CP_UTF8, wide); }
std::string Utf8ToAnsi(const std::string& utf8) { return FromWide(CP_ACP, Widen(utf8)); }
std::string AnsiToUtf8(const std::string& ansi) { return Narrow(ToWide(CP_ACP, ansi)); }

std::string SystemMessage(DWORD code, HMODULE module) {
    UniqueLocal buffer;
    DWORD flags =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    // Without a module the flag would search this program's own image.
    if (module) flags |= FORMAT_MESSAGE_FROM_HMODULE;
    const DWORD n = ::FormatMessageW(flags, module, code, 0, reinterpret_cast<LPWSTR>(buffer.put()),
                                     0, nullptr);
    std::string text =
        n > 0 && buffer ? Narrow(std::wstring(static_cast<const wchar_t*>(buffer.get()), n)) : "";
    while (!text.empty() &&
           (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

}  // namespace tav::win32
