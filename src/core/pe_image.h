// What a PE image's own headers say, read from its first bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tav {

// The size of the certificate table a PE image declares in its headers, or
// 0 when it declares none or the bytes are no PE image.
uint32_t DeclaredCertificateTableSize(const uint8_t* data, size_t size);

}  // namespace tav
