#include "cli/page_buffer.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>

namespace korvalith::cli {

namespace {

std::size_t page_size() noexcept {
    static const long size = ::sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<std::size_t>(size) : 4096;
}

// Buffers of 8 MiB and more ask for huge pages, where the system leaves
// them to the program's advice. The whole mapping is advised, so that it
// stays one mapping that can grow; the advice is a hint, and its failure
// changes nothing.
constexpr std::size_t HUGE_PAGES_FROM = std::size_t{8} << 20;

void advise_huge_pages([[maybe_unused]] void* start, [[maybe_unused]] std::size_t size) noexcept {
#if defined(MADV_HUGEPAGE)
    if (size >= HUGE_PAGES_FROM) (void)::madvise(start, size, MADV_HUGEPAGE);
#endif
}

void* map_pages(std::size_t size) noexcept {
    return ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
}

}  // namespace

bool PageBuffer::reserve(std::size_t capacity) noexcept {
    if (capacity <= capacity_) return true;
    const std::size_t page = page_size();
    if (capacity > static_cast<std::size_t>(PTRDIFF_MAX) - page) return false;
    const std::size_t rounded = (capacity + page - 1) / page * page;
    void* grown = MAP_FAILED;
    if (data_ == nullptr) {
        grown = map_pages(rounded);
    } else {
#if defined(__linux__)
        // The pages move to a larger mapping; none of their bytes is copied.
        grown = ::mremap(data_, capacity_, rounded, MREMAP_MAYMOVE);
#else
        grown = map_pages(rounded);
        if (grown != MAP_FAILED) {
            std::memcpy(grown, data_, size_);
            (void)::munmap(data_, capacity_);
        }
#endif
    }
    if (grown == MAP_FAILED) return false;
    data_ = static_cast<std::uint8_t*>(grown);
    capacity_ = rounded;
    advise_huge_pages(data_, capacity_);
    return true;
}

void PageBuffer::release() noexcept {
    if (data_ != nullptr) (void)::munmap(data_, capacity_);
    data_ = nullptr;
    size_ = capacity_ = 0;
}

}  // namespace korvalith::cli
