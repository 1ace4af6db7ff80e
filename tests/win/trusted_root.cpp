#include "trusted_root.h"

#include "win_test_support.h"

namespace tav::wintest {

TrustedTestRoot::TrustedTestRoot(const std::string& derPath) {
    const std::string der = ReadFileBytes(derPath);
    store_ = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (store_)
        ::CertAddEncodedCertificateToStore(store_, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                           static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, &cert_);
}

TrustedTestRoot::~TrustedTestRoot() {
    if (cert_) ::CertDeleteCertificateFromStore(cert_);  // frees the context too
    if (store_) ::CertCloseStore(store_, 0);
}

}  // namespace tav::wintest
