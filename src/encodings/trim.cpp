#include "encodings/trim.hpp"

#include <array>
#include <string_view>

namespace korvalith {

namespace {

bool is_ascii_space(std::uint8_t byte) { return (byte >= 0x09 && byte <= 0x0D) || byte == 0x20; }

// The UTF-8 forms of the White_Space characters outside ASCII. In
// well-formed text each begins with a lead byte, so matching one of them at
// either end of the text always matches a whole character.
constexpr std::array<std::string_view, 19> WIDE_SPACES = {
    "\xC2\x85",         // U+0085
    "\xC2\xA0",         // U+00A0
    "\xE1\x9A\x80",     // U+1680
    "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82", "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85",
    "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88", "\xE2\x80\x89", "\xE2\x80\x8A",  // U+2000..U+200A
    "\xE2\x80\xA8",     // U+2028
    "\xE2\x80\xA9",     // U+2029
    "\xE2\x80\xAF",     // U+202F
    "\xE2\x81\x9F",     // U+205F
    "\xE3\x80\x80",     // U+3000
};

// The length of the White_Space character at the start (or, with `at_end`,
// at the end) of `text`; 0 when there is none.
std::size_t space_length(std::string_view text, bool at_end) {
    if (text.empty()) return 0;
    const auto edge = static_cast<std::uint8_t>(at_end ? text.back() : text.front());
    if (edge < 0x80) return is_ascii_space(edge) ? 1 : 0;
    auto matches = [&](std::string_view space) {
        return at_end ? text.ends_with(space) : text.starts_with(space);
    };
    for (std::string_view space : WIDE_SPACES) {
        if (matches(space)) return space.size();
    }
    return 0;
}

}  // namespace

ByteView trim_for_decode(ByteView text) noexcept {
    std::string_view rest = as_string_view(text);
    while (std::size_t length = space_length(rest, false)) rest.remove_prefix(length);
    while (std::size_t length = space_length(rest, true)) rest.remove_suffix(length);
    while (!rest.empty() && rest.back() == '=') rest.remove_suffix(1);
    return as_byte_view(rest);
}

}  // namespace korvalith
