// Whether a regular file is UTF-8 text, read in two halves at once: the
// check pass of an action whose only check is that its input is text (the
// shift ciphers). Reading is then all the pass does, and nothing carries
// from one chunk to the next but a character that a chunk's end cuts, so
// this thread reads the first half while a thread of its own reads the
// second: two processors read a file from the page cache in about half the
// time one does.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>

#include "cli/files/input_file.hpp"
#include "cli/files/interruption.hpp"

namespace korvalith::cli {

// Whether the first `size` bytes of `input` are UTF-8, read in chunks of
// `chunk` bytes, or why they could not be read (a file shorter than `size`
// differs in size). Of two failures, the one nearer the file's start is
// reported, as a check from start to end would find first. Nothing when no
// thread or memory can be had: the caller then checks by itself.
std::optional<std::expected<bool, ReadFailure>> file_is_text(const InputFile& input, std::uint64_t size,
                                                             std::size_t chunk, const Interruption& interruption);

}  // namespace korvalith::cli
