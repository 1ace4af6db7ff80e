#include "platform/win32/code_signing_win32.h"

#include <array>

#include "install/installer_trust.h"
#include "platform/failure.h"
#include "platform/win32/text.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/win.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

namespace tav::win32 {

namespace {

using UniqueFile = UniqueHandle<FileHandleTraits>;

// wintrust and crypt32 are not known system DLLs: imported statically they
// would be looked for beside the program before our code runs, so they are
// loaded from the system folder on first use instead.
struct TrustApi {
    decltype(&::WinVerifyTrust) verify = nullptr;
    decltype(&::WTHelperProvDataFromStateData) provData = nullptr;
    decltype(&::WTHelperGetProvSignerFromChain) signer = nullptr;
    decltype(&::CertNameToStrW) nameToStr = nullptr;
    decltype(&::CryptEncodeObject) encode = nullptr;

    static const TrustApi& Get() {
        static const TrustApi api = Load();
        return api;
    }

private:
    template <class Fn>
    static void Bind(HMODULE module, const char* name, Fn& fn) {
        if (module) fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
    }
    static TrustApi Load() {
        TrustApi api;
        const HMODULE wintrust = ::LoadLibraryExW(L"wintrust.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        const HMODULE crypt32 = ::LoadLibraryExW(L"crypt32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        Bind(wintrust, "WinVerifyTrust", api.verify);
        Bind(wintrust, "WTHelperProvDataFromStateData", api.provData);
        Bind(wintrust, "WTHelperGetProvSignerFromChain", api.signer);
        Bind(crypt32, "CertNameToStrW", api.nameToStr);
        Bind(crypt32, "CryptEncodeObject", api.encode);
        return api;
    }
};

void ReadSigner(const TrustApi& api, HANDLE state, SignatureInfo& info) {
    if (!state || !api.provData || !api.signer) return;
    CRYPT_PROVIDER_DATA* data = api.provData(state);
    CRYPT_PROVIDER_SGNR* signer = data ? api.signer(data, 0, FALSE, 0) : nullptr;
    if (!signer || signer->csCertChain == 0 || !signer->pasCertChain || !signer->pasCertChain[0].pCert) return;
    const CERT_INFO* cert = signer->pasCertChain[0].pCert->pCertInfo;
    if (!cert) return;
    // The key info as the certificate carries it, so that its digest is
    // the one `openssl pkey -pubin -outform DER | sha256sum` gives.
    DWORD size = 0;
    CERT_PUBLIC_KEY_INFO key = cert->SubjectPublicKeyInfo;
    if (api.encode && api.encode(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, &key, nullptr, &size) && size > 0) {
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

bool IsNoSignature(LONG status) {
    return status == TRUST_E_NOSIGNATURE || status == static_cast<LONG>(TRUST_E_SUBJECT_FORM_UNKNOWN) ||
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

class Win32HeldFile : public HeldFile {
public:
    Win32HeldFile(std::wstring path, UniqueFile file) : path_(std::move(path)), file_(std::move(file)) {}

    SignatureInfo Signature() override {
        const TrustApi& api = TrustApi::Get();
        if (!api.verify) throw err::Make(err::kFileNotFound);
        const uint32_t declared = DeclaredTable(file_.get());

        WINTRUST_FILE_INFO fileInfo{};
        fileInfo.cbStruct = sizeof fileInfo;
        fileInfo.pcwszFilePath = path_.c_str();
        fileInfo.hFile = file_.get();  // verify the held bytes, not whatever the name points at later
        WINTRUST_DATA data{};
        data.cbStruct = sizeof data;
        data.dwUIChoice = WTD_UI_NONE;
        data.fdwRevocationChecks = WTD_REVOKE_NONE;
        data.dwUnionChoice = WTD_CHOICE_FILE;
        data.pFile = &fileInfo;
        data.dwStateAction = WTD_STATEACTION_VERIFY;
        // No network fetches from inside the install step.
        data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
        GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
        const LONG status = api.verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);

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

private:
    std::wstring path_;
    UniqueFile file_;
};

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

std::unique_ptr<HeldFile> Win32CodeSigning::Hold(const std::string& path) {
    // Read sharing only: until the hold ends nobody can open the file for
    // writing, rename it or delete it, and the start itself only reads.
    return OpenHeld(path, FILE_SHARE_READ);
}

}  // namespace tav::win32
