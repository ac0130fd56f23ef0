// The vector loops of one codec on one path (common/vector_path.hpp), which
// the shared driver (group_codec.hpp) runs over the bulk of its input.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/vector_path.hpp"

namespace korvalith {

// The vector loops of one codec on one path. They do the bulk of the work
// and leave the rest, from a group boundary, to the plain routine. A null
// loop means the path has none for that direction.
struct CodecKernels {
    // Encodes whole blocks from the start of `in` (`size` bytes) into `out`,
    // which has room for the encoding of all of them; returns the bytes
    // consumed, a whole number of groups.
    std::size_t (*encode)(const std::uint8_t* in, std::size_t size, std::uint8_t* out) noexcept = nullptr;
    // Decodes whole blocks of plain alphabet characters from the start of
    // `in` (`size` bytes) into `out` (`room` bytes), stopping before the
    // first block that holds anything else ("=", white space, any byte
    // outside the alphabet) or whose stores would not fit; returns the
    // characters consumed, a whole number of groups.
    std::size_t (*decode)(const std::uint8_t* in, std::size_t size, std::uint8_t* out,
                          std::size_t room) noexcept = nullptr;
};

}  // namespace korvalith
