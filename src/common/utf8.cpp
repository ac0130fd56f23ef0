#include "common/utf8.hpp"

#include <cstring>

namespace korvalith {

namespace {

constexpr std::uint64_t HIGH_BITS = 0x8080808080808080ULL;

}  // namespace

bool is_valid_utf8(ByteView bytes) noexcept {
    const std::uint8_t* p = bytes.data();
    const std::uint8_t* const end = p + bytes.size();
    while (p < end) {
        // Runs of ASCII are checked eight bytes at a time.
        if (*p < 0x80) {
            while (end - p >= 8) {
                std::uint64_t word;
                std::memcpy(&word, p, sizeof word);
                if (word & HIGH_BITS) break;
                p += 8;
            }
            while (p < end && *p < 0x80) ++p;
            if (p == end) return true;
        }
        const std::uint8_t lead = *p;
        std::size_t length;
        std::uint8_t low = 0x80, high = 0xBF;  // allowed range of the second byte
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0) low = 0xA0;        // no overlong forms
            else if (lead == 0xED) high = 0x9F;  // no surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0) low = 0x90;        // no overlong forms
            else if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
        } else {
            return false;
        }
        if (static_cast<std::size_t>(end - p) < length) return false;
        if (p[1] < low || p[1] > high) return false;
        for (std::size_t i = 2; i < length; ++i) {
            if ((p[i] & 0xC0) != 0x80) return false;
        }
        p += length;
    }
    return true;
}

}  // namespace korvalith
