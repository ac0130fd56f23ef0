// Helpers shared by the fuzz harnesses: reading structured values off the
// fuzzer's bytes, and failing loudly when a property does not hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string_view>

#include "common/byte_buffer.hpp"

namespace korvalith::fuzz {

// Stops the run with a message: libFuzzer records the input as a crash.
[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "property violated: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

inline void check(bool holds, const char* what) {
    if (!holds) fail(what);
}

inline bool same_bytes(ByteView a, ByteView b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size()) == 0);
}

// Consumes the fuzzer's input from the front.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : rest_(data, size) {}

    std::uint8_t byte() {
        if (rest_.empty()) return 0;
        const std::uint8_t value = rest_.front();
        rest_ = rest_.subspan(1);
        return value;
    }
    bool flag() { return (byte() & 1) != 0; }
    // Up to `count` bytes (fewer when the input runs out).
    ByteView take(std::size_t count) {
        if (count > rest_.size()) count = rest_.size();
        ByteView taken = rest_.first(count);
        rest_ = rest_.subspan(count);
        return taken;
    }
    ByteView rest() {
        ByteView all = rest_;
        rest_ = {};
        return all;
    }

private:
    ByteView rest_;
};

// An owned copy of the bytes.
inline ByteBuffer copy_of(ByteView bytes) {
    ByteBuffer buffer;
    if (!buffer.reserve(bytes.size() + 16) || !buffer.append(bytes)) fail("out of memory copying the input");
    return buffer;
}

}  // namespace korvalith::fuzz
