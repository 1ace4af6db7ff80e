// SHA-256, for comparing a signer's public key with the keys a release
// build pins.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tav {

std::array<uint8_t, 32> Sha256(const std::vector<uint8_t>& data);

// The digest as 64 lower-case hex digits.
std::string Sha256Hex(const std::vector<uint8_t>& data);

}  // namespace tav
