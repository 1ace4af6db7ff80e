// The download control: fetches one URL into memory through the platform's
// read service, raises its events on the user-interface thread and saves the
// bytes to a file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/byte_store.h"
#include "platform/code_signing.h"
#include "platform/read_service.h"

namespace tav {

class GetNetFile : private AsyncReadSink {
public:
    GetNetFile() = default;
    // Stops a download still running, so that no notification reaches a
    // control that is gone.
    ~GetNetFile() override;
    GetNetFile(const GetNetFile&) = delete;
    GetNetFile& operator=(const GetNetFile&) = delete;

    // True while a download is in progress.
    bool Busy() const { return startTick_ != 0; }
    // A copy of the bytes of the current or last download.
    std::vector<uint8_t> Bytes() const;
    // Milliseconds from start to completion of the last finished download.
    int32_t Duration() const { return duration_; }

    // Starts fetching url in the background; an empty url does nothing.
    // Filename only comes back in DownloadStarted; Mode holds read options.
    void DownloadStart(const std::string& url, const std::string& Filename, int32_t Mode = 0);
    // Asks the service to stop the current request; raises DownloadCanceled.
    void DownloadCancel();
    // Writes the received bytes to Filename (a name without "/" lies in the
    // program's folder); true when the file was written.
    bool SaveAs(const std::string& Filename);
    // Writes the received bytes to a new staging file in folder and keeps
    // it held (see StagedFile); null when nothing was received. Throws
    // tav::Failure when the file cannot be written.
    std::unique_ptr<StagedFile> SaveStaged(const std::string& folder);

    // Events, raised on the user-interface thread.
    std::function<void(int32_t nBytes)> DownloadComplete;
    std::function<void()> DownloadCanceled;
    std::function<void(const std::string& url, const std::string& Filename)> DownloadStarted;
    std::function<void(int32_t ErrNum, const std::string& ErrDesc)> DownloadFailed;
    std::function<void(int32_t nBytesMax, int32_t nBytes)> DownloadProgress;

private:
    void AsyncReadProgress(const AsyncProperty& property) override;
    void AsyncReadComplete(const AsyncProperty& property) override;
    std::string RequestName() const { return std::to_string(startTick_); }

    int32_t startTick_ = 0;
    ByteView buffer_;  // shares the service's memory: taking it copies nothing
    int32_t byteCount_ = 0;
    int32_t duration_ = 0;
};

}  // namespace tav
