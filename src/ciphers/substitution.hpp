// Mono-alphabetic substitution through a caller's table of byte values.
#pragma once

#include <span>

#include "common/byte_map.hpp"
#include "common/byte_buffer.hpp"

namespace korvalith {

// Replaces every byte of `data` that has an entry in `map` by the entry's
// value, in one pass (a replaced byte is never looked up again); other bytes
// are copied. The result has the input's length; empty input allocates nothing.
CoreResult<ByteBuffer> map_bytes(ByteView data, const ByteMap& map);
// The same into `out`, which holds exactly data.size() bytes.
void map_bytes_into(ByteView data, const ByteMap& map, std::span<std::uint8_t> out) noexcept;

}  // namespace korvalith
