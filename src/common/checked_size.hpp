// Size arithmetic that reports overflow instead of wrapping.
#pragma once

#include <cstddef>
#include <optional>

namespace korvalith {

inline std::optional<std::size_t> checked_add(std::size_t a, std::size_t b) {
    std::size_t sum;
    if (__builtin_add_overflow(a, b, &sum)) return std::nullopt;
    return sum;
}

inline std::optional<std::size_t> checked_mul(std::size_t a, std::size_t b) {
    std::size_t product;
    if (__builtin_mul_overflow(a, b, &product)) return std::nullopt;
    return product;
}

}  // namespace korvalith
