// The PE header reading that tells a stripped signature from none, on any
// bytes: never reads outside them.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "install/installer_trust.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy, so that the address sanitizer sees any overread.
    const std::vector<uint8_t> bytes(data, data + size);
    (void)tav::DeclaredCertificateTableSize(bytes.data(), bytes.size());
    return 0;
}
