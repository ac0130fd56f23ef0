// Overwriting memory that held secrets (key schedules, plaintext) before it
// is released or goes out of scope.
#pragma once

#include <cstddef>
#include <cstring>

namespace korvalith {

// Sets `size` bytes at `data` to zero. A plain memset before a buffer dies is
// a dead store the optimiser may remove; the empty assembly statement tells
// the compiler that the zeroed memory is read afterwards, so the stores stay.
inline void secure_wipe(void* data, std::size_t size) noexcept {
    if (size == 0) return;
    std::memset(data, 0, size);
    __asm__ __volatile__("" : : "r"(data) : "memory");
}

}  // namespace korvalith
