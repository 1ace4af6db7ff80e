// Memory for a body that arrives piece by piece.
//
// One writer (the download's worker) appends; readers on other threads may
// read any prefix they were told about while the writer goes on. Bytes are
// never moved once written: the store grows by adding pieces, so growth
// costs no copy and a reader's prefix stays valid.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

namespace tav {

class ByteStore {
public:
    // expected > 0 asks for exactly that much room up front (the announced
    // length); when that much cannot be had, the store grows as it fills.
    explicit ByteStore(size_t expected = 0);
    ByteStore(const ByteStore&) = delete;
    ByteStore& operator=(const ByteStore&) = delete;

    // Writer: room for at most max more bytes, at least one; allocates a
    // new piece when the current one is full. Throws std::bad_alloc.
    std::span<uint8_t> Tail(size_t max);
    // Writer: the first n bytes of the last Tail are now content.
    void Commit(size_t n);
    // Writer: content bytes so far.
    size_t size() const { return size_; }
    // Bytes reserved, used or not.
    size_t capacity() const;
    size_t pieceCount() const;

    // Reader: calls visit with the pieces of the first n content bytes, in
    // order. n must not exceed a size the writer published.
    void ForEachPiece(size_t n, const std::function<void(std::span<const uint8_t>)>& visit) const;
    // Reader: a contiguous copy of the first n bytes.
    std::vector<uint8_t> Copy(size_t n) const;

    // Bytes moved by memcpy in this process through any store: the
    // measure of what the download path costs beyond receiving.
    static uint64_t BytesCopied();

private:
    struct Piece {
        std::unique_ptr<uint8_t[]> data;
        size_t capacity = 0;
    };
    std::vector<std::span<const uint8_t>> Prefix(size_t n) const;

    mutable std::mutex pieces_mutex_;  // guards the list, never the bytes
    std::vector<Piece> pieces_;
    size_t size_ = 0;       // writer's own count
    size_t tail_used_ = 0;  // content bytes in the last piece
};

// A byte array as the program hands it around: the first `size` bytes of a
// shared store. Copying a view never copies bytes.
struct ByteView {
    std::shared_ptr<const ByteStore> store;
    size_t size = 0;

    // The bytes as one array (a real copy).
    std::vector<uint8_t> ToVector() const;
    // The bytes as they lie in memory, in order, without copying.
    std::vector<std::span<const uint8_t>> Pieces() const;
};

}  // namespace tav
