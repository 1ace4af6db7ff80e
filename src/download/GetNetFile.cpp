#include "download/GetNetFile.h"

#include <limits>

#include "platform/platform.h"
#include "error_log/trap.h"

namespace tav {

namespace {
constexpr size_t kMaxCount = static_cast<size_t>(std::numeric_limits<int32_t>::max());

ReadService& Reads() {
    if (!platform().reads) throw err::Make(err::kObjectNotSet);
    return *platform().reads;
}
}  // namespace

GetNetFile::~GetNetFile() {
    if (platform().reads) platform().reads->CancelAll(*this);
}

std::vector<uint8_t> GetNetFile::Bytes() const {
    return buffer_.ToVector();
}

void GetNetFile::DownloadStart(const std::string& url, const std::string& Filename, int32_t Mode) {
    if (url.empty()) return;
    if (Busy()) DownloadCancel();
    duration_ = 0;
    startTick_ = static_cast<int32_t>(platform().clock->TickCount());
    // A request the service refuses is not reported: the control simply
    // stays busy, as it always has.
    Trap::Silent()([&] { Reads().AsyncRead(*this, url, RequestName(), Mode); });
    if (DownloadStarted) DownloadStarted(url, Filename);
}

void GetNetFile::DownloadCancel() {
    Trap::Silent()([&] { Reads().CancelAsyncRead(*this, RequestName()); });
    if (DownloadCanceled) DownloadCanceled();
}

void GetNetFile::AsyncReadProgress(const AsyncProperty& property) {
    Trap::Silent()([&] {
        if (property.AsyncType != kAsyncTypeByteArray) return;
        const ByteView& data = property.Value();
        if (data.size > kMaxCount) throw err::Make(err::kOverflow);
        buffer_ = data;
        byteCount_ = static_cast<int32_t>(data.size);
        if (DownloadProgress) DownloadProgress(property.BytesMax, byteCount_);
        platform().events->DoEvents();
    });
}

void GetNetFile::AsyncReadComplete(const AsyncProperty& property) {
    // Unsigned arithmetic keeps the elapsed time right across the tick
    // count's wrap after 49.7 days.
    const uint32_t elapsed = platform().clock->TickCount() - static_cast<uint32_t>(startTick_);
    duration_ =
        elapsed > kMaxCount ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(elapsed);
    startTick_ = 0;
    if (property.AsyncType != kAsyncTypeByteArray) return;

    std::optional<Failure> failure = property.failure;
    if (!failure && property.data.size > kMaxCount) failure = err::Make(err::kOverflow);
    if (failure) {
        // The bytes of the download before stay where they are; only the
        // count says that there is nothing to save.
        byteCount_ = 0;
        if (DownloadFailed) DownloadFailed(failure->number(), failure->description());
        return;
    }
    buffer_ = property.data;
    byteCount_ = static_cast<int32_t>(buffer_.size);
    if (DownloadComplete) DownloadComplete(byteCount_);
}

bool GetNetFile::SaveAs(const std::string& Filename) {
    if (byteCount_ == 0) return false;
    return Trap::Silent()([&] {
        const std::string path = Filename.find('/') == std::string::npos
                                     ? platform().app->Identity().path + "\\" + Filename
                                     : Filename;
        platform().files->WriteBinaryAtomic(path, buffer_.Pieces());
    });
}

std::unique_ptr<StagedFile> GetNetFile::SaveStaged(const std::string& folder) {
    if (byteCount_ == 0) return nullptr;
    if (!platform().signing) throw err::Make(err::kObjectNotSet);
    return platform().signing->Stage(folder, buffer_.Pieces());
}

}  // namespace tav
