// The download control: fetches one URL into a file of its own, held from
// its creation, through the platform's read service; raises its events on
// the user-interface thread, saves a copy of the body to a file and hands
// the held file over.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/sha256.h"
#include "platform/code_signing.h"
#include "platform/read_service.h"
#include "platform/runtime.h"

namespace tav {

// The run-time services a download works with.
struct DownloadServices {
    ReadService* reads;  // null: no download can start
    EventLoop& events;
    Clock& clock;
    App& app;  // the program's folder, where SaveAs puts a bare name
    Files& files;
};

class GetNetFile : private AsyncReadSink {
public:
    explicit GetNetFile(const DownloadServices& services) : services_(services) {}
    // Stops a download still running, so that no notification reaches a
    // control that is gone.
    ~GetNetFile() override;
    GetNetFile(const GetNetFile&) = delete;
    GetNetFile& operator=(const GetNetFile&) = delete;

    // True while a download is in progress.
    bool Busy() const { return startTick_ != 0; }
    // A copy of the bytes of the last finished download, read back from its
    // file; empty once the file was handed over.
    std::vector<uint8_t> Bytes() const;
    // The SHA-256 of the last finished download, kept as it arrived.
    const Sha256Digest& Digest() const { return digest_; }
    // Milliseconds from start to completion of the last finished download.
    int32_t Duration() const { return duration_; }

    // The folder a download's file is made in as the bytes arrive; empty:
    // the system's temporary folder.
    std::string DownloadFolder;

    // Starts fetching url in the background; an empty url does nothing.
    // Filename only comes back in DownloadStarted; Mode holds read options.
    void DownloadStart(const std::string& url, const std::string& Filename, int32_t Mode = 0);
    // Asks the service to stop the current request; raises DownloadCanceled.
    void DownloadCancel();
    // Copies the finished download to Filename (a name without "/" lies in
    // the program's folder); true when the file was written.
    bool SaveAs(const std::string& Filename);
    // Hands over the finished download's held file (see StagedFile); null
    // when there is none. Nothing is left to save afterwards.
    std::shared_ptr<StagedFile> TakeFile();

    // Events, raised on the user-interface thread.
    std::function<void(int32_t nBytes)> DownloadComplete;
    std::function<void()> DownloadCanceled;
    std::function<void(const std::string& url, const std::string& Filename)> DownloadStarted;
    std::function<void(int32_t ErrNum, const std::string& ErrDesc)> DownloadFailed;
    std::function<void(int32_t nBytesMax, int32_t nBytes)> DownloadProgress;

private:
    void AsyncReadProgress(const AsyncProperty& property) override;
    void AsyncReadComplete(AsyncProperty& property) override;
    std::string RequestName() const { return std::to_string(startTick_); }

    DownloadServices services_;
    int32_t startTick_ = 0;
    std::shared_ptr<StagedFile> file_;  // the last finished download's
    Sha256Digest digest_{};
    int32_t byteCount_ = 0;
    int32_t duration_ = 0;
};

}  // namespace tav
