// SHA-256: the digest of a download kept as it arrives, and of a signer's
// public key compared with the keys a release build pins.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tav {

using Sha256Digest = std::array<uint8_t, 32>;

// A digest fed piece by piece; Finish leaves the hasher as new.
class Sha256Hasher {
public:
    Sha256Hasher() { Reset(); }
    void Reset();
    void Update(std::span<const uint8_t> bytes);
    Sha256Digest Finish();

private:
    std::array<uint32_t, 8> state_{};
    std::array<uint8_t, 64> pending_{};
    size_t pendingSize_ = 0;
    uint64_t total_ = 0;
};

Sha256Digest Sha256(std::span<const uint8_t> data);

// The digest as 64 lower-case hex digits.
std::string Sha256Hex(std::span<const uint8_t> data);
std::string HexText(const Sha256Digest& digest);
// 64 hex digits of either case as a digest; nothing for any other text.
std::optional<Sha256Digest> ParseSha256Hex(std::string_view hex);

}  // namespace tav
