#include "download/GetNetFile.h"

#include <limits>

#include "error_log/trap.h"

namespace tav {

namespace {
constexpr size_t kMaxCount = static_cast<size_t>(std::numeric_limits<int32_t>::max());

ReadService& Reads(const DownloadServices& services) {
    if (!services.reads) throw err::Make(err::kObjectNotSet);
    return *services.reads;
}
}  // namespace

GetNetFile::~GetNetFile() {
    if (services_.reads) services_.reads->CancelAll(*this);
}

std::vector<uint8_t> GetNetFile::Bytes() const {
    std::vector<uint8_t> bytes;
    if (!file_ || byteCount_ == 0) return bytes;
    bytes.resize(static_cast<size_t>(byteCount_));
    size_t at = 0;
    while (at < bytes.size()) {
        const size_t got = file_->Read(at, std::span<uint8_t>(bytes).subspan(at));
        if (got == 0) break;
        at += got;
    }
    bytes.resize(at);
    return bytes;
}

void GetNetFile::DownloadStart(const std::string& url, const std::string& Filename, int32_t Mode) {
    if (url.empty()) return;
    if (Busy()) DownloadCancel();
    duration_ = 0;
    startTick_ = static_cast<int32_t>(services_.clock.TickCount());
    // A request the service refuses is not reported: the control simply
    // stays busy, as it always has.
    Trap::Silent()(
        [&] { Reads(services_).AsyncRead(*this, url, RequestName(), Mode, DownloadFolder); });
    if (DownloadStarted) DownloadStarted(url, Filename);
}

void GetNetFile::DownloadCancel() {
    Trap::Silent()([&] { Reads(services_).CancelAsyncRead(*this, RequestName()); });
    if (DownloadCanceled) DownloadCanceled();
}

void GetNetFile::AsyncReadProgress(const AsyncProperty& property) {
    Trap::Silent()([&] {
        if (property.AsyncType != kAsyncTypeFile) return;
        if (property.failure) throw *property.failure;
        if (property.BytesRead < 0) throw err::Make(err::kOverflow);
        if (DownloadProgress) DownloadProgress(property.BytesMax, property.BytesRead);
        services_.events.DoEvents();
    });
}

void GetNetFile::AsyncReadComplete(AsyncProperty& property) {
    // Unsigned arithmetic keeps the elapsed time right across the tick
    // count's wrap after 49.7 days.
    const uint32_t elapsed = services_.clock.TickCount() - static_cast<uint32_t>(startTick_);
    duration_ =
        elapsed > kMaxCount ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(elapsed);
    startTick_ = 0;
    if (property.AsyncType != kAsyncTypeFile) return;

    // A file of an earlier download is let go (and deleted) either way:
    // what is saved or handed over from now on is this download's.
    file_.reset();
    byteCount_ = 0;
    digest_ = {};
    std::optional<Failure> failure = property.failure;
    if (!failure && (!property.file || property.BytesRead < 0))
        failure = err::Make(err::kInternalError);
    if (failure) {
        if (DownloadFailed) DownloadFailed(failure->number(), failure->description());
        return;
    }
    file_ = std::move(property.file);
    digest_ = property.digest;
    byteCount_ = property.BytesRead;
    if (DownloadComplete) DownloadComplete(byteCount_);
}

bool GetNetFile::SaveAs(const std::string& Filename) {
    if (!file_ || byteCount_ == 0) return false;
    return Trap::Silent()([&] {
        const std::string path = Filename.find('/') == std::string::npos
                                     ? services_.app.Identity().path + "\\" + Filename
                                     : Filename;
        // From the held file, a piece at a time: the copy costs no more
        // memory than one piece, however large the download.
        uint64_t at = 0;
        services_.files.WriteBinaryAtomic(path, [&](std::span<uint8_t> room) {
            const size_t got = file_->Read(at, room);
            at += got;
            return got;
        });
    });
}

std::shared_ptr<StagedFile> GetNetFile::TakeFile() {
    // An empty body is no installer: its file goes, as nothing was saved.
    if (byteCount_ == 0) file_.reset();
    byteCount_ = 0;
    return std::move(file_);
}

}  // namespace tav
