#include <gmock/gmock.h>

#include "core/sha256.h"

namespace tav {
namespace {

std::string Hex(const std::string& text) {
    return Sha256Hex(std::vector<uint8_t>(text.begin(), text.end())).substr(0, 16);
}

TEST(Sha256Test, KnownDigestsWholeAndInPiecesOfEveryLength) {
    // 56 bytes: the length spills into a second block.
    const std::string spill = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    EXPECT_EQ(Hex(""), "e3b0c44298fc1c14") << "the empty input";
    EXPECT_EQ(Hex(spill), "248d6a61d20638b8") << "56 bytes";
    EXPECT_EQ(Hex(std::string(1000, 'a')), "41edece42d63e8d9") << "1000 bytes";
    std::vector<uint8_t> bytes(100000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 131 / 7);
    const std::span<const uint8_t> all(bytes);
    Sha256Hasher pieces;
    size_t n = 1;
    for (size_t at = 0; at < all.size(); at += n) {
        n = std::min(n * 3 % 1000 + 1, all.size() - at);
        pieces.Update(all.subspan(at, n));
    }
    EXPECT_EQ(pieces.Finish(), Sha256(all)) << "in pieces";
}

}  // namespace
}  // namespace tav
