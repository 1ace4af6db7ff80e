#include "core/byte_store.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

namespace tav {

namespace {
// Pieces double from 64 KiB up to 16 MiB: few allocations for a large body,
// and never more than one piece of unused room.
constexpr size_t kFirstPiece = 64 * 1024;
constexpr size_t kLargestPiece = 16 * 1024 * 1024;

std::atomic<uint64_t>& CopiedCounter() {
    static std::atomic<uint64_t> copied{0};
    return copied;
}
}  // namespace

ByteStore::ByteStore(size_t expected) {
    if (expected == 0) return;
    // Exact room saves every later allocation; without it the store still
    // works, so a refusal here is not yet a failure.
    std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[expected]);
    if (data) pieces_.push_back(Piece{std::move(data), expected});
}

std::span<uint8_t> ByteStore::Tail(size_t max) {
    if (pieces_.empty() || tail_used_ == pieces_.back().capacity) {
        const size_t want = std::clamp(size_, kFirstPiece, kLargestPiece);
        Piece piece{std::unique_ptr<uint8_t[]>(new uint8_t[want]), want};
        std::lock_guard lock(pieces_mutex_);
        pieces_.push_back(std::move(piece));
        tail_used_ = 0;
    }
    Piece& tail = pieces_.back();
    const size_t room = std::min(max, tail.capacity - tail_used_);
    return {tail.data.get() + tail_used_, room};
}

void ByteStore::Commit(size_t n) {
    tail_used_ += n;
    size_ += n;
}

size_t ByteStore::capacity() const {
    std::lock_guard lock(pieces_mutex_);
    size_t total = 0;
    for (const Piece& p : pieces_)
        total += p.capacity;
    return total;
}

size_t ByteStore::pieceCount() const {
    std::lock_guard lock(pieces_mutex_);
    return pieces_.size();
}

std::vector<std::span<const uint8_t>> ByteStore::Prefix(size_t n) const {
    std::vector<std::span<const uint8_t>> out;
    std::lock_guard lock(pieces_mutex_);
    for (const Piece& p : pieces_) {
        if (n == 0) break;
        const size_t take = std::min(n, p.capacity);
        out.emplace_back(p.data.get(), take);
        n -= take;
    }
    return out;
}

void ByteStore::ForEachPiece(size_t n,
                             const std::function<void(std::span<const uint8_t>)>& visit) const {
    // The list is copied under the lock so that the writer may add pieces
    // while the caller works through the bytes.
    for (std::span<const uint8_t> piece : Prefix(n))
        visit(piece);
}

std::vector<uint8_t> ByteStore::Copy(size_t n) const {
    std::vector<uint8_t> out(n);
    size_t at = 0;
    ForEachPiece(n, [&](std::span<const uint8_t> piece) {
        std::memcpy(out.data() + at, piece.data(), piece.size());
        at += piece.size();
    });
    CopiedCounter() += n;
    return out;
}

uint64_t ByteStore::BytesCopied() {
    return CopiedCounter().load();
}

std::vector<uint8_t> ByteView::ToVector() const {
    return store ? store->Copy(size) : std::vector<uint8_t>();
}

std::vector<std::span<const uint8_t>> ByteView::Pieces() const {
    std::vector<std::span<const uint8_t>> out;
    if (store) store->ForEachPiece(size, [&](std::span<const uint8_t> p) { out.push_back(p); });
    return out;
}

}  // namespace tav
