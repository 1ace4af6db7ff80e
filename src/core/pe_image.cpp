#include "core/pe_image.h"

#include <cstring>

namespace tav {

namespace {

uint32_t ReadLe(const uint8_t* p, size_t bytes) {
    uint32_t v = 0;
    for (size_t i = bytes; i-- > 0;) v = (v << 8) | p[i];
    return v;
}

}  // namespace

uint32_t DeclaredCertificateTableSize(const uint8_t* data, size_t size) {
    if (!data || size < 0x40 || data[0] != 'M' || data[1] != 'Z') return 0;
    const uint32_t pe = ReadLe(data + 0x3C, 4);
    // "PE\0\0", the 20-byte file header, then the optional header's magic.
    if (pe > size || size - pe < 24 + 2) return 0;
    if (std::memcmp(data + pe, "PE\0\0", 4) != 0) return 0;
    const size_t optional = pe + 24;
    const uint32_t optionalSize = ReadLe(data + pe + 20, 2);
    const uint32_t magic = ReadLe(data + optional, 2);
    size_t directories = 0;  // offset of the data directories in the optional header
    if (magic == 0x10B)
        directories = 96;
    else if (magic == 0x20B)
        directories = 112;
    else
        return 0;
    // The certificate table is directory 4: 8 bytes each, size after offset.
    const size_t entry = directories + 4 * 8;
    if (optionalSize < entry + 8 || size - optional < entry + 8) return 0;
    const uint32_t count = ReadLe(data + optional + directories - 4, 4);
    if (count <= 4) return 0;
    return ReadLe(data + optional + entry + 4, 4);
}

}  // namespace tav
