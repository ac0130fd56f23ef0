// Memory for a result held whole: whole pages of its own, mapped from the
// system rather than taken from the C heap, that grow without copying what
// they hold. The result of an input read once (a pipe), whose size is not
// known before its end, is made into it as the input comes, the room
// doubling as it fills.
//
// Why pages of its own: the kernel copies from a buffer that starts on a
// page boundary (into a file or a pipe) far faster than from one 16 bytes
// past it (where the C heap puts a large block); growing the mapping moves
// its pages instead of copying them; and a large buffer asks for huge pages,
// so that filling 1 GiB costs a few thousand page faults rather than a
// quarter of a million.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

#include "common/byte_buffer.hpp"

namespace korvalith::cli {

class PageBuffer {
public:
    PageBuffer() noexcept = default;
    PageBuffer(PageBuffer&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)),
          size_(std::exchange(other.size_, 0)),
          capacity_(std::exchange(other.capacity_, 0)) {}
    PageBuffer& operator=(PageBuffer&& other) noexcept {
        if (this != &other) {
            release();
            data_ = std::exchange(other.data_, nullptr);
            size_ = std::exchange(other.size_, 0);
            capacity_ = std::exchange(other.capacity_, 0);
        }
        return *this;
    }
    PageBuffer(const PageBuffer&) = delete;
    PageBuffer& operator=(const PageBuffer&) = delete;
    ~PageBuffer() { release(); }

    // Room for at least `capacity` bytes in all, keeping the contents; false
    // when memory (or address space) is short, the buffer then unchanged.
    [[nodiscard]] bool reserve(std::size_t capacity) noexcept;

    // Takes in bytes written into the room after the contents, or shortens
    // the contents: the size becomes `size`, at most the capacity.
    void set_size(std::size_t size) noexcept { size_ = size <= capacity_ ? size : capacity_; }

    std::uint8_t* data() noexcept { return data_; }
    std::size_t size() const noexcept { return size_; }
    std::size_t capacity() const noexcept { return capacity_; }
    ByteView view() const noexcept { return {data_, size_}; }
    std::span<std::uint8_t> bytes() noexcept { return {data_, size_}; }

private:
    void release() noexcept;

    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;  // whole pages
};

}  // namespace korvalith::cli
