#include "cli/control_characters.hpp"

namespace korvalith::cli {

namespace {

bool is_c0_or_delete(unsigned char byte) { return byte < 0x20 || byte == 0x7f; }

// The second byte of a C1 control, whose UTF-8 form is C2 80..C2 9F.
bool is_c1_tail(unsigned char lead, unsigned char next) { return lead == 0xc2 && next >= 0x80 && next <= 0x9f; }

void append_escape(std::string& out, unsigned char code_point) {
    constexpr char HEX[] = "0123456789abcdef";
    out += "\\x";
    out += HEX[code_point >> 4];
    out += HEX[code_point & 0xf];
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
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace korvalith::cli
