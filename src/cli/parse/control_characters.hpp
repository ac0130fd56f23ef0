// Names and messages the user's input reaches, made safe to echo to a
// terminal.
#pragma once

#include <string>
#include <string_view>

namespace korvalith::cli {

// The UTF-8 text with every character that could drive the terminal or
// disguise the text written as an escape:
// - the C0 controls (line breaks and tabs among them), DEL and the C1
//   controls U+0080..U+009F become "\x" and two lower-case hex digits of the
//   code point ("\x1b", "\x7f", "\x9b");
// - the bidirectional embeddings, overrides and isolates U+202A..U+202E and
//   U+2066..U+2069, which reorder the text shown after them, become "\u" and
//   four lower-case hex digits ("\u202e").
// Everything else, every printable non-ASCII letter included, stays as it
// is, so a crafted file name cannot drive the terminal while ordinary names
// read the same.
std::string escape_control_characters(std::string_view text);

}  // namespace korvalith::cli
