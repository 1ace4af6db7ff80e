// HTTP(S) GETs through the Windows Internet functions, for a download's
// worker thread: the system's proxy settings, certificate checks as the
// system makes them, waits that a cancel or a silent server can end.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/http_transport.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/win.h"
#include "platform/win32/wininet_body.h"

namespace tav::win32 {

// A Windows Internet handle (HINTERNET; <wininet.h> stays in the .cpp).
struct InternetHandleTraits {
    using Type = void*;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept;
};
using UniqueInternet = UniqueHandle<InternetHandleTraits>;

class WinInetTransport : public net::HttpTransport, private BodyCalls {
public:
    // cancelled, then cancel (a manual-reset event) are set to stop the
    // request: every call then ends with FetchCancelled. stallMs: how long
    // a wait for the server may last.
    WinInetTransport(const std::atomic<bool>& cancelled, HANDLE cancel, uint32_t stallMs);
    ~WinInetTransport() override;
    WinInetTransport(const WinInetTransport&) = delete;
    WinInetTransport& operator=(const WinInetTransport&) = delete;

    net::HttpResponse Open(const std::string& url, const std::vector<std::string>& headers,
                           bool fresh) override;
    size_t Read(std::span<uint8_t> dst) override;
    void Close() noexcept override;

    struct Attempt;

private:
    // Until the attempt's pending call completes; a cancel or a stall
    // closes the request and throws.
    void Await();
    void OpenSession();
    CallState QueryDataAvailable(DWORD* available) override;
    CallState ReadFile(void* buffer, DWORD size, DWORD* read) override;
    Completion Wait() override;

    const std::atomic<bool>& cancelled_;
    HANDLE cancel_;
    uint32_t stallMs_;
    UniqueInternet session_;
    Attempt* attempt_ = nullptr;
    std::string url_;  // of the current attempt, to resolve relative redirects
};

// The failure for a Windows Internet error code, with the system's text.
Failure InternetFailure(DWORD code);

}  // namespace tav::win32
