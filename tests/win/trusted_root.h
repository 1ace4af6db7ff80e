// Trusts a test certificate authority in the machine's root store while the
// object lives, as an organisation deploying signed updates trusts its own.
#pragma once

#include <string>

#include "platform/win32/win.h"

#include <wincrypt.h>

namespace tav::wintest {

class TrustedTestRoot {
public:
    // derPath: the authority's certificate, DER encoded.
    explicit TrustedTestRoot(const std::string& derPath);
    ~TrustedTestRoot();
    TrustedTestRoot(const TrustedTestRoot&) = delete;
    TrustedTestRoot& operator=(const TrustedTestRoot&) = delete;
    bool ok() const { return cert_ != nullptr; }

private:
    HCERTSTORE store_ = nullptr;
    PCCERT_CONTEXT cert_ = nullptr;
};

}  // namespace tav::wintest
