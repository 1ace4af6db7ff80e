// A file the update has just written is often opened for a moment by
// someone else: a virus scanner or an indexer scans it when its writer
// closes it, and may open it without sharing what the update then asks
// for. Such a moment must not fail the update, nor may a real lock hold it
// up for long.
#pragma once

#include "platform/win32/win.h"

namespace tav::win32 {

// How often and how long a sharing violation is waited out: about three
// seconds in all.
inline constexpr int kShareRetries = 30;
inline constexpr DWORD kShareRetryMs = 100;

// Runs attempt (true on success, GetLastError() saying why not) until it
// succeeds, fails for another reason than sharing, or the retries are
// spent; the last error is attempt's own when it returns false.
template <class Attempt>
bool RetryWhileShared(Attempt&& attempt) {
    for (int tries = 0;; ++tries) {
        if (attempt()) return true;
        const DWORD error = ::GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) ||
            tries == kShareRetries) {
            ::SetLastError(error);
            return false;
        }
        ::Sleep(kShareRetryMs);
    }
}

}  // namespace tav::win32
