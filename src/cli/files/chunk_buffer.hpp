// A buffer for one chunk of input or of its result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace korvalith::cli {

// A chunk's buffer, starting on a page boundary: the kernel copies a file's
// pages into it, or from it into a file's, three times faster than into a
// buffer 16 bytes past one (where the C heap puts a block of this size),
// which on 256 MiB files was most of a run's processor time.
class ChunkBuffer {
public:
    static constexpr std::size_t ALIGNMENT = 4096;

    // Room for `size` bytes; false when memory is short.
    [[nodiscard]] bool allocate(std::size_t size) noexcept {
        const std::size_t rounded = (size + ALIGNMENT - 1) / ALIGNMENT * ALIGNMENT;
        if (rounded < size) return false;
        data_.reset(static_cast<std::uint8_t*>(std::aligned_alloc(ALIGNMENT, rounded == 0 ? ALIGNMENT : rounded)));
        size_ = data_ ? size : 0;
        return data_ != nullptr;
    }

    std::uint8_t* data() noexcept { return data_.get(); }
    std::size_t size() const noexcept { return size_; }

private:
    struct Free {
        void operator()(std::uint8_t* bytes) const noexcept { std::free(bytes); }
    };
    std::unique_ptr<std::uint8_t, Free> data_;
    std::size_t size_ = 0;
};

}  // namespace korvalith::cli
