// The chain parameters with their URL retrieval bound (before the first
// inclusion of wincrypt.h, which <windows.h> makes).
#define CERT_CHAIN_PARA_HAS_EXTRA_FIELDS
#include "platform/win32/code_signing_win32.h"
#include "platform/win32/system_function.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>

#include "core/pe_image.h"
#include "core/failure.h"
#include "platform/win32/runtime_win32.h"
#include "platform/win32/share_retry.h"
#include "platform/win32/text.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/win.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

namespace tav::win32 {

namespace {

// wintrust and crypt32 are not known system DLLs: imported statically they
// would be looked for beside the program before our code runs, so they are
// loaded from the system folder on first use instead.
struct TrustApi {
    decltype(&::WinVerifyTrust) verify = nullptr;
    decltype(&::WTHelperProvDataFromStateData) provData = nullptr;
    decltype(&::WTHelperGetProvSignerFromChain) signer = nullptr;
    decltype(&::CertNameToStrW) nameToStr = nullptr;
    decltype(&::CryptEncodeObject) encode = nullptr;
    decltype(&::CertGetCertificateChain) chain = nullptr;
    decltype(&::CertFreeCertificateChain) freeChain = nullptr;

    static const TrustApi& Get() {
        static const TrustApi api = Load();
        return api;
    }

private:
    static TrustApi Load() {
        TrustApi api;
        const HMODULE wintrust =
            ::LoadLibraryExW(L"wintrust.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        const HMODULE crypt32 =
            ::LoadLibraryExW(L"crypt32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        api.verify = TAV_SYSTEM_FUNCTION(wintrust, WinVerifyTrust);
        api.provData = TAV_SYSTEM_FUNCTION(wintrust, WTHelperProvDataFromStateData);
        api.signer = TAV_SYSTEM_FUNCTION(wintrust, WTHelperGetProvSignerFromChain);
        api.nameToStr = TAV_SYSTEM_FUNCTION(crypt32, CertNameToStrW);
        api.encode = TAV_SYSTEM_FUNCTION(crypt32, CryptEncodeObject);
        api.chain = TAV_SYSTEM_FUNCTION(crypt32, CertGetCertificateChain);
        api.freeChain = TAV_SYSTEM_FUNCTION(crypt32, CertFreeCertificateChain);
        return api;
    }
};

// The first signer's certificate of a verification, or null.
PCCERT_CONTEXT SignerCertificate(const TrustApi& api, HANDLE state) {
    CRYPT_PROVIDER_DATA* data = state && api.provData ? api.provData(state) : nullptr;
    CRYPT_PROVIDER_SGNR* signer = data && api.signer ? api.signer(data, 0, FALSE, 0) : nullptr;
    if (!signer || signer->csCertChain == 0 || !signer->pasCertChain) return nullptr;
    return signer->pasCertChain[0].pCert;
}

void ReadSigner(const TrustApi& api, HANDLE state, SignatureInfo& info) {
    PCCERT_CONTEXT signer = SignerCertificate(api, state);
    const CERT_INFO* cert = signer ? signer->pCertInfo : nullptr;
    if (!cert) return;
    // The key info as the certificate carries it, so that its digest is
    // the one `openssl pkey -pubin -outform DER | sha256sum` gives.
    DWORD size = 0;
    CERT_PUBLIC_KEY_INFO key = cert->SubjectPublicKeyInfo;
    if (api.encode && api.encode(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, &key, nullptr, &size) &&
        size > 0) {
        std::vector<uint8_t> der(size);
        if (api.encode(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, &key, der.data(), &size)) {
            der.resize(size);
            info.signerKeyInfo = std::move(der);
        }
    }
    if (api.nameToStr) {
        std::array<wchar_t, 512> name{};
        CERT_NAME_BLOB subject = cert->Subject;
        const DWORD n = api.nameToStr(X509_ASN_ENCODING, &subject, CERT_X500_NAME_STR, name.data(),
                                      static_cast<DWORD>(name.size()));
        if (n > 1) info.signerName = Narrow(std::wstring(name.data(), n - 1));
    }
}

// What WinVerifyTrust answers for a revoked chain and for one whose
// revocation could not be learnt.
constexpr LONG kCertRevoked = CERT_E_REVOKED;
constexpr LONG kCertRevocationFailure = CERT_E_REVOCATION_FAILURE;

// The signer's chain built once more with revocation checked, every
// certificate but the root: CERT_E_REVOKED, CERT_E_REVOCATION_FAILURE, or
// ERROR_SUCCESS when each is known not to be revoked. WinVerifyTrust was
// asked for the same check and on Windows has refused such a signature
// already; Wine's (8.0, measured) ignores the revocation flags and accepts
// a revoked signer, so the verdict does not rest on it alone. Here the
// bound is explicit: all retrievals of the chain together within 15 s.
LONG SignerRevocation(const TrustApi& api, HANDLE state) {
    if (!api.chain || !api.freeChain) return kCertRevocationFailure;
    PCCERT_CONTEXT cert = SignerCertificate(api, state);
    if (!cert) return kCertRevocationFailure;
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    para.dwUrlRetrievalTimeout = 15000;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    // The certificate's own store holds those the signature carries.
    if (!api.chain(nullptr, cert, nullptr, cert->hCertStore, &para,
                   CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT |
                       CERT_CHAIN_REVOCATION_ACCUMULATIVE_TIMEOUT,
                   nullptr, &chain) ||
        !chain)
        return kCertRevocationFailure;
    const DWORD errors = chain->TrustStatus.dwErrorStatus;
    api.freeChain(chain);
    if (errors & CERT_TRUST_IS_REVOKED) return kCertRevoked;
    if (errors & (CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION))
        return kCertRevocationFailure;
    return ERROR_SUCCESS;
}

bool IsNoSignature(LONG status) {
    return status == TRUST_E_NOSIGNATURE ||
           status == static_cast<LONG>(TRUST_E_SUBJECT_FORM_UNKNOWN) ||
           status == static_cast<LONG>(TRUST_E_PROVIDER_UNKNOWN);
}

// What the image's own headers say about a signature, read through the
// held handle and leaving its position at the start again.
uint32_t DeclaredTable(HANDLE file) {
    std::array<uint8_t, 4096> head{};
    OVERLAPPED at{};
    DWORD got = 0;
    const BOOL ok = ::ReadFile(file, head.data(), static_cast<DWORD>(head.size()), &got, &at);
    ::SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    return ok ? DeclaredCertificateTableSize(head.data(), got) : 0;
}

SignatureInfo VerifyHeld(const std::wstring& path, HANDLE file) {
    const TrustApi& api = TrustApi::Get();
    if (!api.verify) throw err::Make(err::kFileNotFound);
    const uint32_t declared = DeclaredTable(file);

    WINTRUST_FILE_INFO fileInfo{};
    fileInfo.cbStruct = sizeof fileInfo;
    fileInfo.pcwszFilePath = path.c_str();
    fileInfo.hFile = file;  // verify the held bytes, not whatever the name points at later
    WINTRUST_DATA data{};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    // The installer runs as administrator: every certificate of the chain
    // but the root (trusted as it is, it names no list above itself) must
    // be known not to be revoked. A status that cannot be learnt fails the
    // verification (CERT_E_REVOCATION_FAILURE and kin), which refuses the
    // installer. The network may be used, to fetch revocation lists, OCSP
    // answers and intermediate certificates the signature does not carry.
    // WINTRUST_DATA takes no time limit: Windows bounds each URL retrieval
    // of the chain engine (15 s by default) and all retrievals of one chain
    // together (20 s by default), both set by the "Certificate Path
    // Validation Settings" group policy (ChainUrlRetrievalTimeoutMilliseconds,
    // ChainRevAccumulativeUrlRetrievalTimeoutMilliseconds); lists and answers
    // fetched once are cached until they expire.
    data.fdwRevocationChecks = WTD_REVOKE_WHOLECHAIN;
    data.dwProvFlags = WTD_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    LONG status = api.verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    if (status == ERROR_SUCCESS) status = SignerRevocation(api, data.hWVTStateData);

    SignatureInfo info;
    info.status = static_cast<uint32_t>(status);
    ReadSigner(api, data.hWVTStateData, info);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    api.verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);

    if (status == ERROR_SUCCESS)
        info.state = SignatureState::Valid;
    else if (IsNoSignature(status) && declared == 0)
        info.state = SignatureState::Unsigned;
    else
        // Among them a certificate table the verifier could not even
        // parse: a signature was there, so the file was altered.
        info.state = SignatureState::Invalid;
    return info;
}

class Win32HeldFile : public HeldFile {
public:
    Win32HeldFile(std::wstring path, UniqueFile file)
        : path_(std::move(path)), file_(std::move(file)) {}
    SignatureInfo Signature() override { return VerifyHeld(path_, file_.get()); }

private:
    std::wstring path_;
    UniqueFile file_;
};

[[noreturn]] void ThrowLastFileError() { throw err::Make(ClassicFileError(::GetLastError())); }

bool SetDeleteDisposition(HANDLE file, bool doomed) {
    FILE_DISPOSITION_INFO dispose{};
    dispose.DeleteFile = doomed ? TRUE : FALSE;
    return ::SetFileInformationByHandle(file, FileDispositionInfo, &dispose, sizeof dispose) != 0;
}

bool SameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION x{}, y{};
    return ::GetFileInformationByHandle(a, &x) && ::GetFileInformationByHandle(b, &y) &&
           x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
           x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

OVERLAPPED At(uint64_t offset) {
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(offset);
    where.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return where;
}

class Win32StagedFile : public StagedFile {
public:
    Win32StagedFile(std::wstring path, UniqueFile file)
        : path_(std::move(path)), file_(std::move(file)) {}
    ~Win32StagedFile() override {
        // Already doomed since its creation; said again in case a failed
        // rename could not doom it anew.
        if (!named_) SetDeleteDisposition(file_.get(), true);
    }
    SignatureInfo Signature() override { return VerifyHeld(path_, file_.get()); }
    std::string Path() const override { return Narrow(path_); }

    void Truncate() override {
        FILE_END_OF_FILE_INFO end{};
        if (!::SetFileInformationByHandle(file_.get(), FileEndOfFileInfo, &end, sizeof end))
            ThrowLastFileError();
        size_ = 0;
    }

    void Append(std::span<const uint8_t> bytes) override {
        // At an explicit offset: reads through the hold move the handle's
        // own position.
        while (!bytes.empty()) {
            const DWORD chunk =
                bytes.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(bytes.size());
            OVERLAPPED where = At(size_);
            DWORD written = 0;
            if (!::WriteFile(file_.get(), bytes.data(), chunk, &written, &where))
                ThrowLastFileError();
            if (written == 0) throw err::Make(err::kDeviceIo);
            size_ += written;
            bytes = bytes.subspan(written);
        }
    }

    size_t Read(uint64_t offset, std::span<uint8_t> dst) override {
        const DWORD want = dst.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(dst.size());
        OVERLAPPED where = At(offset);
        DWORD got = 0;
        if (!::ReadFile(file_.get(), dst.data(), want, &got, &where)) {
            if (::GetLastError() == ERROR_HANDLE_EOF) return 0;
            ThrowLastFileError();
        }
        return got;
    }

    void Flush() override {
        if (!::FlushFileBuffers(file_.get())) ThrowLastFileError();
    }

    void Rename(const std::string& name, bool replaceExisting) override {
        // By handle: the file renamed is the file held, whatever the folder
        // holds by then under the staging name.
        const std::wstring target = path_.substr(0, path_.find_last_of(L'\\') + 1) + Widen(name);
        std::vector<uint8_t> buffer(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t));
        FILE_RENAME_INFO rename{};
        rename.ReplaceIfExists = replaceExisting ? TRUE : FALSE;
        rename.RootDirectory = nullptr;
        rename.FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
        std::memcpy(buffer.data(), &rename, offsetof(FILE_RENAME_INFO, FileName));
        std::memcpy(buffer.data() + offsetof(FILE_RENAME_INFO, FileName), target.data(),
                    target.size() * sizeof(wchar_t));
        // A file whose deletion is pending cannot be given a name others
        // may open; the doom is lifted for the rename and put back should
        // the rename fail.
        if (!SetDeleteDisposition(file_.get(), false)) ThrowLastFileError();
        if (!RetryWhileShared([&] {
                return ::SetFileInformationByHandle(file_.get(), FileRenameInfo, buffer.data(),
                                                    static_cast<DWORD>(buffer.size())) != 0;
            })) {
            const DWORD error = ::GetLastError();
            SetDeleteDisposition(file_.get(), true);
            throw err::Make(ClassicFileError(error));
        }
        path_ = target;
        named_ = true;
    }

    void PrepareStart() override {
        // The loader refuses a file that is open for writing or without
        // delete sharing elsewhere, and a handle never sheds a right: the
        // hold moves to a read-only handle of the same file through a
        // bridge that shares everything. It opens only while nobody else
        // may write or delete; whatever happened in that instant, the file
        // must still be the one at the name (what it holds, the caller
        // confirms through the new hold).
        UniqueFile bridge;
        const bool bridged = RetryWhileShared([&] {
            bridge.reset(::ReOpenFile(file_.get(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0));
            return static_cast<bool>(bridge);
        });
        if (!bridged) ThrowLastFileError();
        file_.reset();
        // Closing the writer is when a scanner looks at a new file: its
        // moment with the file is waited out.
        UniqueFile hold;
        const bool held = RetryWhileShared([&] {
            hold.reset(::ReOpenFile(bridge.get(), GENERIC_READ, FILE_SHARE_READ, 0));
            return static_cast<bool>(hold);
        });
        if (!held) {
            const DWORD error = ::GetLastError();
            file_ = std::move(bridge);  // still the same file, for whoever ends the hold
            throw err::Make(ClassicFileError(error));
        }
        bridge.reset();
        UniqueFile atName(::CreateFileW(path_.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        file_ = std::move(hold);
        if (!atName || !SameFile(atName.get(), file_.get())) throw err::Make(err::kPathFileAccess);
    }

private:
    std::wstring path_;
    UniqueFile file_;
    uint64_t size_ = 0;  // bytes written, where the next append goes
    bool named_ = false;
};

std::wstring StagingFolder(const std::string& folder) {
    if (!folder.empty()) return Widen(folder);
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, temp);
    if (n == 0 || n > MAX_PATH) ThrowLastFileError();
    std::wstring path(temp, n);
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

// A name no file of the folder has yet: CREATE_NEW fails rather than open
// something already there, be it a file, a link or a device.
UniqueFile CreateStaging(const std::wstring& folder, std::wstring& path) {
    static LONG counter = 0;
    for (int tries = 0;; ++tries) {
        path = folder + L"\\TAVUpdate-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
               std::to_wstring(::InterlockedIncrement(&counter)) + L".staging";
        // Readers are welcome; writers, renamers and deleters are not.
        UniqueFile f(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                   FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                   nullptr));
        if (f) return f;
        if (::GetLastError() != ERROR_FILE_EXISTS || tries == 8) ThrowLastFileError();
    }
}

std::unique_ptr<HeldFile> OpenHeld(const std::string& path, DWORD share) {
    std::wstring wide = Widen(path);
    UniqueFile file(::CreateFileW(wide.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) throw err::Make(err::kFileNotFound);
        if (error == ERROR_PATH_NOT_FOUND) throw err::Make(err::kPathNotFound);
        throw err::Make(err::kPathFileAccess);
    }
    return std::make_unique<Win32HeldFile>(std::move(wide), std::move(file));
}

}  // namespace

std::unique_ptr<StagedFile> Win32CodeSigning::CreateStaged(const std::string& folder) {
    std::wstring path;
    UniqueFile file = CreateStaging(StagingFolder(folder), path);
    // Doomed from its first moment: when the program ends in any way
    // before the rename, the system closes the handle and deletes the
    // file, so that no half download is left behind. (The documented
    // alternative, FILE_FLAG_DELETE_ON_CLOSE, cannot be lifted again on
    // the systems this program supports.)
    if (!SetDeleteDisposition(file.get(), true)) {
        const DWORD error = ::GetLastError();
        file.reset();
        ::DeleteFileW(path.c_str());
        throw err::Make(ClassicFileError(error));
    }
    return std::make_unique<Win32StagedFile>(std::move(path), std::move(file));
}

std::unique_ptr<HeldFile> Win32CodeSigning::Hold(const std::string& path) {
    // Read sharing only: until the hold ends nobody can open the file for
    // writing, rename it or delete it, and the start itself only reads.
    return OpenHeld(path, FILE_SHARE_READ);
}

}  // namespace tav::win32
