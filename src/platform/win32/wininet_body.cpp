#include "platform/win32/wininet_body.h"

#include <algorithm>
#include <cstring>

#include "platform/win32/wininet_transport.h"

namespace tav::win32 {

namespace {

// The count a call that went pending hands over. Microsoft documents no
// place for it; Wine (measured, and in its source) gives a query's count in
// the completion's dwError and writes it to the call's variable as well,
// and a read's count only to the variable, dwError being ERROR_SUCCESS.
// dwError holds no count when it is 0, so the variable is the other place.
// A wrong guess costs no byte: only a read's answer of 0 ends the body.
DWORD CompletedCount(const Completion& c, DWORD variable) {
    if (!c.result) throw InternetFailure(c.error);
    return c.error != 0 ? c.error : variable;
}

DWORD Available(BodyCalls& calls, BodyState& s) {
    s.available = 0;
    if (calls.QueryDataAvailable(&s.available) == CallState::Done) return s.available;
    const Completion c = calls.Wait();  // before the variable is looked at
    return CompletedCount(c, s.available);
}

}  // namespace

size_t ReadBody(BodyCalls& calls, BodyState& s, std::span<uint8_t> dst) {
    if (dst.empty()) return 0;
    if (!s.buffer) s.buffer = std::make_unique_for_overwrite<uint8_t[]>(kBodyBuffer);
    // Windows says how much may be read at once; asking for more may leave
    // the read waiting for all of it (Wine's does) while bytes sit there.
    if (s.left == 0) s.left = Available(calls, s);
    // A count of 0 is documented as the end of the data, but only a read
    // answering 0 bytes is taken as the end: a count of 0 before the data
    // has come would cut the body short. One byte, so that the read cannot
    // wait for more than the next byte.
    const DWORD want =
        s.left == 0 ? 1 : std::min<DWORD>({s.left, kBodyBuffer, static_cast<DWORD>(dst.size())});
    // Reading only what the count promised does not make the read complete
    // at once by any documented rule: a read that goes pending fills the
    // attempt's buffer, which outlives a cancelled wait, never dst.
    s.read = 0;
    if (calls.ReadFile(s.buffer.get(), want, &s.read) == CallState::Pending) {
        const Completion c = calls.Wait();
        s.read = CompletedCount(c, s.read);
    }
    const DWORD got = std::min(s.read, want);
    s.left -= std::min(s.left, got);
    std::memcpy(dst.data(), s.buffer.get(), got);
    return got;
}

}  // namespace tav::win32
