// The read service on Windows: one worker thread per request does the HTTP
// work; its news reaches the user-interface thread through a hidden
// message-only window, so that it arrives inside any message loop,
// including a modal one.
#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include "platform/http_transport.h"
#include "platform/read_service.h"
#include "platform/win32/win.h"

namespace tav::win32 {

struct ReadServiceOptions {
    // No byte for this long counts as a dropped connection.
    uint32_t stallTimeoutMs = 60000;
    // Progress is posted at most this often (and once more at the end).
    uint32_t progressIntervalMs = 50;
    net::FetchLimits limits;
};

class Win32ReadService : public ReadService {
public:
    explicit Win32ReadService(ReadServiceOptions options = {});
    // Cancels what still runs and returns at once: workers never touch the
    // service, so none has to be waited for.
    ~Win32ReadService() override;
    Win32ReadService(const Win32ReadService&) = delete;
    Win32ReadService& operator=(const Win32ReadService&) = delete;

    void AsyncRead(AsyncReadSink& sink, const std::string& target, const std::string& name,
                   int32_t options, const std::string& folder) override;
    void CancelAsyncRead(AsyncReadSink& sink, const std::string& name) override;
    void CancelAll(AsyncReadSink& sink) noexcept override;

    // Requests started and neither finished nor cancelled.
    size_t ActiveCount() const { return jobs_.size(); }

    struct Job;

private:
    class Mailbox;
    void EnsureWindow();
    void OnProgress(uint32_t id);
    void OnComplete(uint32_t id);
    void Stop(Job& job) noexcept;

    ReadServiceOptions options_;
    std::shared_ptr<Mailbox> mailbox_;  // a FormWindow, shared with its running handler
    HWND window_ = nullptr;
    uint32_t nextId_ = 1;
    std::map<uint32_t, std::shared_ptr<Job>> jobs_;
};

}  // namespace tav::win32
