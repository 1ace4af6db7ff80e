#include "core/sha256.h"

#include <algorithm>
#include <cstring>

namespace tav {

namespace {

constexpr std::array<uint32_t, 64> kRound{
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr uint32_t Rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

void Block(std::array<uint32_t, 8>& h, const uint8_t* p) {
    std::array<uint32_t, 64> w{};
    for (int i = 0; i < 16; ++i)
        w[i] = uint32_t(p[4 * i]) << 24 | uint32_t(p[4 * i + 1]) << 16 |
               uint32_t(p[4 * i + 2]) << 8 | p[4 * i + 3];
    for (int i = 16; i < 64; ++i) {
        const uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::array<uint32_t, 8> v = h;
    for (int i = 0; i < 64; ++i) {
        const uint32_t s1 = Rotr(v[4], 6) ^ Rotr(v[4], 11) ^ Rotr(v[4], 25);
        const uint32_t ch = (v[4] & v[5]) ^ (~v[4] & v[6]);
        const uint32_t t1 = v[7] + s1 + ch + kRound[i] + w[i];
        const uint32_t s0 = Rotr(v[0], 2) ^ Rotr(v[0], 13) ^ Rotr(v[0], 22);
        const uint32_t maj = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
        v = {t1 + s0 + maj, v[0], v[1], v[2], v[3] + t1, v[4], v[5], v[6]};
    }
    for (int i = 0; i < 8; ++i) h[i] += v[i];
}

}  // namespace

void Sha256Hasher::Reset() {
    state_ = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
              0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    pendingSize_ = 0;
    total_ = 0;
}

void Sha256Hasher::Update(std::span<const uint8_t> bytes) {
    if (bytes.empty()) return;
    total_ += bytes.size();
    if (pendingSize_ > 0) {
        const size_t take = std::min(bytes.size(), pending_.size() - pendingSize_);
        std::memcpy(pending_.data() + pendingSize_, bytes.data(), take);
        pendingSize_ += take;
        bytes = bytes.subspan(take);
        if (pendingSize_ < pending_.size()) return;
        Block(state_, pending_.data());
        pendingSize_ = 0;
    }
    // Whole blocks straight from the caller's bytes: no copy for the bulk.
    const size_t whole = bytes.size() / 64 * 64;
    for (size_t at = 0; at < whole; at += 64) Block(state_, bytes.data() + at);
    std::memcpy(pending_.data(), bytes.data() + whole, bytes.size() - whole);
    pendingSize_ = bytes.size() - whole;
}

Sha256Digest Sha256Hasher::Finish() {
    // The tail, a 1 bit, zeros and the length in bits: one or two blocks.
    std::array<uint8_t, 128> tail{};
    std::memcpy(tail.data(), pending_.data(), pendingSize_);
    tail[pendingSize_] = 0x80;
    const size_t blocks = pendingSize_ + 9 > 64 ? 2 : 1;
    const uint64_t bits = total_ * 8;
    for (int i = 0; i < 8; ++i) tail[blocks * 64 - 1 - i] = static_cast<uint8_t>(bits >> (8 * i));
    for (size_t b = 0; b < blocks; ++b) Block(state_, tail.data() + 64 * b);
    Sha256Digest out{};
    for (int i = 0; i < 32; ++i) out[i] = static_cast<uint8_t>(state_[i / 4] >> (24 - 8 * (i % 4)));
    Reset();
    return out;
}

Sha256Digest Sha256(std::span<const uint8_t> data) {
    Sha256Hasher hasher;
    hasher.Update(data);
    return hasher.Finish();
}

std::string HexText(const Sha256Digest& digest) {
    static const char* digits = "0123456789abcdef";
    std::string hex;
    for (uint8_t b : digest) {
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex;
}

std::string Sha256Hex(std::span<const uint8_t> data) { return HexText(Sha256(data)); }

std::optional<Sha256Digest> ParseSha256Hex(std::string_view hex) {
    if (hex.size() != 64) return std::nullopt;
    Sha256Digest out{};
    for (size_t i = 0; i < hex.size(); ++i) {
        const char c = hex[i];
        int v = 0;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        else
            return std::nullopt;
        out[i / 2] = static_cast<uint8_t>(out[i / 2] << 4 | v);
    }
    return out;
}

}  // namespace tav
