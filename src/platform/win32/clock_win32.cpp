// The clock: local time, the short date, the tick count.
#include "platform/win32/runtime_win32.h"

#include "core/failure.h"
#include "platform/win32/text.h"

namespace tav::win32 {

DateTime Win32Clock::Now() {
    SYSTEMTIME st;
    ::GetLocalTime(&st);
    return DateTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

std::string Win32Clock::ShortDate(const DateTime& when) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(when.year);
    st.wMonth = static_cast<WORD>(when.month);
    st.wDay = static_cast<WORD>(when.day);
    wchar_t buf[128];
    const int n = ::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buf,
                                    static_cast<int>(std::size(buf)), nullptr);
    if (n <= 0) throw err::Make(err::kInvalidCall);
    return Narrow(std::wstring(buf, static_cast<size_t>(n - 1)));
}

uint32_t Win32Clock::TickCount() { return ::GetTickCount(); }

}  // namespace tav::win32
