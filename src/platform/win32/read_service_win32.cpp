#include "platform/win32/read_service_win32.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/win32/code_signing_win32.h"
#include "platform/win32/form_window.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wininet_transport.h"

namespace tav::win32 {

namespace {
constexpr UINT kMsgProgress = WM_APP + 0x31;
constexpr UINT kMsgComplete = WM_APP + 0x32;
constexpr wchar_t kClass[] = L"TAVUpdate.ReadService";
}  // namespace

// Where the workers' news comes in: a message-only form, so a download
// notification enters the logic as a window's click does (counted as a
// handler, nothing let out).
class Win32ReadService::Mailbox final : public FormWindow {
public:
    explicit Mailbox(Win32ReadService& service) : service_(&service) {}
    // The service is going; news still queued is dropped.
    void Detach() { service_ = nullptr; }

private:
    bool OnMessage(HWND from, UINT msg, WPARAM wParam, LPARAM, LRESULT& result) override {
        if (from || (msg != kMsgProgress && msg != kMsgComplete)) return false;
        result = 0;
        if (!service_) return true;
        const auto id = static_cast<uint32_t>(wParam);
        if (msg == kMsgProgress) {
            service_->OnProgress(id);
        } else {
            service_->OnComplete(id);
        }
        return true;
    }

    Win32ReadService* service_;
};

// One request, shared by the user-interface thread and its worker. The
// worker writes only the published fields (under the mutex) and the flags.
struct Win32ReadService::Job {
    // User-interface thread only.
    uint32_t id = 0;
    AsyncReadSink* sink = nullptr;
    std::string name;
    bool active = true;
    bool delivering = false;
    bool redeliver = false;
    size_t lastBytes = SIZE_MAX;

    // Shared.
    std::atomic<bool> cancelled{false};
    UniqueKernel cancel{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<bool> progressPosted{false};
    std::mutex mutex;
    size_t bytes = 0;
    size_t expected = 0;
    net::FetchResult result;
    std::shared_ptr<StagedFile> file;  // the body's, once finished well
};

namespace {

// Publishes the worker's progress and posts at most one notification at a
// time, no more often than the interval: however slowly the user-interface
// thread takes them, they never pile up.
class PostingObserver : public net::FetchObserver {
public:
    PostingObserver(Win32ReadService::Job& job, HWND window, uint32_t intervalMs)
        : job_(job), window_(window), interval_(intervalMs) {}

    void Progress(size_t bytes, size_t expected) override {
        {
            std::lock_guard lock(job_.mutex);
            job_.bytes = bytes;
            job_.expected = expected;
        }
        const DWORD now = ::GetTickCount();
        if (posted_ && now - lastPost_ < interval_) return;
        Post(now, bytes);
    }

    // The last counts must be seen before the completion.
    void Flush() {
        size_t bytes;
        {
            std::lock_guard lock(job_.mutex);
            bytes = job_.bytes;
        }
        if (bytes != postedBytes_) Post(::GetTickCount(), bytes);
    }

private:
    void Post(DWORD now, size_t bytes) {
        // A notification still queued reads the counts when it is handled,
        // so it carries these as well.
        if (job_.progressPosted.exchange(true)) return;
        ::PostMessageW(window_, kMsgProgress, job_.id, 0);
        posted_ = true;
        lastPost_ = now;
        postedBytes_ = bytes;
    }

    Win32ReadService::Job& job_;
    HWND window_;
    DWORD interval_;
    bool posted_ = false;
    DWORD lastPost_ = 0;
    size_t postedBytes_ = 0;
};

void RunJob(std::shared_ptr<Win32ReadService::Job> job, HWND window, std::string url, bool fresh,
            std::string folder, ReadServiceOptions options) noexcept {
    PostingObserver observer(*job, window, options.progressIntervalMs);
    net::FetchResult result;
    // The file is made here, off the user-interface thread, and goes away
    // (deleting itself) with this function unless the body is whole.
    std::unique_ptr<StagedFile> file;
    try {
        file = Win32CodeSigning().CreateStaged(folder);
    } catch (const Failure& f) {
        result.failure = f;
    } catch (...) {
        result.failure = err::Make(err::kOutOfMemory);
    }
    if (file) {
        WinInetTransport transport(job->cancelled, job->cancel.get(), options.stallTimeoutMs);
        result = net::Fetch(transport, url, fresh, observer, *file, options.limits);
    }
    if (result.cancelled || job->cancelled) return;
    // On the disk before anyone is told the download is whole: the file is
    // about to be trusted and started.
    if (!result.failure) {
        try {
            file->Flush();
        } catch (const Failure& f) {
            result.failure = f;
        }
    }
    if (!result.failure) observer.Flush();
    {
        std::lock_guard lock(job->mutex);
        job->result = std::move(result);
        if (!job->result.failure) job->file = std::move(file);
    }
    ::PostMessageW(window, kMsgComplete, job->id, 0);
}

int32_t Count(size_t n) { return static_cast<int32_t>(std::min<size_t>(n, net::kMaxBody)); }

}  // namespace

Win32ReadService::Win32ReadService(ReadServiceOptions options) : options_(options) {}

Win32ReadService::~Win32ReadService() {
    for (auto& [id, job] : jobs_) Stop(*job);
    jobs_.clear();
    if (mailbox_) {
        mailbox_->Detach();
        mailbox_->Close();
    }
}

void Win32ReadService::EnsureWindow() {
    if (window_) return;
    auto mailbox = FormWindow::Make<Mailbox>(*this);
    FormDesign design;
    design.className = kClass;
    design.style = 0;
    design.messageOnly = true;
    if (!mailbox->Create(design)) throw err::Make(err::kCantCreateObject);
    window_ = mailbox->hwnd();
    mailbox_ = std::move(mailbox);
}

void Win32ReadService::AsyncRead(AsyncReadSink& sink, const std::string& target,
                                 const std::string& name, int32_t options,
                                 const std::string& folder) {
    EnsureWindow();
    for (auto it = jobs_.begin(); it != jobs_.end();) {
        if (it->second->sink == &sink && it->second->name == name) {
            Stop(*it->second);
            it = jobs_.erase(it);
        } else {
            ++it;
        }
    }
    auto job = std::make_shared<Job>();
    if (!job->cancel) throw err::Make(err::kOutOfMemory);
    job->id = nextId_++;
    job->sink = &sink;
    job->name = name;
    const bool fresh = (options & kAsyncReadForceRefresh) != 0;
    // The worker's news is posted, so it cannot arrive before the job is
    // registered below: this thread handles it only after returning.
    std::thread(RunJob, job, window_, target, fresh, folder, options_).detach();
    jobs_[job->id] = std::move(job);
}

void Win32ReadService::CancelAsyncRead(AsyncReadSink& sink, const std::string& name) {
    for (auto it = jobs_.begin(); it != jobs_.end(); ++it) {
        if (it->second->sink == &sink && it->second->name == name) {
            Stop(*it->second);
            jobs_.erase(it);
            return;
        }
    }
    throw err::Make(err::kInvalidCall);
}

void Win32ReadService::CancelAll(AsyncReadSink& sink) noexcept {
    for (auto it = jobs_.begin(); it != jobs_.end();) {
        if (it->second->sink == &sink) {
            Stop(*it->second);
            it = jobs_.erase(it);
        } else {
            ++it;
        }
    }
}

void Win32ReadService::Stop(Job& job) noexcept {
    job.active = false;
    job.cancelled = true;
    ::SetEvent(job.cancel.get());
}

void Win32ReadService::OnProgress(uint32_t id) {
    auto it = jobs_.find(id);
    if (it == jobs_.end()) return;  // cancelled or finished meanwhile
    const std::shared_ptr<Job> job = it->second;
    job->progressPosted = false;  // before the counts are read: see Post
    // The sink processes events inside its handler; a newer notification
    // for the same request met there is handed over after it returns, so
    // the nesting stays one level deep.
    if (job->delivering) {
        job->redeliver = true;
        return;
    }
    job->delivering = true;
    struct Reset {
        Job& j;
        ~Reset() { j.delivering = false; }
    } reset{*job};
    do {
        job->redeliver = false;
        AsyncProperty p;
        size_t bytes = 0;
        {
            std::lock_guard lock(job->mutex);
            bytes = job->bytes;
            p.BytesMax = Count(job->expected);
        }
        if (bytes == job->lastBytes) break;
        job->lastBytes = bytes;
        p.PropertyName = job->name;
        p.BytesRead = Count(bytes);
        job->sink->AsyncReadProgress(p);
    } while (job->redeliver && job->active);
}

void Win32ReadService::OnComplete(uint32_t id) {
    auto it = jobs_.find(id);
    if (it == jobs_.end()) return;
    const std::shared_ptr<Job> job = it->second;
    jobs_.erase(it);
    job->active = false;
    AsyncProperty p;
    p.PropertyName = job->name;
    {
        std::lock_guard lock(job->mutex);
        p.failure = std::move(job->result.failure);
        p.file = std::move(job->file);
        p.digest = job->result.digest;
        p.BytesMax = Count(job->expected);
        p.BytesRead = Count(static_cast<size_t>(job->result.size));
    }
    job->sink->AsyncReadComplete(p);
}

}  // namespace tav::win32
