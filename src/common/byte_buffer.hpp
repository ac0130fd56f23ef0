// Byte views and the owned byte buffer in which every core returns its result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <expected>
#include <limits>
#include <span>
#include <string_view>
#include <utility>

#include "common/checked_size.hpp"
#include "common/core_error.hpp"

namespace korvalith {

// Borrowed bytes: a pointer and a length into memory owned by someone else,
// valid for the length of one call.
using ByteView = std::span<const std::uint8_t>;

inline ByteView as_byte_view(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

inline std::string_view as_string_view(ByteView bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// An owned, growable sequence of bytes on the C heap. Cores allocate it once
// at the result's final length (allocate, then fill through data()); callers
// that build data incrementally reserve once and append. An empty buffer owns
// no memory. No member throws: failures to get memory are reported as values.
class ByteBuffer {
public:
    ByteBuffer() noexcept = default;
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;
    ByteBuffer(ByteBuffer&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)),
          size_(std::exchange(other.size_, 0)),
          capacity_(std::exchange(other.capacity_, 0)) {}
    ByteBuffer& operator=(ByteBuffer&& other) noexcept {
        if (this != &other) {
            std::free(data_);
            data_ = std::exchange(other.data_, nullptr);
            size_ = std::exchange(other.size_, 0);
            capacity_ = std::exchange(other.capacity_, 0);
        }
        return *this;
    }
    ~ByteBuffer() { std::free(data_); }

    // A buffer of exactly `size` bytes (contents unspecified), allocated once.
    static CoreResult<ByteBuffer> allocate(std::size_t size) {
        ByteBuffer buffer;
        if (!buffer.reserve(size)) return std::unexpected(CoreError::out_of_memory(size));
        buffer.size_ = size;
        return buffer;
    }

    // Makes room for at least `capacity` bytes in all; false when memory is short.
    [[nodiscard]] bool reserve(std::size_t capacity) noexcept {
        if (capacity <= capacity_) return true;
        if (capacity > static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max())) return false;
        void* grown = std::realloc(data_, capacity);
        if (grown == nullptr) return false;
        data_ = static_cast<std::uint8_t*>(grown);
        capacity_ = capacity;
        return true;
    }

    // Appends bytes, growing geometrically when full; false when memory is short
    // (the buffer is then unchanged).
    [[nodiscard]] bool append(const std::uint8_t* bytes, std::size_t count) noexcept {
        if (count == 0) return true;
        auto needed = checked_add(size_, count);
        if (!needed) return false;
        if (*needed > capacity_) {
            std::size_t doubled = capacity_ > std::numeric_limits<std::size_t>::max() / 2 ? *needed : capacity_ * 2;
            if (!reserve(doubled > *needed ? doubled : *needed) && !reserve(*needed)) return false;
        }
        std::memcpy(data_ + size_, bytes, count);
        size_ = *needed;
        return true;
    }
    [[nodiscard]] bool push_back(std::uint8_t byte) noexcept { return append(&byte, 1); }
    [[nodiscard]] bool append(ByteView bytes) noexcept { return append(bytes.data(), bytes.size()); }

    // Shortens the buffer to `size` bytes (never grows it).
    void truncate(std::size_t size) noexcept {
        if (size < size_) size_ = size;
    }

    // Takes in bytes written directly into the reserved room after the
    // contents: the size becomes `size`, at most the capacity.
    void set_size(std::size_t size) noexcept { size_ = size <= capacity_ ? size : capacity_; }

    std::uint8_t* data() noexcept { return data_; }
    const std::uint8_t* data() const noexcept { return data_; }
    std::size_t size() const noexcept { return size_; }
    std::size_t capacity() const noexcept { return capacity_; }
    bool empty() const noexcept { return size_ == 0; }
    ByteView view() const noexcept { return {data_, size_}; }
    std::string_view text() const noexcept { return {reinterpret_cast<const char*>(data_), size_}; }

private:
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace korvalith
