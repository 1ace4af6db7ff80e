#include <gmock/gmock.h>

#include <cstring>

#include "core/pe_image.h"

namespace tav {
namespace {

// A minimal image: "MZ", the header offset, "PE\0\0", the optional
// header's size and magic, the number of data directories, the
// certificate table's size.
std::vector<uint8_t> Image(bool plus, uint32_t tableSize, uint32_t directories = 16,
                           uint32_t pe = 0x80) {
    std::vector<uint8_t> b(0x400, 0);
    const uint16_t optionalSize = plus ? 240 : 224;
    const uint16_t magic = plus ? 0x20B : 0x10B;
    const size_t dirs = 0x80 + 24 + (plus ? 112 : 96);
    std::memcpy(&b[0], "MZ", 2);
    std::memcpy(&b[0x3C], &pe, 4);
    std::memcpy(&b[0x80], "PE\0\0", 4);
    std::memcpy(&b[0x80 + 20], &optionalSize, 2);
    std::memcpy(&b[0x80 + 24], &magic, 2);
    std::memcpy(&b[dirs - 4], &directories, 4);
    std::memcpy(&b[dirs + 4 * 8 + 4], &tableSize, 4);
    return b;
}

TEST(PeImageTest, DeclaredCertificateTableOfBothWidthsAndOfWhatIsNoImage) {
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        size_t size;
        uint32_t declared;
    } rows[] = {
        {"32-bit", Image(false, 0x1234), 0x400, 0x1234},
        {"64-bit", Image(true, 0x1234), 0x400, 0x1234},
        {"past the declared directories", Image(true, 0x99, 4), 0x400, 0},
        {"header beyond the file", Image(false, 0x99, 16, 0xFFFFFFF0), 0x400, 0},
        {"cut inside the directories", Image(true, 0x99), 0x80 + 24 + 100, 0},
    };
    for (const auto& row : rows)
        EXPECT_EQ(DeclaredCertificateTableSize(row.bytes.data(), row.size), row.declared)
            << row.what;
}

}  // namespace
}  // namespace tav
