// The decoders' report of a byte outside their alphabet.
#pragma once

#include <cstdint>
#include <string>

#include "common/core_error.hpp"

namespace korvalith {

// `prefix` + "'" + c + "'", where c is the character whose code point equals
// the byte's value, written in UTF-8: bytes 0x80 to 0xFF read as Latin-1, so
// the first byte of a multi-byte character shows as U+0080..U+00FF.
inline CoreError invalid_character_error(const char* prefix, std::uint8_t byte) {
    std::string message(prefix);
    message += '\'';
    if (byte < 0x80) {
        message += static_cast<char>(byte);
    } else {
        message += static_cast<char>(0xC0 | (byte >> 6));
        message += static_cast<char>(0x80 | (byte & 0x3F));
    }
    message += '\'';
    return CoreError::invalid(std::move(message));
}

}  // namespace korvalith
