// A plain model of the RFC 4648 encodings with the lenient decoding rules of
// Base32 and Base64, written for clarity: the input as a string of bits, cut
// into groups. The fuzz harnesses check the codecs against it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/byte_buffer.hpp"

namespace korvalith::fuzz {

struct EncodingModel {
    std::string_view alphabet;  // 2^bits characters
    unsigned bits;              // 5 or 6
    std::size_t group;          // characters per padded group: 8 or 4
    bool case_insensitive;      // Base32 accepts lower-case letters
    std::string_view invalid;   // message before the quoted character

    std::string encode(ByteView data) const {
        std::vector<bool> stream;
        for (std::uint8_t byte : data) {
            for (int bit = 7; bit >= 0; --bit) stream.push_back(((byte >> bit) & 1) != 0);
        }
        while (stream.size() % bits != 0) stream.push_back(false);
        std::string text;
        for (std::size_t i = 0; i < stream.size(); i += bits) {
            unsigned value = 0;
            for (unsigned j = 0; j < bits; ++j) value = value * 2 + (stream[i + j] ? 1 : 0);
            text += alphabet[value];
        }
        while (text.size() % group != 0) text += '=';
        return text;
    }

    std::optional<unsigned> value_of(std::uint8_t c) const {
        for (std::size_t v = 0; v < alphabet.size(); ++v) {
            const char a = alphabet[v];
            if (c == static_cast<std::uint8_t>(a)) return static_cast<unsigned>(v);
            if (case_insensitive && a >= 'A' && a <= 'Z' && c == static_cast<std::uint8_t>(a - 'A' + 'a')) {
                return static_cast<unsigned>(v);
            }
        }
        return std::nullopt;
    }

    // The decoded bytes, or the error message.
    bool decode(ByteView text, std::string& out, std::string& message) const {
        std::vector<bool> stream;
        for (std::uint8_t c : text) {
            if (c == '=') break;
            auto value = value_of(c);
            if (!value) {
                message = std::string(invalid) + "'";
                // The character whose code point is the byte's value, in UTF-8.
                if (c < 0x80) {
                    message += static_cast<char>(c);
                } else {
                    message += static_cast<char>(0xC0 | (c >> 6));
                    message += static_cast<char>(0x80 | (c & 0x3F));
                }
                message += "'";
                return false;
            }
            for (int bit = static_cast<int>(bits) - 1; bit >= 0; --bit) stream.push_back(((*value >> bit) & 1) != 0);
        }
        out.clear();
        for (std::size_t i = 0; i + 8 <= stream.size(); i += 8) {
            unsigned byte = 0;
            for (unsigned j = 0; j < 8; ++j) byte = byte * 2 + (stream[i + j] ? 1 : 0);
            out += static_cast<char>(byte);
        }
        return true;
    }
};

}  // namespace korvalith::fuzz
