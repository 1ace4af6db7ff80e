#include "platform/win32/wininet_transport.h"

#include <wininet.h>

#include <atomic>
#include <charconv>
#include <memory>

#include "platform/win32/text.h"
#include "platform/win32/unique_handle.h"

namespace tav::win32 {

// What the Internet functions call back with. It lives while the worker
// holds it and while any handle created for it is open: the last one to let
// go frees it. A worker that gives up on a request still opening keeps its
// share for good, since a handle may yet be created for it.
struct WinInetTransport::Attempt {
    UniqueKernel done{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    std::atomic<int> refs{1};
    std::atomic<int> created{0};
    std::atomic<int> closed{0};
    // Of the last operation that completed later; written before `done`.
    DWORD_PTR result = 0;
    DWORD error = 0;
    BodyState body;
    // Closing it does not end the attempt, which lives on, on the handle's
    // share, until the system's last callback for it.
    UniqueInternet request;
    bool opening = false;
};

namespace {

const wchar_t kAgent[] = L"TAV Update Manager";

// The attempt's shares are counted by hand because the system holds them
// through a plain context pointer; the worker's comes from here.
WinInetTransport::Attempt* NewAttempt() {
    return std::make_unique<WinInetTransport::Attempt>().release();
}

void Release(WinInetTransport::Attempt* a) {
    if (a->refs.fetch_sub(1) != 1) return;
    // The last share owns the attempt and frees it on the way out.
    const std::unique_ptr<WinInetTransport::Attempt> last(a);
}

void CALLBACK StatusCallback(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD) {
    auto* a = reinterpret_cast<WinInetTransport::Attempt*>(context);
    if (a == nullptr) return;  // the session handle itself
    switch (status) {
        case INTERNET_STATUS_HANDLE_CREATED:
            a->refs.fetch_add(1);
            a->created.fetch_add(1);
            break;
        case INTERNET_STATUS_REQUEST_COMPLETE: {
            const auto* r = static_cast<const INTERNET_ASYNC_RESULT*>(info);
            a->result = r->dwResult;
            a->error = r->dwError;
            ::SetEvent(a->done.get());
            break;
        }
        case INTERNET_STATUS_HANDLE_CLOSING:  // the last call for that handle
            // A closing without its creation would free the attempt under the
            // worker's feet: such a share is never let go.
            if (a->closed.fetch_add(1) < a->created.load()) Release(a);
            break;
        default:
            break;
    }
}

std::string FallbackText(DWORD code) {
    switch (code) {
        case ERROR_INTERNET_TIMEOUT:
            return "The operation timed out";
        case ERROR_INTERNET_INVALID_URL:
            return "The URL is invalid";
        case ERROR_INTERNET_UNRECOGNIZED_SCHEME:
            return "The URL scheme could not be recognized";
        case ERROR_INTERNET_NAME_NOT_RESOLVED:
            return "The server name could not be resolved";
        case ERROR_INTERNET_CANNOT_CONNECT:
            return "A connection with the server could not be established";
        case ERROR_INTERNET_CONNECTION_ABORTED:
            return "The connection with the server was terminated abnormally";
        case ERROR_INTERNET_CONNECTION_RESET:
            return "The connection with the server was reset";
        case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
            return "The server's certificate has expired or is not yet valid";
        case ERROR_INTERNET_SEC_CERT_CN_INVALID:
            return "The server's certificate is for another name";
        case ERROR_INTERNET_INVALID_CA:
            return "The server's certificate is not from a trusted authority";
        case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
            return "A secure connection could not be established";
        case ERROR_HTTP_INVALID_SERVER_RESPONSE:
            return "The server response could not be parsed";
        default:
            return "Internet error " + std::to_string(code);
    }
}

std::string QueryText(HINTERNET request, DWORD what) {
    DWORD bytes = 0;
    ::HttpQueryInfoW(request, what, nullptr, &bytes, nullptr);
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes == 0) return {};
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    if (!::HttpQueryInfoW(request, what, text.data(), &bytes, nullptr)) return {};
    text.resize(bytes / sizeof(wchar_t));
    return Narrow(text);
}

std::string Resolve(const std::string& base, const std::string& location) {
    const std::wstring wbase = Widen(base), wloc = Widen(location);
    std::wstring out(2048, L'\0');
    DWORD len = static_cast<DWORD>(out.size());
    if (!::InternetCombineUrlW(wbase.c_str(), wloc.c_str(), out.data(), &len, 0)) {
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
        out.assign(len + 1, L'\0');
        len = static_cast<DWORD>(out.size());
        if (!::InternetCombineUrlW(wbase.c_str(), wloc.c_str(), out.data(), &len, 0)) return {};
    }
    out.resize(len);
    return Narrow(out);
}

}  // namespace

Failure InternetFailure(DWORD code) {
    std::string text = SystemMessage(code, ::GetModuleHandleW(L"wininet.dll"));
    if (text.empty()) text = FallbackText(code);
    return Failure(static_cast<int32_t>(code), text);
}

WinInetTransport::WinInetTransport(const std::atomic<bool>& cancelled, HANDLE cancel,
                                   uint32_t stallMs)
    : cancelled_(cancelled), cancel_(cancel), stallMs_(stallMs) {}

void InternetHandleTraits::Close(Type h) noexcept { ::InternetCloseHandle(h); }

WinInetTransport::~WinInetTransport() { Close(); }

void WinInetTransport::OpenSession() {
    if (session_) return;
    // Asynchronous mode is what lets a wait end: a blocked synchronous call
    // can be stopped neither by a cancel nor by a receive time-out.
    session_.reset(::InternetOpenW(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr,
                                   INTERNET_FLAG_ASYNC));
    if (!session_) throw InternetFailure(::GetLastError());
    ::InternetSetStatusCallbackW(session_.get(), StatusCallback);
}

void WinInetTransport::Await() {
    const HANDLE handles[2] = {attempt_->done.get(), cancel_};
    const DWORD w = ::WaitForMultipleObjects(2, handles, FALSE, stallMs_);
    if (w == WAIT_OBJECT_0) return;
    Close();
    if (w == WAIT_OBJECT_0 + 1) throw net::FetchCancelled{};
    throw Failure(net::kErrTimeout,
                  "The server sent nothing for " + std::to_string(stallMs_ / 1000) + " seconds");
}

net::HttpResponse WinInetTransport::Open(const std::string& url,
                                         const std::vector<std::string>& headers, bool fresh) {
    Close();
    if (cancelled_.load(std::memory_order_relaxed)) throw net::FetchCancelled{};
    OpenSession();
    attempt_ = NewAttempt();
    if (!attempt_->done) throw InternetFailure(::GetLastError());
    url_ = url;

    std::wstring head;
    for (const std::string& line : headers) head += Widen(line) + L"\r\n";
    // Redirects are followed by the caller, which refuses HTTPS to HTTP.
    // No flag that weakens certificate checks is ever set.
    DWORD flags = INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTO_REDIRECT;
    if (fresh)
        flags |= INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;
    attempt_->opening = true;
    HINTERNET request = ::InternetOpenUrlW(
        session_.get(), Widen(url).c_str(), head.empty() ? nullptr : head.c_str(),
        static_cast<DWORD>(head.size()), flags, reinterpret_cast<DWORD_PTR>(attempt_));
    if (!request) {
        const DWORD e = ::GetLastError();
        if (e != ERROR_IO_PENDING) {
            attempt_->opening = false;
            throw InternetFailure(e);
        }
        Await();
        attempt_->opening = false;
        if (!attempt_->result) throw InternetFailure(attempt_->error);
        request = reinterpret_cast<HINTERNET>(attempt_->result);
    }
    attempt_->opening = false;
    attempt_->request.reset(request);

    net::HttpResponse r;
    DWORD status = 0, size = sizeof status;
    if (!::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                          nullptr))
        throw InternetFailure(::GetLastError());
    r.status = static_cast<int32_t>(status);
    r.reason = QueryText(request, HTTP_QUERY_STATUS_TEXT);
    const std::string length = QueryText(request, HTTP_QUERY_CONTENT_LENGTH);
    uint64_t value = 0;
    const auto parsed = std::from_chars(length.data(), length.data() + length.size(), value);
    if (!length.empty() && parsed.ec == std::errc() && parsed.ptr == length.data() + length.size())
        r.contentLength = value;
    const std::string location = QueryText(request, HTTP_QUERY_LOCATION);
    if (!location.empty()) r.location = Resolve(url, location);
    r.etag = QueryText(request, HTTP_QUERY_ETAG);
    r.lastModified = QueryText(request, HTTP_QUERY_LAST_MODIFIED);
    r.contentRange = QueryText(request, HTTP_QUERY_CONTENT_RANGE);
    r.acceptRanges = QueryText(request, HTTP_QUERY_ACCEPT_RANGES);
    return r;
}

size_t WinInetTransport::Read(std::span<uint8_t> dst) {
    if (!attempt_ || !attempt_->request) throw InternetFailure(ERROR_INVALID_HANDLE);
    // A flag, not the event: a wait costs a round trip to the server
    // process under Wine, on every read.
    if (cancelled_.load(std::memory_order_relaxed)) {
        Close();
        throw net::FetchCancelled{};
    }
    return ReadBody(*this, attempt_->body, dst);
}

CallState WinInetTransport::QueryDataAvailable(DWORD* available) {
    if (::InternetQueryDataAvailable(attempt_->request.get(), available, 0, 0))
        return CallState::Done;
    const DWORD e = ::GetLastError();
    if (e != ERROR_IO_PENDING) throw InternetFailure(e);
    return CallState::Pending;
}

CallState WinInetTransport::ReadFile(void* buffer, DWORD size, DWORD* read) {
    if (::InternetReadFile(attempt_->request.get(), buffer, size, read)) return CallState::Done;
    const DWORD e = ::GetLastError();
    if (e != ERROR_IO_PENDING) throw InternetFailure(e);
    return CallState::Pending;
}

Completion WinInetTransport::Wait() {
    Await();
    return {attempt_->result, attempt_->error};
}

void WinInetTransport::Close() noexcept {
    Attempt* a = std::exchange(attempt_, nullptr);
    if (!a) return;
    // A call left pending by a silent server may still write into the
    // attempt: the handle's share keeps it until the system's last
    // callback for that handle (INTERNET_STATUS_HANDLE_CLOSING).
    a->request.reset();
    if (!a->opening) Release(a);
}

}  // namespace tav::win32
