#include "common/utf8.hpp"

#include <cstring>

namespace korvalith {

namespace {

constexpr std::uint64_t HIGH_BITS = 0x8080808080808080ULL;

std::uint64_t word_at(const std::uint8_t* p) noexcept {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// The number of bytes of the character a lead byte opens (any byte from
// 0xC0 on counts as a lead here; is_valid_utf8 judges it), 1 otherwise.
std::size_t character_length(std::uint8_t lead) noexcept {
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    if (lead >= 0xC0) return 2;
    return 1;
}

// How many bytes at the end of `bytes` begin a character that does not end
// within them: at most three.
std::size_t unfinished_tail(ByteView bytes) noexcept {
    const std::size_t size = bytes.size();
    for (std::size_t back = 1; back <= 3 && back <= size; ++back) {
        const std::uint8_t byte = bytes[size - back];
        if (byte < 0x80) return 0;                        // ASCII ends nothing unfinished
        if (byte >= 0xC0) return character_length(byte) > back ? back : 0;
    }
    return 0;  // continuation bytes only: is_valid_utf8 judges them
}

}  // namespace

bool is_valid_utf8(ByteView bytes) noexcept {
    const std::uint8_t* p = bytes.data();
    const std::uint8_t* const end = p + bytes.size();
    while (p < end) {
        // Runs of ASCII are checked 64 bytes at a time (one test of eight
        // words joined), then eight at a time.
        if (*p < 0x80) {
            while (end - p >= 64) {
                if ((word_at(p) | word_at(p + 8) | word_at(p + 16) | word_at(p + 24) | word_at(p + 32) |
                     word_at(p + 40) | word_at(p + 48) | word_at(p + 56)) &
                    HIGH_BITS) {
                    break;
                }
                p += 64;
            }
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

bool Utf8Pieces::feed(ByteView piece) noexcept {
    if (!valid_) return false;
    if (pending_size_ > 0) {
        // Complete the character the last piece cut off, and check it alone.
        const std::size_t length = character_length(pending_[0]);
        std::size_t take = length - pending_size_;
        if (take > piece.size()) take = piece.size();
        for (std::size_t i = 0; i < take; ++i) pending_[pending_size_++] = piece[i];
        piece = piece.subspan(take);
        if (pending_size_ < length) return true;
        pending_size_ = 0;
        if (!is_valid_utf8({pending_, length})) return valid_ = false;
    }
    const std::size_t tail = unfinished_tail(piece);
    if (!is_valid_utf8(piece.first(piece.size() - tail))) return valid_ = false;
    for (std::size_t i = 0; i < tail; ++i) pending_[i] = piece[piece.size() - tail + i];
    pending_size_ = tail;
    return true;
}

}  // namespace korvalith
