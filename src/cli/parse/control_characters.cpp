#include "cli/parse/control_characters.hpp"

namespace korvalith::cli {

namespace {

constexpr char HEX[] = "0123456789abcdef";

bool is_c0_or_delete(unsigned char byte) { return byte < 0x20 || byte == 0x7f; }

// The second byte of a C1 control, whose UTF-8 form is C2 80..C2 9F.
bool is_c1_tail(unsigned char lead, unsigned char next) { return lead == 0xc2 && next >= 0x80 && next <= 0x9f; }

// The code point of a bidirectional control at `at` (UTF-8 E2 80 AA..AE or
// E2 81 A6..A9), 0 when there is none.
unsigned bidirectional_control_at(std::string_view text, std::size_t at) {
    if (at + 2 >= text.size() || static_cast<unsigned char>(text[at]) != 0xe2) return 0;
    const auto middle = static_cast<unsigned char>(text[at + 1]);
    const auto last = static_cast<unsigned char>(text[at + 2]);
    const unsigned code_point = 0x2000 | (middle & 0x3fu) << 6 | (last & 0x3fu);
    if ((middle & 0xc0) != 0x80 || (last & 0xc0) != 0x80) return 0;
    const bool embedding_or_override = code_point >= 0x202a && code_point <= 0x202e;
    const bool isolate = code_point >= 0x2066 && code_point <= 0x2069;
    return embedding_or_override || isolate ? code_point : 0;
}

void append_escape(std::string& out, unsigned char code_point) {
    out += "\\x";
    out += HEX[code_point >> 4];
    out += HEX[code_point & 0xf];
}

void append_wide_escape(std::string& out, unsigned code_point) {
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += HEX[(code_point >> shift) & 0xf];
}

}  // namespace

std::string escape_control_characters(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (is_c0_or_delete(byte)) {
            append_escape(out, byte);
        } else if (i + 1 < text.size() && is_c1_tail(byte, static_cast<unsigned char>(text[i + 1]))) {
            append_escape(out, static_cast<unsigned char>(text[++i]));
        } else if (const unsigned code_point = bidirectional_control_at(text, i); code_point != 0) {
            append_wide_escape(out, code_point);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace korvalith::cli
